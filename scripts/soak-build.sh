#!/usr/bin/env bash
# One build's soak, run inside a Wine session by scripts/soak:
#   soak-build.sh win64|win32 QUICK(0|1) ROWS-FILE
# Installs the build's service into the prefix, starts Vorlix (from a copy of
# the build's program folder, so the file faults touch only the copy) with
# its activity log on and Quillon beside it, then runs each phase below; each
# phase appends its rows (build, phase, what was done, what was checked,
# figure, bound, verdict) to ROWS-FILE. Raw logs land in out/soak/<build>/.
source "$(dirname "$0")/lib.sh"
source "$ROOT/bench/memory_lib.sh"
set +eu
BUILD=$1 QUICK=$2 ROWS=$3
BIN=$BUILD_ROOT/$BUILD/bin
SERVICE_BIN=$BIN
WORK=$OUT/soak/$BUILD
rm -rf "$WORK"
mkdir -p "$WORK"
E2E_NAME=soak-$BUILD
source "$ROOT/tray/tests/e2e/e2e_lib.sh"
VX_LOADER=$(wine_loader "$BUILD")
USAGE=$WIN64_BIN/proc_usage.exe   # reads processes of either bitness
DRIVE=$BIN/soak_drive.exe
SUITE=$WORK/suite
CORVANE_KEY='HKCU\Software\ZEL\Corvane'
USERDEF_KEY='HKCU\Software\ZEL\Corvane\User Define Key'
count() { if [ "$QUICK" == 1 ]; then echo $(($1 / 10)); else echo "$1"; fi; }
emuctl() { w "$BIN/emuctl.exe" "$@"; }
# Runs an emuctl script (one process for many commands); prints how many of
# its lines failed (none printed: the script did not finish).
emuscript() { # file
  timeout --kill-after=5 1200 wine "$BIN/emuctl.exe" script <"$1" 2>"$1.err" | tr -d '\r' >>"$1.out"
  sed -n 's/.*script: [0-9]* lines, \([0-9]*\) failed.*/\1/p' "$1.err"
}

# ---- The table.
row() { # phase what checked figure bound verdict
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$BUILD" "$@" >>"$ROWS"
  log "$1 | $2 | $3 | $4 | $5 | $6"
}
# An exact count: the figure must equal the bound.
exact() { # phase what checked figure expected
  if [ "$4" == "$5" ]; then row "$1" "$2" "$3" "$4" "= $5" pass; else row "$1" "$2" "$3" "$4" "= $5" FAIL; fi
}
# Growth of a figure from its reference value, within a bound.
growth() { # phase what checked before after bound unit
  local d=$(($5 - $4))
  if [ -n "$4" ] && [ -n "$5" ] && [ "$d" -le "$6" ]; then v=pass; else v=FAIL; fi
  row "$1" "$2" "$3" "${d:+$(printf '%+d' "$d")} $7 ($4 -> $5)" "+$6 $7" "$v"
}
# A time: printed with its bound, never failing the run.
timing() { # phase what checked figure bound
  row "$1" "$2" "$3" "$4" "$5" "time"
}

# ---- Resources of a running program: handles, GDI objects, windows (see
# soak/proc_usage.cpp for how each is counted here) and private kB (from
# the kernel's view of the Wine process, bench/memory_lib.sh).
usage() { # windows-pid-or-name unix-pid -> "handles gdi user private_kB"
  local line
  line=$(w "$USAGE" "$1") || return 1
  echo "$(sed -E 's/.*handles=([0-9]+) gdi=([0-9]+) user=([0-9]+).*/\1 \2 \3/' <<<"$line") $(private_total "$2")"
}
usage_rows() { # phase what before-line after-line
  local h0 g0 u0 m0 h1 g1 u1 m1
  read -r h0 g0 u0 m0 <<<"$3"
  read -r h1 g1 u1 m1 <<<"$4"
  growth "$1" "$2" "handles" "$h0" "$h1" 16
  growth "$1" "$2" "GDI objects" "$g0" "$g1" 8
  growth "$1" "$2" "USER objects (windows)" "$u0" "$u1" 8
  growth "$1" "$2" "private memory" "$m0" "$m1" 1024 kB
}
# Lets a program settle after a load before it is measured (not a synchronisation).
settle() { sleep 3; }

# ---- The activity log: groups (one per event) counted by event code.
# Each group starts with the time stamp line, followed by a line that ends
# in the event value in hexadecimal (tray/core/log_format.h); the code is
# its low byte.
log_groups_by_code() {
  perl -0777 -ne 'while (/\d\d:\d\d:\d\d>> \r\n[^\r\n:]*: ([0-9a-f]+)/g) { $c{hex($1) & 0xFF}++ } print "$_ $c{$_}\n" for sort { $a <=> $b } keys %c' "$LOGFILE" 2>/dev/null
}
groups_at_least() { [ "$(LC_ALL=C grep -ac '[0-9]>> '$'\r''$' "$LOGFILE" 2>/dev/null)" -ge "$1" ]; }
log_groups() { log_groups_by_code | awk '{ n += $2 } END { print n + 0 }'; }

# ---- The suite started and ended.
vorlix_alive() { kill -0 "$VX_PID" 2>/dev/null && [ "$(probe pid)" == "$VX_WINPID" ]; }
setup() {
  emuctl reset >/dev/null
  mkdir -p "$SUITE"
  cp -a "$BIN/Vorlix.exe" "$BIN/Brindle.dll" "$BIN/VXKBHook.dll" "$BIN/Image" "$BIN/StringTable" "$SUITE/"
  cp -a "$BIN/ud_target.exe" "$SUITE/"
  reg add "$CORVANE_KEY\\Log File" /v 'Log File Flag' /d TRUE /f
  reg add "$USERDEF_KEY" /v UserDefineFilePath /d "$(winepath -w "$SUITE/ud_target.exe" 2>/dev/null)" /f
  reg add "$USERDEF_KEY" /v UserDefineFileName /d ud_target.exe /f
  LOGFILE=$(activity_log_file)
  rm -f "$LOGFILE"
  install_service || return 1
  SERVICE_WINPID=$(w "$USAGE" Harrowd.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')
  SERVICE_PID=$(unix_pid_of Harrowd.exe)
  start_vorlix "$SUITE" || { fail "Vorlix starts"; return 1; }
  VX_WINPID=$(probe pid)
  log "service pid $SERVICE_WINPID (unix $SERVICE_PID), Vorlix pid $VX_WINPID (unix $VX_PID)"
}

teardown() {
  w "$DRIVE" stop >/dev/null
  for p in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill "$p" 2>/dev/null
  done
  stop_vorlix
  timeout --kill-after=5 60 wine "$SERVICE_BIN/Harrowd.exe" -remove >/dev/null 2>&1
  reg delete "$USERDEF_KEY" /f
  reg add "$CORVANE_KEY\\Log File" /v 'Log File Flag' /d FALSE /f
  [ -n "${LOGFILE:-}" ] && cp "$LOGFILE" "$WORK/activity-log.raw" 2>/dev/null
  emuctl reset >/dev/null
}
trap teardown EXIT

# ---- Phase: the tray program under its daily load. Each load runs a first
# burst, then the resources are taken as the reference, then the rest runs.
KEYS=(touchpad bluetooth webcam wireless turbo userdefined theater eco 3g 0x25)
declare -A PRESSED=()
PRESSES=0 PRESS_FAILED=0
press_bursts() { # bursts of 100
  local i k key code f
  for ((i = 0; i < $1; i++)); do
    : >"$WORK/burst.txt"
    for ((k = 0; k < 100; k++)); do
      key=${KEYS[$(((PRESSES + k) % ${#KEYS[@]}))]}
      printf 'press %s\npause 15\n' "$key" >>"$WORK/burst.txt"
      code=$(emu_code "$key")
      PRESSED[$code]=$((${PRESSED[$code]:-0} + 1))
    done
    f=$(emuscript "$WORK/burst.txt")
    PRESS_FAILED=$((PRESS_FAILED + ${f:-100}))
    PRESSES=$((PRESSES + 100))
    # The next burst only once the program has logged this one: the
    # emulated event ring (256 slots) never holds more than one burst.
    until_true 120 groups_at_least "$PRESSES" \
      || log "after $PRESSES presses the log holds $(log_groups) groups after 120 s"
    # The user-defined key's dialog, should it open, is closed.
    probe about 100 >/dev/null 2>&1 && { probe dialog-cancel; probe wait-no-about 5000; }
  done
}
VOLUME_FAILED=0 BRIGHT_FAILED=0 POWER_UNANSWERED=0 TASKBAR_UNANSWERED=0
volume_changes() { # count
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "volume %.2f\npause 5\n", 0.1 + (i % 81) / 100 }' >"$WORK/volume.txt"
  local f; f=$(emuscript "$WORK/volume.txt")
  VOLUME_FAILED=$((VOLUME_FAILED + ${f:-$1}))
}
brightness_changes() { # count
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "brightness %d\npause 10\n", 20 + (i % 81) }' >"$WORK/brightness.txt"
  local f; f=$(emuscript "$WORK/brightness.txt")
  BRIGHT_FAILED=$((BRIGHT_FAILED + ${f:-$1}))
}
broadcasts() { # power|taskbar count pause_ms
  local out n
  out=$(w "$DRIVE" "$1" "$2" "$3")
  n=$(sed -n 's/.*unanswered=\([0-9]*\).*/\1/p' <<<"$out")
  if [ "$1" == power ]; then POWER_UNANSWERED=$((POWER_UNANSWERED + ${n:-$2})); else TASKBAR_UNANSWERED=$((TASKBAR_UNANSWERED + ${n:-$2})); fi
}
phase_tray_load() {
  local bursts volumes brights cycles restarts lost=0 dup=0 code got n t0=$SECONDS
  bursts=$(count 100) volumes=$(count 5000) brights=$(count 1000) cycles=$(count 200) restarts=$(count 100)
  press_bursts 1; volume_changes 50; brightness_changes 10; broadcasts power 2 20; broadcasts taskbar 1 50
  settle
  TRAY_BASE=$(usage "$VX_WINPID" "$VX_PID")
  press_bursts $((bursts - 1))
  local secs=$((SECONDS - t0))
  volume_changes $((volumes - 50)); brightness_changes $((brights - 10))
  broadcasts power $((cycles - 2)) 20; broadcasts taskbar $((restarts - 1)) 50

  log_groups_by_code >"$WORK/log-groups.txt"
  for code in "${!PRESSED[@]}"; do
    got=$(awk -v c="$code" '$1 == c { print $2 }' "$WORK/log-groups.txt")
    got=${got:-0}
    [ "$got" -lt "${PRESSED[$code]}" ] && lost=$((lost + PRESSED[$code] - got))
    [ "$got" -gt "${PRESSED[$code]}" ] && dup=$((dup + got - PRESSED[$code]))
  done
  local what="$PRESSES hotkeys in bursts of 100 over ${#KEYS[@]} codes"
  exact hotkeys "$what" "presses missing from the log" "$lost" 0
  exact hotkeys "$what" "presses logged more than once" "$dup" 0
  exact hotkeys "$what" "presses refused by the emulated firmware" "$PRESS_FAILED" 0
  timing hotkeys "$what" "time for all bursts" "${secs} s" "-"
  exact levels "$volumes volume changes from another process" "changes refused" "$VOLUME_FAILED" 0
  exact levels "$brights brightness changes" "changes refused" "$BRIGHT_FAILED" 0
  exact power "$cycles suspend/resume broadcasts" "broadcasts left unanswered (5 s each)" "$POWER_UNANSWERED" 0
  exact taskbar "$restarts taskbar restarts (TaskbarCreated)" "broadcasts left unanswered (5 s each)" "$TASKBAR_UNANSWERED" 0
  probe wait-icon 10000 >/dev/null && n=1 || n=0
  exact taskbar "after every tray load" "tray icon present" "$n" 1
  vorlix_alive && n=0 || n=1
  exact tray "after every tray load" "Vorlix crashed or restarted" "$n" 0
  settle
  TRAY_END=$(usage "$VX_WINPID" "$VX_PID")
  usage_rows tray "every tray load vs after its first burst" "$TRAY_BASE" "$TRAY_END"
}
emu_code() { # key name or code -> decimal code
  case $1 in
    touchpad) echo 8 ;; bluetooth) echo 86 ;; webcam) echo 87 ;; wireless) echo 95 ;; turbo) echo 96 ;;
    userdefined) echo 111 ;; theater) echo 115 ;; eco) echo 121 ;; 3g) echo 132 ;; *) echo $(($1)) ;;
  esac
}

PHASES=(setup phase_tray_load)
for phase in "${PHASES[@]}"; do
  log "phase $phase"
  "$phase" || { row "$phase" "the phase's set-up" "ran" "no" "yes" FAIL; [ "$phase" == setup ] && exit 1; }
done
exit 0
