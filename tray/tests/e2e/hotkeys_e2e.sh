#!/usr/bin/env bash
# End-to-end tests of the firmware hotkeys: the command service installed and
# started in the service manager, Vorlix running in the Wine virtual desktop,
# every hotkey pressed through the emulated firmware (which toggles the device
# and raises the event). For each press: the exact activity-log group, the
# OSD window at its place with its picture on the screen, the firmware state;
# for ECO and theater mode the power scheme, volume and brightness. Once with
# the firmware reporting states in its events (interface version 17), once
# without (16, every state read through the service).
# Runs inside a Wine session (scripts/with-wine).
# Usage: hotkeys_e2e.sh BIN_DIR [SERVICE_BIN_DIR]
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C
BIN=$(cd "$1" && pwd)
SERVICE_BIN=$(cd "${2:-$1}" && pwd)
WORK=$(mktemp -d /tmp/hotkeys-e2e.XXXXXX)
E2E_NAME=hotkeys_e2e
source "$(dirname "$0")/e2e_lib.sh"
CORVANE_KEY='HKCU\Software\ZEL\Corvane'
USERDEF_KEY='HKCU\Software\ZEL\Corvane\User Define Key'

cleanup() {
  probe exit >/dev/null 2>&1
  timeout --kill-after=5 60 wine "$SERVICE_BIN/Harrowd.exe" -remove >/dev/null 2>&1
  end_started
  reg delete "$CORVANE_KEY" /f
  rm -f "${LOGFILE:-/nonexistent}" "$BIN/ud_target.txt"
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

reg delete "$CORVANE_KEY" /f
rm -f "$BIN/ud_target.txt"
LOGFILE=$(activity_log_file)
rm -f "$LOGFILE"
install_service || { echo "$passed passed, $failed failed"; exit 1; }

W=1280
H=800
T=$(osd taskbar); [ "$T" == none ] && T=34
shot empty.png

active_scheme() { w "$BIN/emuctl.exe" power active | sed 's/^Active=[^ ]* //'; }
volume() { w "$BIN/emuctl.exe" audio | awk '$1 == 0 { sub(/.*volume=/, ""); printf "%d\n", $1 * 100 + 0.5 }'; }
# The activity-log group of one event.
group() { # code [name line] [state line...]
  printf '<<stamp>> \r\nCVN receive WMI Event value : %s  ' "$1"
  [ -n "${2:-}" ] && printf '\t<< %s >>\r\n' "$2"
  shift 2 2>/dev/null || true
  local line
  for line in "$@"; do printf '\t%s\r\n' "$line"; done
}
log_is() { log_since "$1" | cmp -s - "$2"; }
# The OSD window of a kind at its place, showing the picture on the screen.
osd_shows() { # kind picture
  local pw ph rect
  read -r pw ph <<<"$(size_of "$2")"
  rect=$(expected_rect "$1" "$pw" "$ph")
  listed "$rect" && shot now.png && [ "$(picture_diff now.png "$rect" "$2")" == 0 ]
}
# Kind 1 and kind 4 up together, each with its picture, in one screenshot.
both_shown() { # kind-1 picture, kind-4 picture
  local pw ph r1 r4
  read -r pw ph <<<"$(size_of "$BIN/Image/$1")"; r1=$(expected_rect 1 "$pw" "$ph")
  read -r pw ph <<<"$(size_of "$BIN/Image/$2")"; r4=$(expected_rect 4 "$pw" "$ph")
  listed "$r1" && listed "$r4" && shot now.png &&
    [ "$(picture_diff now.png "$r1" "$BIN/Image/$1") $(picture_diff now.png "$r4" "$BIN/Image/$2")" == "0 0" ]
}
# Presses a key (or raises a raw event value) and checks its log group and OSD.
# kind 0: no OSD is expected.
check_press() { # what how(press|raise) key-or-value code kind picture name [state line...]
  local what=$1 how=$2 key=$3 code=$4 kind=$5 picture=$6
  shift 6
  local from
  from=$(log_size)
  group "$code" "$@" >"$WORK/want.log"
  w "$BIN/emuctl.exe" "$how" "$key" >/dev/null || fail "$what: emuctl $how $key"
  if until_true 10 log_is "$from" "$WORK/want.log"; then ok "$what: log group"; else
    fail "$what: log group" "$(log_since "$from" | od -c | head -5 | tr '\n' ' ')"; fi
  if [ "$kind" != 0 ]; then
    if until_true 5 osd_shows "$kind" "$BIN/Image/$picture"; then ok "$what: OSD kind $kind shows $picture"; else
      fail "$what: OSD kind $kind shows $picture" "$(osd windows | paste -sd,)"; fi
  fi
}
start_logging_vorlix() { # interface version
  ec_set AP1 "$1"
  reg add "$CORVANE_KEY\\Log File" /v 'Log File Flag' /d TRUE /f
  start_vorlix || fail "Vorlix starts (interface version $1)"
}

# The presses of one pass, from the EC's reset state (wireless, Bluetooth
# and webcam on; 3G, turbo, touchpad flag and ECO off):
#   what|how|key|code|kind|picture|register=value after|name line|state line
rows() {
  cat <<'ROWS'
Bluetooth off|press|bluetooth|56|1|ICON/BlueTooth_Disable.png|Device=10|It's BlueTooth's WMIevent|Get BlueTooth's Flag in EC's rom : Disable
webcam off|press|webcam|57|1|ICON/WebCam_Disable.png|Device=8|It's WebCam's WMIevent|Get WebCam's Flag in EC's rom : Disable
touchpad off (flag set)|press|touchpad|8|1|ICON/TouchPad_Disable.png|System1=2|It's TouchPad's WMIevent|Get TouchPad's Flag in EC's rom : Disable
3G on|press|3g|84|1|ICON/3G_Enable.png|Device=24||
turbo on|press|turbo|60|3|Center/Turbo_Enable.png|System0=2|It's Turbo's WMIevent|Get Turbo's Flag in EC's rom : Enable
touchpad on (flag clear)|press|touchpad|8|1|ICON/TouchPad_Enable.png|System1=0|It's TouchPad's WMIevent|Get TouchPad's Flag in EC's rom : Enable
ROWS
}

hotkey_pass() { # interface version
  local v=$1 what how key code kind picture reg name line
  while IFS='|' read -r what how key code kind picture reg name line; do
    what="v$v $what"
    if [ -n "$line" ]; then check_press "$what" "$how" "$key" "$code" "$kind" "$picture" "$name" "$line"
    else check_press "$what" "$how" "$key" "$code" "$kind" "$picture" "$name"; fi
    expect_eq "$what: firmware ${reg%=*}" "$(ec_get "${reg%=*}")" "${reg#*=}"
  done < <(rows)

  # Wireless, then Bluetooth within its two seconds: Bluetooth goes beside
  # it, both visible in one screenshot (the logs are the quick checks here:
  # the wireless picture's time runs).
  check_press "v$v wireless off" press wireless 5f 0 - \
    "It's Wirelees's WMIevent" "Get Wireless's Flag in EC's rom : Disable"
  check_press "v$v Bluetooth on beside wireless" press bluetooth 56 0 - \
    "It's BlueTooth's WMIevent" "Get BlueTooth's Flag in EC's rom : Enable"
  if until_true 3 both_shown ICON/Wireless_Disable.png ICON/BlueTooth_Enable.png; then
    ok "v$v Bluetooth picture on kind 4 beside the wireless picture on kind 1"; else
    fail "v$v Bluetooth picture on kind 4 beside the wireless picture on kind 1" "$(osd windows | paste -sd,)"; fi
  expect_eq "v$v wireless and Bluetooth: firmware Device" "$(ec_get Device)" 17
  cp "$WORK/now.png" "$WORK/pair-v$v.png"

  # A code nothing handles: its two lines, nothing else.
  check_press "v$v unknown code 0x25" press 0x25 25 0 - "This WMIevent don't work in CVN."
  # The flag byte decides only when the firmware reports states; 3G is read always.
  if [ "$v" -ge 17 ]; then cam=Enable; else cam=Disable; fi
  check_press "v$v webcam event whose flag byte says on (EC: off)" raise 0x0257 57 1 "ICON/WebCam_$cam.png" \
    "It's WebCam's WMIevent" "Get WebCam's Flag in EC's rom : $cam"
  check_press "v$v 3G event whose flag byte says off (EC: on)" raise 0x0084 84 1 ICON/3G_Enable.png ""

  # ECO: the power scheme before, during and after.
  expect_eq "v$v ECO: scheme before" "$(active_scheme)" Balanced
  check_press "v$v ECO on" press eco 79 1 ICON/ECO_Enable.png "It's ECO's WMIevent"
  if until_true 5 sh -c '[ "$(wine "$0" power active 2>/dev/null | tr -d "\r" | sed "s/^Active=[^ ]* //")" = ECO ]' "$BIN/emuctl.exe"; then
    ok "v$v ECO: the ECO scheme is active"; else fail "v$v ECO: the ECO scheme is active" "$(active_scheme)"; fi
  expect_eq "v$v ECO on: firmware System1" "$(ec_get System1)" 1
  check_press "v$v ECO off" press eco 79 1 ICON/ECO_Disable.png "It's ECO's WMIevent"
  until_true 5 sh -c '[ "$(wine "$0" power active 2>/dev/null | tr -d "\r" | sed "s/^Active=[^ ]* //")" = Balanced ]' "$BIN/emuctl.exe"
  expect_eq "v$v ECO: scheme after" "$(active_scheme)" Balanced
  expect_eq "v$v ECO: no ECO scheme left" "$(w "$BIN/emuctl.exe" power list | grep -c ECO)" 0
}

# ==== firmware reporting states (interface version 17)
w "$BIN/emuctl.exe" reset >/dev/null
start_logging_vorlix 17
hotkey_pass 17

# ---- theater mode: louder and brighter, then back
w "$BIN/emuctl.exe" volume 0.65 >/dev/null
w "$BIN/emuctl.exe" brightness 90 >/dev/null
check_press "theater on" press theater 73 3 Center/TheaterMode_Enable.png ""
expect_eq "theater on: volume" "$(volume)" 95
expect_eq "theater on: brightness" "$(ec_get Brightness0)" 100
expect_eq "theater on: firmware bit 0x04" "$(( $(ec_get System1) & 4 ))" 4
check_press "theater off" press theater 73 3 Center/TheaterMode_Disable.png ""
expect_eq "theater off: volume" "$(volume)" 65
expect_eq "theater off: brightness" "$(ec_get Brightness0)" 90
expect_eq "theater off: firmware bit 0x04" "$(( $(ec_get System1) & 4 ))" 0

# ---- wireless while a full-screen program is in front shows nothing, so a
# Bluetooth press after it has its own place
until_true 6 none_listed || fail "every OSD hidden before the full-screen program"
wine "$BIN/osd_probe.exe" fullscreen 3000 >"$WORK/fullscreen.out" 2>/dev/null &
fs_pid=$!
started_pids+=($fs_pid)
if until_true 10 grep -q ready "$WORK/fullscreen.out"; then
  check_press "wireless on behind a full-screen program" press wireless 5f 0 - \
    "It's Wirelees's WMIevent" "Get Wireless's Flag in EC's rom : Enable"
  some_listed() { ! none_listed; }
  if until_true 1 some_listed; then fail "no OSD behind a full-screen program" "$(osd windows | paste -sd,)"; else ok "no OSD behind a full-screen program"; fi
else
  fail "full-screen window came to the foreground"
fi
for _ in $(seq 100); do kill -0 "$fs_pid" 2>/dev/null || break; sleep 0.1; done
kill "$fs_pid" 2>/dev/null
check_press "Bluetooth after the refused wireless picture" press bluetooth 56 1 ICON/BlueTooth_Disable.png \
  "It's BlueTooth's WMIevent" "Get BlueTooth's Flag in EC's rom : Disable"

# ---- keys work while the about box is open
pick_menu_item 1
if probe about 10000 >/dev/null; then ok "about box open"; else fail "about box open"; fi
# (The webcam is off since the last press of each pass: each press toggles it.)
check_press "webcam with the about box open" press webcam 57 1 ICON/WebCam_Enable.png \
  "It's WebCam's WMIevent" "Get WebCam's Flag in EC's rom : Enable"
focus_desktop; xdotool key Escape
probe wait-no-about 5000 || fail "about box closed"

# ---- user-defined key: the choice dialog while none is chosen, then the program
reg add "$USERDEF_KEY" /v UserDefineFilePath /d NONE /f
from=$(log_size)
w "$BIN/emuctl.exe" press userdefined >/dev/null
if probe about 10000 >/dev/null; then ok "user-defined key opens the choice dialog"; else fail "user-defined key opens the choice dialog"; fi
w "$BIN/emuctl.exe" press userdefined >/dev/null
check_press "webcam with the choice dialog open" press webcam 57 1 ICON/WebCam_Disable.png \
  "It's WebCam's WMIevent" "Get WebCam's Flag in EC's rom : Disable"
expect_eq "user-defined key again: still one dialog" "$(probe about-count)" 1
probe dialog-cancel
probe wait-no-about 5000 || fail "choice dialog closed"
{
  group 6f "It's UserDfine's WMIevent"; group 6f "It's UserDfine's WMIevent"
  group 57 "It's WebCam's WMIevent" "Get WebCam's Flag in EC's rom : Disable"
  printf '\tFunction of User Define don'"'"'t work\r\n\tOpen Dialog of User Define .............\r\n'
} >"$WORK/want.log"
if until_true 5 log_is "$from" "$WORK/want.log"; then ok "user-defined key with the dialog: log"; else
  fail "user-defined key with the dialog: log" "$(log_since "$from" | od -c | head -8 | tr '\n' ' ')"; fi

target=$(winepath -w "$BIN/ud_target.exe" 2>/dev/null | tr -d '\r')
reg add "$USERDEF_KEY" /v UserDefineFilePath /d "$target" /f
reg add "$USERDEF_KEY" /v UserDefineFileName /d ud_target.exe /f
check_press "user-defined key with a chosen program" press userdefined 6f 0 - "It's UserDfine's WMIevent" \
  "Function of User Define work" "Open ud_target.exe  ............."
if until_true 10 test -s "$BIN/ud_target.txt"; then ok "the chosen program started"; else fail "the chosen program started"; fi
reg add "$USERDEF_KEY" /v UserDefineFilePath /d NONE /f

# ---- suspend and resume keep the hotkeys working and announce the program again
probe suspend
ec_set Software 0
probe resume
expect_eq "resume announces the program again" "$(ec_get Software)" 1
check_press "webcam after resume" press webcam 57 1 ICON/WebCam_Enable.png \
  "It's WebCam's WMIevent" "Get WebCam's Flag in EC's rom : Enable"
stop_vorlix

# ==== firmware not reporting states (interface version 16): read through the service
w "$BIN/emuctl.exe" reset >/dev/null
start_logging_vorlix 16
hotkey_pass 16

# ---- Exit from the tray menu with ECO on
HWND=$(probe hwnd); PID=$(probe pid)
check_press "ECO on before exit" press eco 79 1 ICON/ECO_Enable.png "It's ECO's WMIevent"
until_true 5 sh -c '[ "$(wine "$0" power active 2>/dev/null | tr -d "\r" | sed "s/^Active=[^ ]* //")" = ECO ]' "$BIN/emuctl.exe"
pick_menu_item 2
if probe wait-exit "$PID" 10000; then ok "Exit from the tray menu ends the program"; else fail "Exit from the tray menu ends the program"; fi
expect_eq "exit tells the firmware (Software 0)" "$(ec_get Software)" 0
if probe wait-no-icon "$HWND" 3000 >/dev/null; then ok "exit removes the icon"; else fail "exit removes the icon"; fi
expect_eq "exit leaves no ECO scheme" "$(w "$BIN/emuctl.exe" power list | grep -c ECO)" 0
if [ "$(active_scheme)" != ECO ]; then ok "exit leaves another scheme active"; else fail "exit leaves another scheme active"; fi
VX_PID=

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
