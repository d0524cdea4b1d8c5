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
# Private memory is the lowest of a few samples a second apart: Wine's heap
# swings by several hundred kB from one moment to the next as blocks are
# taken and given back, while a leak raises the floor those samples share.
private_floor() { # unix-pid
  local i kb low=
  for i in 1 2 3 4; do
    kb=$(private_total "$1")
    [ -z "$low" ] || [ "$kb" -lt "$low" ] && low=$kb
    [ $i -lt 4 ] && sleep 1
  done
  echo "$low"
}
usage() { # windows-pid-or-name unix-pid -> "handles gdi user private_kB"
  local line
  line=$(w "$USAGE" "$1") || return 1
  echo "$(sed -E 's/.*handles=([0-9]+) gdi=([0-9]+) user=([0-9]+).*/\1 \2 \3/' <<<"$line") $(private_floor "$2")"
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

# ---- Wine's own server for this prefix: a run where it ended and a new one
# started has lost every program it started, whatever the suite did.
wine_server_pid() {
  local p
  for p in /proc/[0-9]*; do
    case $(cat "$p/comm" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "${p#/proc/}"; return 0; }
  done
}

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
  SERVER_PID=$(wine_server_pid)
  install_service || return 1
  SERVICE_WINPID=$(w "$USAGE" Harrowd.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')
  start_vorlix "$SUITE" || { fail "Vorlix starts"; return 1; }
  VX_WINPID=$(probe pid)
  viewer_open || return 1
  log "service pid $SERVICE_WINPID (unix $(unix_pid_of Harrowd.exe)), Vorlix pid $VX_WINPID (unix $VX_PID)"
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
  watch_start tray
  press_bursts 1; volume_changes 50; brightness_changes 10; broadcasts power 2 20; broadcasts taskbar 1 50
  settle
  TRAY_BASE=$(usage "$VX_WINPID" "$VX_PID")
  SERVICE_BASE=$(usage "$SERVICE_WINPID" "$(unix_pid_of Harrowd.exe)")
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
  watch_rows tray "every tray load" tray
  settle
  TRAY_END=$(usage "$VX_WINPID" "$VX_PID")
  usage_rows tray "every tray load vs after its first burst" "$TRAY_BASE" "$TRAY_END"
  # The service answered the tray program's requests all along (3G reads, theater flag writes).
  local h0 m0 h1 m1
  read -r h0 _ _ m0 <<<"$SERVICE_BASE"; read -r h1 _ _ m1 <<<"$(usage "$SERVICE_WINPID" "$(unix_pid_of Harrowd.exe)")"
  growth service "the tray loads' requests: end vs after the first burst" "service handles" "$h0" "$h1" 16
  growth service "the tray loads' requests: end vs after the first burst" "service private memory" "$m0" "$m1" 1024 kB
}
# ---- A watch on the tray program's window: a message every 200 ms, each
# waiting at most 5 s (soak_drive watch), for the length of a phase.
watch_start() { # name
  timeout --kill-after=5 1800 wine "$DRIVE" watch '#32770' Corvane 200 5000 2>/dev/null | tr -d '\r' >"$WORK/watch-$1.txt" &
  WATCHER=$!
  started_pids+=($WATCHER)
}
watch_rows() { # phase what name: ends the watch and adds its rows
  local probes hangs missing maxms
  w "$DRIVE" stop >/dev/null
  for _ in $(seq 100); do kill -0 "$WATCHER" 2>/dev/null || break; sleep 0.1; done
  read -r probes hangs missing maxms <<<"$(sed -E 's/probes=([0-9]+) answered=[0-9]+ hangs=([0-9]+) missing=([0-9]+) max_ms=([0-9]+)/\1 \2 \3 \4/' "$WORK/watch-$3.txt")"
  exact "$1" "$2" "tray window probes unanswered within 5 s (of ${probes:-0})" "${hangs:-none}" 0
  exact "$1" "$2" "tray window gone during a probe" "${missing:-none}" 0
  timing "$1" "$2" "longest tray window reply" "${maxms:-?} ms" "5000 ms"
}

# ---- Phase: the service stopped and started, then killed in the middle of
# requests and started, while the tray program runs; a watch sends its
# window a message every 200 ms, each waiting at most 5 s.
harrowd() { w "$SERVICE_BIN/Harrowd.exe" "$@" >>"$WORK/service.log"; }
theater_bit() { echo $(($(ec_get System1) >> 2 & 1)); }
ms_now() { echo $(($(date +%s%N) / 1000000)); }
# Waits for the service's pipe, then presses the theater key, whose flag the
# tray program writes through the service, and waits for the flag to follow;
# appends the milliseconds from "pipe back" to "flag written" to the file,
# or "never" after 10 s.
back_to_works() { # times-file
  probe wait-pipe 30000 || { echo never >>"$1"; return; }
  local t0 before
  t0=$(ms_now)
  before=$(theater_bit)
  emuctl press theater >/dev/null
  if until_true 10 sh -c "[ \$((\$(wine '$BIN/emuctl.exe' get System1 | tr -d '\r' | sed 's/.*=//') >> 2 & 1)) != $before ]"; then
    echo $(($(ms_now) - t0)) >>"$1"
  else
    echo never >>"$1"
  fi
}
outage_presses() { # the tray asks the service on 3G; every press is still logged
  printf 'press 3g\npause 50\npress wireless\npause 50\npress 3g\n' >"$WORK/outage.txt"
  local f; f=$(emuscript "$WORK/outage.txt")
  PRESS_FAILED=$((PRESS_FAILED + ${f:-3}))
  PRESSED[132]=$((${PRESSED[132]:-0} + 2)); PRESSED[95]=$((${PRESSED[95]:-0} + 1)); PRESSES=$((PRESSES + 3))
}
phase_service_faults() {
  local cycles i requester pid times=$WORK/service-back-ms.txt groups0
  cycles=$(count 20); [ "$cycles" -lt 2 ] && cycles=2
  : >"$times"
  groups0=$(log_groups)
  watch_start service
  for ((i = 0; i < cycles; i++)); do
    harrowd -stop
    outage_presses
    harrowd -start
    back_to_works "$times"
  done
  local killed=0 kills=$cycles
  # Wine 8's own server of the prefix can end when a service is killed while
  # a client's requests flow (seen at the 7th to 20th kill of default runs),
  # which takes every program of the run with it: the quick run, a tier of
  # the tests, leaves the kills to the default run.
  [ "$QUICK" == 1 ] && kills=0
  for ((i = 0; i < kills; i++)); do
    # A client sends requests back to back while the service is killed.
    (while :; do timeout 30 wine "$BIN/zelcmd.exe" 'root\WMI:Q:ZEL_Device:Device:0' >/dev/null 2>&1; done) &
    requester=$!
    sleep 0.5  # lets requests flow (not a synchronisation)
    pid=$(w "$USAGE" Harrowd.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')
    [ -n "$pid" ] && w taskkill /f /pid "$pid" >/dev/null && killed=$((killed + 1))
    outage_presses
    kill "$requester" 2>/dev/null; wait "$requester" 2>/dev/null
    until_true 10 sh -c "! wine '$USAGE' Harrowd.exe >/dev/null 2>&1"
    harrowd -start
    back_to_works "$times"
  done
  local what="service stopped+started ${cycles}x, killed amid requests+started ${kills}x" never worst median
  if [ "$kills" -gt 0 ]; then
    exact service-faults "$what" "service kills done (taskkill /f)" "$killed" "$kills"
  else
    not_run service-faults "service killed amid requests" "left to the default run (Wine's server of the prefix can end under it)"
  fi
  watch_rows service-faults "$what" service
  never=$(grep -c never "$times")
  exact service-faults "$what" "hotkey needing the service not working 10 s after it is back" "$never" 0
  worst=$(grep -v never "$times" | sort -n | tail -1)
  median=$(grep -v never "$times" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
  timing service-faults "$what" "service back -> hotkey works (median, worst)" "${median:-?} ms, ${worst:-?} ms" "2000 ms"
  # Three presses in each outage and the theater key after it, each cycle.
  local expected=$(((cycles + kills) * 4)) got=$(($(log_groups) - groups0))
  exact service-faults "$what" "presses of these cycles missing from the log" "$((got >= expected ? 0 : expected - got))" 0
  vorlix_alive && n=0 || n=1
  exact service-faults "$what" "Vorlix crashed or restarted" "$n" 0
}

# ---- The viewer: open for the whole run with the emulated battery (where
# one can be presented: emulator/battery/with-battery.sh needs root) changing
# level and charging state every 2.5 s inside its mount namespace; then
# closed, and opened and closed again and again.
BATTERY=$ROOT/emulator/battery/with-battery.sh
viewer() { timeout --kill-after=5 60 wine "$BIN/viewer_probe.exe" "$@" >/dev/null 2>&1; }
viewer_open() {
  if "$BATTERY" 50 Discharging true 2>/dev/null; then
    "$BATTERY" 50 Discharging "$VX_LOADER" "$BIN/Quillon.exe" /COMP_QN >/dev/null 2>&1 &
    QL_PID=$!
    HAVE_BATTERY=1
  else
    "$VX_LOADER" "$BIN/Quillon.exe" /COMP_QN >/dev/null 2>&1 &
    QL_PID=$!
    HAVE_BATTERY=0
  fi
  started_pids+=($QL_PID)
  viewer wait 60000 || { fail "the viewer opens"; return 1; }
  QL_WINPID=$(w "$USAGE" Quillon.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')
  if [ $HAVE_BATTERY == 1 ]; then
    (
      n=0
      while kill -0 "$QL_PID" 2>/dev/null; do
        n=$((n + 1))
        level=$((95 - (n * 7) % 91))
        if [ $((n / 4 % 2)) == 1 ]; then st=Charging on=1; else st=Discharging on=0; fi
        nsenter -t "$QL_PID" -m sh -c "d=/sys/class/power_supply; echo $((40000 * level)) >\$d/BAT0/charge_now;
          echo $st >\$d/BAT0/status; echo $on >\$d/AC/online" 2>/dev/null
        BATTERY_CHANGES=$n; echo "$n" >"$WORK/battery-changes.txt"
        sleep 2.5  # the pace of the battery's changes
      done
    ) &
    started_pids+=($!)
  fi
  sleep 6  # three of the viewer's 2-second refreshes before its reference values
  VIEWER_BASE=$(usage "$QL_WINPID" "$QL_PID")
}
phase_viewer() {
  local n cycles i failed=0 first last pid
  kill -0 "$QL_PID" 2>/dev/null && [ -n "$(w "$USAGE" "$QL_WINPID")" ] && n=0 || n=1
  local what="viewer open all run"
  [ "$HAVE_BATTERY" == 1 ] && what="$what, battery changed $(cat "$WORK/battery-changes.txt" 2>/dev/null || echo 0)x" \
    || what="$what (no battery here: Wine reports none)"
  exact viewer "$what" "viewer crashed" "$n" 0
  usage_rows viewer "$what: end vs after its first refreshes" "$VIEWER_BASE" "$(usage "$QL_WINPID" "$QL_PID")"
  import -window root "$WORK/viewer-end.png" 2>/dev/null
  viewer close 15000 || failed=$((failed + 1))
  cycles=$(count 50); [ "$cycles" -lt 5 ] && cycles=5
  for ((i = 0; i < cycles; i++)); do
    "$VX_LOADER" "$BIN/Quillon.exe" /COMP_QN >/dev/null 2>&1 &
    pid=$!
    if viewer wait 60000; then
      if [ $i == 0 ] || [ $i == $((cycles - 1)) ]; then
        sleep 3  # one refresh or so before the measure, as for the first one
        last=$(usage Quillon.exe "$pid")
        [ $i == 0 ] && first=$last
      fi
      viewer close 15000 || failed=$((failed + 1))
    else
      failed=$((failed + 1))
    fi
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
  done
  exact viewer "$cycles open/close cycles" "opens or closes that failed" "$failed" 0
  usage_rows viewer "$cycles open/close cycles: last vs first instance" "$first" "$last"
}

# ---- Phase: file and device faults while the tray program runs.
presses_logged() { # presses... : presses them, prints how many of them the log gained
  local before n=$#
  before=$(log_groups)
  : >"$WORK/faults.txt"
  for k in "$@"; do printf 'press %s\npause 300\n' "$k" >>"$WORK/faults.txt"; done
  emuscript "$WORK/faults.txt" >/dev/null
  until_true 10 groups_at_least $((before + n))
  echo $(($(log_groups) - before))
}
osd_after_press() { # key: 1 when an OSD window is up within 5 s of the press
  until_true 5 sh -c "[ -z \"\$(wine '$BIN/osd_probe.exe' windows 2>/dev/null | tr -d '\r' | awk '\$3 > 0')\" ]"
  emuctl press "$1" >/dev/null
  until_true 5 sh -c "wine '$BIN/osd_probe.exe' windows 2>/dev/null | tr -d '\r' | awk '\$3 > 0' | grep -q ." && echo 1 || echo 0
}
garbage() { head -c $((200 + RANDOM % 4000)) /dev/urandom >"$1"; }
phase_file_faults() {
  local n out
  watch_start files
  # The activity log held by another program for 4 s while keys are pressed.
  timeout --kill-after=5 60 wine "$DRIVE" hold "$(winepath -w "$LOGFILE" 2>/dev/null)" 4000 2>&1 | tr -d '\r' >"$WORK/hold.txt" &
  local holder=$!
  until_true 10 grep -q = "$WORK/hold.txt"
  local how; how=$(cat "$WORK/hold.txt")
  n=$(presses_logged wireless bluetooth webcam)
  wait "$holder"
  row log-held "activity log held 4 s by another program ($how)" "of 3 presses during the hold, logged" "$n" "0..3 (lost as may be)" "$([ -n "$n" ] && echo pass || echo FAIL)"
  exact log-held "activity log released" "of 3 presses after it, logged" "$(presses_logged wireless bluetooth webcam)" 3

  # Pictures, the language table and the user-defined key's preset: removed,
  # replaced with garbage, restored; keys pressed and the menu opened meanwhile.
  cp -a "$SUITE/Image" "$WORK/Image.saved"; cp -a "$SUITE/StringTable" "$WORK/StringTable.saved"
  rm -rf "$SUITE/Image" "$SUITE/StringTable"; rm -f "$SUITE/UserDefine.ini"
  exact files "pictures, language table, preset removed" "of 4 presses, logged" "$(presses_logged wireless touchpad userdefined 3g)" 4
  probe menu 5000 close >/dev/null
  cp -a "$WORK/Image.saved" "$SUITE/Image"; cp -a "$WORK/StringTable.saved" "$SUITE/StringTable"
  find "$SUITE/Image" "$SUITE/StringTable" -type f | while read -r f; do garbage "$f"; done
  garbage "$SUITE/UserDefine.ini"
  exact files "each replaced with garbage" "of 4 presses, logged" "$(presses_logged wireless touchpad userdefined 3g)" 4
  probe menu 5000 close >/dev/null
  probe about 100 >/dev/null 2>&1 && { probe dialog-cancel; probe wait-no-about 5000; }
  rm -rf "$SUITE/Image" "$SUITE/StringTable"; rm -f "$SUITE/UserDefine.ini"
  cp -a "$WORK/Image.saved" "$SUITE/Image"; cp -a "$WORK/StringTable.saved" "$SUITE/StringTable"
  sleep 2.5  # the earlier pictures time out
  exact files "restored" "OSD shown for the next wireless press" "$(osd_after_press wireless)" 1

  # The audio device removed and added back.
  emuctl audio-remove 0 >/dev/null
  out=$(emuctl volume 0.4 2>&1)
  exact audio "speakers removed" "of 2 presses, logged" "$(presses_logged theater theater)" 2
  local dev; dev=$(emuctl audio-add render | awk '{ print $1 }')
  emuctl audio-default "$dev" >/dev/null
  sleep 1  # the program hears of the new default device (not a synchronisation)
  until_true 5 sh -c "[ -z \"\$(wine '$BIN/osd_probe.exe' windows 2>/dev/null | tr -d '\r' | awk '\$3 > 0')\" ]"
  emuctl volume 0.3 >/dev/null
  until_true 5 sh -c "wine '$BIN/osd_probe.exe' windows 2>/dev/null | tr -d '\r' | awk '\$3 > 0' | grep -q ." && n=1 || n=0
  exact audio "speakers added back as device $dev" "volume bar shown for a change on it" "$n" 1
  watch_rows files "file and device faults" files
  vorlix_alive && n=0 || n=1
  exact files "after every file and device fault" "Vorlix crashed or restarted" "$n" 0
}

# ---- Phase: the service under load from many clients (service_load.exe of
# soak/): its resources after the first 1,000 requests and at the end, the
# same process all along, and the one-shot calls' share under contention.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
not_run() { # phase what why: a phase whose equipment this tree lacks
  row "$1" "$2" "not run: $3" "-" "-" "not run"
}
phase_service_load() {
  local load=$BIN/service_load.exe total first=1000 base end out winpid upid n
  total=$(count 100000)
  if [ ! -f "$load" ]; then not_run service-load "$total requests from 8 clients" "no service_load.exe in this build"; return 0; fi
  winpid=$(w "$USAGE" Harrowd.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')
  upid=$(unix_pid_of Harrowd.exe)
  out=$(timeout --kill-after=5 1800 wine "$load" --requests "$first" --clients 8 2>&1 | tr -d '\r' | tee "$WORK/service-load-first.txt")
  settle
  base=$(usage "$winpid" "$upid")
  out=$(timeout --kill-after=5 1800 wine "$load" --requests $((total - first)) --clients 8 2>&1 | tr -d '\r' | tee "$WORK/service-load.txt")
  settle
  end=$(usage "$winpid" "$upid")
  local what="$total mixed requests from 8 clients"
  exact service-load "$what" "malformed replies" "$(field malformed "$out")" 0
  exact service-load "$what" "failed requests" "$(field failed "$out")" 0
  exact service-load "$what" "wrong replies" "$(field wrong "$out")" 0
  exact service-load "$what" "busy replies" "$(field busy "$out")" 0
  [ "$(w "$USAGE" Harrowd.exe | sed -n 's/^pid=\([0-9]*\).*/\1/p')" == "$winpid" ] && n=0 || n=1
  exact service-load "$what" "service crashed (a new or no process)" "$n" 0
  timing service-load "$what" "request time p50, p99, max" "$(field p50_ms "$out") ms, $(field p99_ms "$out") ms, $(field max_ms "$out") ms" "-"
  local h0 m0 h1 m1
  read -r h0 _ _ m0 <<<"$base"; read -r h1 _ _ m1 <<<"$end"
  growth service-load "$what: end vs after the first $first" "service handles" "$h0" "$h1" 16
  growth service-load "$what: end vs after the first $first" "service private memory" "$m0" "$m1" 1024 kB
  out=$(timeout --kill-after=5 600 wine "$load" --one-shot-contention --calls "$(count 2000)" 2>&1 | tr -d '\r' | tee "$WORK/contention.txt")
  timing contention "one-shot calls beside 8 busy clients" "served share: one-shot, clients; client p99 wait" \
    "$(field oneshot_served_share "$out"), $(field client_served_share "$out"); $(field client_p99_wait_ms "$out") ms" "-"
}

# ---- Phase: Windows' WMI service restarted under the tray program (every
# event subscription ended, with or without telling the sink, connections
# refused for 1.5 s); the next hotkey after it is back must reach the OSD.
emuctl_offers() { emuctl help 2>/dev/null | grep -q "$1"; }
phase_wmi_restart() {
  if ! emuctl_offers wmi-restart; then not_run wmi-restart "WMI service restarted, told and silent" "emuctl has no wmi-restart"; return 0; fi
  local mode n t0
  watch_start wmi
  for mode in told silent; do
    emuctl wmi-restart 1500 $([ $mode == silent ] && echo silent) >/dev/null
    sleep 1.5  # the emulated WMI service is down this long
    t0=$(ms_now)
    local before; before=$(log_groups)
    # The tray program subscribes again by itself, with back-off: a hotkey
    # is pressed until one is logged (each waits 2 s), for at most 30 s.
    n=0
    local end=$((SECONDS + 30))
    while [ $SECONDS -lt $end ]; do
      emuctl press wireless >/dev/null
      until_true 2 groups_at_least $((before + 1)) && { n=1; break; }
    done
    exact wmi-restart "WMI service restarted ($mode), 1.5 s down" "a hotkey after it is back logged within 30 s" "$n" 1
    timing wmi-restart "WMI service restarted ($mode), 1.5 s down" "WMI back -> hotkey logged" "$(($(ms_now) - t0)) ms" "-"
    sleep 2.5
    exact wmi-restart "WMI service restarted ($mode), 1.5 s down" "OSD shown for the next hotkey" "$(osd_after_press wireless)" 1
  done
  watch_rows wmi-restart "WMI service restarted twice" wmi
}

# ---- Phase: power-scheme calls made to fail several times in a row; the
# ECO key is pressed through the failures, then once more after them.
phase_power_failures() {
  if ! emuctl_offers PowerFailCalls; then not_run power-fail "power-scheme calls failing 5x" "emuctl has no PowerFailCalls setting"; return 0; fi
  emuctl setting PowerFailCalls 5 >/dev/null
  local n
  n=$(presses_logged eco eco eco)
  exact power-fail "power-scheme calls failing 5x" "of 3 ECO presses during the failures, logged" "$n" 3
  emuctl setting PowerFailCalls 0 >/dev/null
  sleep 2.5
  exact power-fail "failures over" "OSD shown for the next ECO press" "$(osd_after_press eco)" 1
  vorlix_alive && n=0 || n=1
  exact power-fail "after the power-scheme failures" "Vorlix crashed or restarted" "$n" 0
}

emu_code() { # key name or code -> decimal code
  case $1 in
    touchpad) echo 8 ;; bluetooth) echo 86 ;; webcam) echo 87 ;; wireless) echo 95 ;; turbo) echo 96 ;;
    userdefined) echo 111 ;; theater) echo 115 ;; eco) echo 121 ;; 3g) echo 132 ;; *) echo $(($1)) ;;
  esac
}

wine_server_row() {
  local now; now=$(wine_server_pid)
  [ -n "$now" ] && [ "$now" == "$SERVER_PID" ] && n=0 || n=1
  exact wine "the whole run" "Wine's server ended and restarted ($SERVER_PID -> ${now:-none})" "$n" 0
}
# SOAK_PHASES picks phases by name (setup always runs first).
PHASES=(setup ${SOAK_PHASES:-phase_tray_load phase_service_faults phase_service_load phase_file_faults phase_wmi_restart phase_power_failures} phase_viewer wine_server_row)
for phase in "${PHASES[@]}"; do
  log "phase $phase (Wine's server: $(wine_server_pid))"
  "$phase" || { row "$phase" "the phase's set-up" "ran" "no" "yes" FAIL; [ "$phase" == setup ] && exit 1; }
  # Every program of the run belongs to Wine's server that was there at the
  # start; once it has gone, nothing after says anything about the suite.
  if [ "$phase" != setup ] && [ "$(wine_server_pid)" != "$SERVER_PID" ]; then
    exact wine "$phase" "Wine's server of the prefix ended under it (the later phases not run)" 1 0
    exit 1
  fi
done
exit 0
