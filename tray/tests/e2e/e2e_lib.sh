# Shared helpers of the tray program's end-to-end scripts. Source it after
# setting BIN (the build's program folder) and E2E_NAME (the log prefix).
passed=0
failed=0
started_pids=()

log() { printf '[%s] %s\n' "$E2E_NAME" "$*"; }
ok() { passed=$((passed + 1)); log "ok: $1"; }
fail() { failed=$((failed + 1)); log "FAILED: $1${2:+ ($2)}"; }
expect_eq() { # name actual expected
  if [ "$2" == "$3" ]; then ok "$1"; else fail "$1" "got [$2] want [$3]"; fi
}

# A Wine program with a time limit, its output without carriage returns.
w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
until_true() { # seconds command...: polls until the command succeeds
  local end=$((SECONDS + $1)); shift
  while ! "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
}

# Ends every process the script started, by its id (politely, then for
# good), and removes its scratch folder WORK: the scripts' exit trap.
end_started() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$WORK"
}

# ---- The program's main window hosted by osd_host.exe (from a folder, run
# through wine or another runner such as scripts/wine-run-korean), until
# start-up is over; stopped through Exit.
HOST_PID=
start_host() { # dir [runner...]
  local dir=$1; shift
  local runner=("$@")
  [ ${#runner[@]} -eq 0 ] && runner=(wine)
  "${runner[@]}" "$dir/osd_host.exe" >/dev/null 2>&1 &
  HOST_PID=$!
  started_pids+=($HOST_PID)
  probe wait-window 30000 >/dev/null && probe wait-hidden 10000
}
stop_host() {
  [ -n "$HOST_PID" ] || return 0
  probe exit >/dev/null
  for _ in $(seq 100); do kill -0 "$HOST_PID" 2>/dev/null || break; sleep 0.1; done
  kill "$HOST_PID" 2>/dev/null
  until_true 10 sh -c "! wine '$BIN/tray_probe.exe' hwnd >/dev/null 2>&1"
  HOST_PID=
}

# ---- The on-screen display seen from outside and on the screen. These need
# W and H (the screen), T (the taskbar thickness), WORK (a scratch folder)
# and, for picture_diff, a screenshot of the empty desktop in $WORK/empty.png.
osd() { w "$BIN/osd_probe.exe" "$@"; }
size_of() { identify -format '%w %h' "$1"; }
# The place of a kind's window for a w x h picture, from the screen, the
# taskbar thickness T and the placement rules.
expected_rect() { # kind w h
  local k=$1 pw=$2 ph=$3
  case $k in
    1) echo "$((W - pw - 2 * T)) $((H - ph - 2 * T)) $pw $ph" ;;
    3) echo "$(((W - pw) / 2)) $(((H - ph) / 2)) $pw $ph" ;;
    4) echo "$(awk -v W=$W -v T=$T -v w=$pw 'BEGIN { printf "%d", W - 4 * T - 1.5 * w }') $((H - ph - 2 * T)) $pw $ph" ;;
    5) echo "$(((W - pw) / 2)) $((H - ph - 2 * T)) $pw $ph" ;;
  esac
}
listed() { osd windows | grep -qx "$1"; }   # a visible OSD window with this rect
none_listed() { [ -z "$(osd windows | awk '$3 > 0 && $4 > 0')" ]; }
shot() { import -window root "$WORK/$1"; }
# Differing pixels between the screen at a rect and what a layered window of
# the picture shows there: its premultiplied colours (the picture flattened
# on black) where it has any alpha, the empty desktop where it has none.
picture_diff() { # shot "x y w h" picture
  local x y pw ph
  read -r x y pw ph <<<"$2"
  convert "$WORK/$1" -crop "${pw}x${ph}+${x}+${y}" +repage "$WORK/crop.png"
  convert "$WORK/empty.png" -crop "${pw}x${ph}+${x}+${y}" +repage "$WORK/under.png"
  convert "$3" -background black -alpha remove -alpha off "$WORK/flat.png"
  convert "$3" -alpha extract -threshold 0 "$WORK/mask.png"
  convert "$WORK/under.png" "$WORK/flat.png" "$WORK/mask.png" -composite "$WORK/expected.png"
  compare -metric AE -fuzz 2% "$WORK/crop.png" "$WORK/expected.png" null: 2>&1
}
# Differing pixels between two screenshots at a rect.
region_diff() { # shotA shotB "x y w h"
  local x y pw ph
  read -r x y pw ph <<<"$3"
  convert "$WORK/$1" -crop "${pw}x${ph}+${x}+${y}" +repage "$WORK/a.png"
  convert "$WORK/$2" -crop "${pw}x${ph}+${x}+${y}" +repage "$WORK/b.png"
  compare -metric AE -fuzz 2% "$WORK/a.png" "$WORK/b.png" null: 2>&1
}

# ---- The emulated EC, the registry view of the program under test, and the
# tray program started and stopped (these need BIN).
ec_get() { w "$BIN/emuctl.exe" get "$1" | sed -n "s/^$1=//p"; }
ec_set() { w "$BIN/emuctl.exe" set "$1" "$2" >/dev/null; }
# The registry view of the program under test: a 32-bit program sees
# HKLM\SOFTWARE through WoW64's redirection, and Wine's own reg.exe runs in
# either bitness, so every reg call names the view (HKCU\Software is shared).
pe_machine() { # file: the PE header's machine field, e.g. 014c or 8664
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' '
}
if [ "$(pe_machine "$BIN/Vorlix.exe")" == 014c ]; then REG_VIEW=/reg:32; else REG_VIEW=/reg:64; fi
reg() { timeout 60 wine reg "$@" "$REG_VIEW" >/dev/null 2>&1; }
reg_value() { # key value
  timeout 60 wine reg query "$1" /v "$2" "$REG_VIEW" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"
}
VX_PID=
# VX_LOADER, when set, is the Wine loader that runs it (see wine_loader in
# scripts/lib.sh: VX_PID is then the program's own process).
start_vorlix() { # [dir] [env...]: starts Vorlix and waits for its tray icon
  local dir=${1:-$BIN}; shift || true
  env "$@" "${VX_LOADER:-wine}" "$dir/Vorlix.exe" >/dev/null 2>&1 &
  VX_PID=$!
  started_pids+=($VX_PID)
  probe wait-window 30000 >/dev/null && probe wait-icon 10000 >/dev/null && probe wait-hidden 10000
}
stop_vorlix() {
  [ -n "$VX_PID" ] || return 0
  # The Exit command first, so the shell's taskbar forgets the window too.
  probe exit >/dev/null
  for _ in $(seq 100); do kill -0 "$VX_PID" 2>/dev/null || break; sleep 0.1; done
  kill "$VX_PID" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$VX_PID" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$VX_PID" 2>/dev/null
  until_true 10 sh -c "! wine '$BIN/tray_probe.exe' hwnd >/dev/null 2>&1"
  VX_PID=
}
focus_desktop() {
  local win
  win=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -1)
  [ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
}
# Opens the tray menu and picks the item at the given position with the keyboard.
pick_menu_item() { # position (1 = first)
  probe menu 10000 >/dev/null || return 1
  focus_desktop
  local keys=()
  for _ in $(seq "$1"); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
}

# Installs the command service in the service manager and waits for its pipe
# (needs SERVICE_BIN and WORK).
install_service() {
  timeout --kill-after=5 60 wine "$SERVICE_BIN/Harrowd.exe" -remove >/dev/null 2>&1
  w "$SERVICE_BIN/Harrowd.exe" -install >"$WORK/service.log"
  probe wait-pipe 30000 || { fail "service serves the pipe" "$(tr '\n' ' ' <"$WORK/service.log")"; return 1; }
}

# ---- The activity log: its file, its size, and what was appended after an
# offset with every time stamp shown as <<stamp>> once it has the right form.
activity_log_file() {
  local user
  user=$(timeout 60 wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r\n')
  winepath -u "C:\\users\\$user\\Documents\\CVNLogFile.txt" 2>/dev/null
}
log_size() { stat -c %s "$LOGFILE" 2>/dev/null || echo missing; }
log_since() { # offset
  tail -c +$(($1 + 1)) "$LOGFILE" | LC_ALL=C sed -E 's/<<[0-9]{2}\xa4\xeb[0-9]{2}\xa4\xe9  [0-9]{2}:[0-9]{2}:[0-9]{2}>> /<<stamp>> /g'
}

# Presses a hotkey through the emulated firmware and waits until an OSD
# window at the given kind's place is visible; an earlier picture there is
# waited away first (needs W, H, T).
press_and_wait() { # key kind
  local rect pw ph
  case $2 in
    3) read -r pw ph <<<"$(size_of "$BIN/Image/Center/Turbo_Enable.png")" ;;
    *) read -r pw ph <<<"$(size_of "$BIN/Image/ICON/Wireless_Enable.png")" ;;
  esac
  rect=$(expected_rect "$2" "$pw" "$ph")
  until_true 5 sh -c "! wine '$BIN/osd_probe.exe' windows 2>/dev/null | tr -d '\r' | grep -qx '$rect'"
  w "$BIN/emuctl.exe" press "$1" >/dev/null || return 1
  until_true 10 listed "$rect"
}
