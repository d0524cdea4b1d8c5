#!/usr/bin/env bash
# The tray program's tour, run inside a Wine session (scripts/demo calls it
# through scripts/with-wine): the command service and Vorlix running, logging
# switched on with Ctrl+Alt+S in the about box, then every hotkey pressed in
# turn through the emulated firmware, as a person presses the keys, with a
# screenshot of what appears ($OUT/demo/hotkey-*.png); the power scheme,
# volume and brightness around ECO and theater mode in hotkeys.txt; the
# activity log printed at the end (activity-log.txt); Exit from the tray menu.
# A listener of the other bitness hooks the accessibility events from the
# start of the tour, as a screen reader does: what the pictures said lands
# in announcements.txt, one line each.
# The notebook's own mix runs: the 32-bit tray program against the 64-bit
# service (the installed ones after scripts/demo-install.sh). Everything
# started here is ended here.
source "$(dirname "$0")/lib.sh"
set +eu
BIN=$WIN32_BIN
SERVICE_BIN=$WIN64_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
WORK=$(mktemp -d /tmp/demo-hotkeys.XXXXXX)
E2E_NAME=demo-hotkeys
source "$ROOT/tray/tests/e2e/e2e_lib.sh"
CORVANE_KEY='HKCU\Software\ZEL\Corvane'
USERDEF_KEY='HKCU\Software\ZEL\Corvane\User Define Key'
cleanup() {
  probe exit >/dev/null 2>&1
  for p in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill "$p" 2>/dev/null
  done
  reg delete "$USERDEF_KEY" /f
  rm -f "$BIN/ud_target.txt"
  rm -rf "$WORK"
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

w "$BIN/emuctl.exe" reset >/dev/null
reg delete "$USERDEF_KEY" /f
reg add "$CORVANE_KEY\\Log File" /v 'Log File Flag' /d FALSE /f
LOGFILE=$(activity_log_file)
rm -f "$LOGFILE"

# The suite the demo installed from its package when it is there (the
# service already answers); otherwise the build's programs.
SUITE=$(winepath -u "$SUITE_DIR" 2>/dev/null)
if [ -f "$SUITE/Vorlix.exe" ] && probe wait-pipe 5000; then
  log "demo-hotkeys: the installed suite"
else
  SUITE=$BIN
  wine "$SERVICE_BIN/Harrowd.exe" -debug >/dev/null 2>&1 &
  started_pids+=($!)
  probe wait-pipe 30000 || log "the command service does not answer"
fi
HEARD=$WORK/heard.txt
: >"$HEARD"
wine "$WIN64_BIN/a11y_listen.exe" listen "$(winepath -w "$HEARD")" 600 >"$WORK/listen.out" 2>&1 &
LISTEN_PID=$!
started_pids+=($LISTEN_PID)
until_true 30 grep -qs ready "$WORK/listen.out" || log "the accessibility listener did not start"
start_vorlix "$SUITE" || { log "Vorlix did not start"; exit 1; }
W=1280; H=800; T=$(osd taskbar); [ "$T" == none ] && T=34
shot empty.png

# Logging on: the about box from the tray menu, Ctrl+Alt+S, OK.
pick_menu_item 1
if probe about 10000 >/dev/null; then
  focus_desktop; xdotool key ctrl+alt+s
  until_true 5 sh -c "wine '$BIN/tray_probe.exe' about 1000 | tr -d '\r' | grep -qx 1024=Logging"
  import -window root "$DEMO/hotkey-about-logging.png"
  log "about box: logging label [$(probe about 1000 | sed -n 's/^1024=//p')]"
  probe dialog-cancel; probe wait-no-about 5000
fi

# Saves the screen once the newest event is in the log and its picture is up.
capture() { # name
  import -window root "$DEMO/hotkey-$1.png"
  log "$1: OSD windows [$(osd windows | awk '$3 > 0' | paste -sd, -)]"
}
press() { # name key
  local from heard; from=$(log_size); heard=$(wc -l <"$HEARD")
  w "$BIN/emuctl.exe" press "$2" >/dev/null
  until_true 5 sh -c "[ \$(stat -c %s '$LOGFILE') -gt $from ]"
  until_true 5 sh -c "wine '$BIN/osd_probe.exe' windows | tr -d '\r' | awk '\$3 > 0' | grep -q ."
  capture "$1"
  # Its announcement is said once the picture has stood half a second.
  until_true 5 sh -c "[ \$(wc -l <'$HEARD') -gt $heard ]" || log "$1: nothing announced"
}
report() { echo "$*" | tee -a "$DEMO/hotkeys.txt" | while read -r line; do log "$line"; done; }
: >"$DEMO/hotkeys.txt"
active_scheme() { w "$BIN/emuctl.exe" power active | sed 's/^Active=[^ ]* //'; }
volume() { w "$BIN/emuctl.exe" audio | awk '$1 == 0 { sub(/.*volume=/, ""); printf "%d\n", $1 * 100 + 0.5 }'; }

press wireless-off wireless
press bluetooth-off-beside-wireless bluetooth
sleep 2.5  # let both pictures time out, so the next ones start alone
press webcam-off webcam
press touchpad-off touchpad
press 3g-on 3g
press turbo-on turbo
report "before ECO: power scheme $(active_scheme)"
press eco-on eco
until_true 5 sh -c '[ "$(wine "$0" power active | tr -d "\r" | sed "s/^Active=[^ ]* //")" = ECO ]' "$BIN/emuctl.exe"
report "ECO on: power scheme $(active_scheme)"
press eco-off eco
until_true 5 sh -c '[ "$(wine "$0" power active | tr -d "\r" | sed "s/^Active=[^ ]* //")" != ECO ]' "$BIN/emuctl.exe"
report "ECO off: power scheme $(active_scheme)"
w "$BIN/emuctl.exe" volume 0.65 >/dev/null
w "$BIN/emuctl.exe" brightness 90 >/dev/null
report "before theater mode: volume $(volume), brightness $(ec_get Brightness0)"
press theater-on theater
report "theater mode on: volume $(volume), brightness $(ec_get Brightness0)"
press theater-off theater
report "theater mode off: volume $(volume), brightness $(ec_get Brightness0)"

# The user-defined key with nothing chosen opens its dialog; then a program
# is chosen and the next press starts it.
reg add "$USERDEF_KEY" /v UserDefineFilePath /d NONE /f
w "$BIN/emuctl.exe" press userdefined >/dev/null
if probe about 10000 >/dev/null; then
  import -window root "$DEMO/hotkey-userdefined-dialog.png"
  report "user-defined key: the choice dialog [$(probe about 1000 | sed -n 's/^caption=//p')] opened"
  probe dialog-cancel; probe wait-no-about 5000
fi
reg add "$USERDEF_KEY" /v UserDefineFilePath /d "$(winepath -w "$BIN/ud_target.exe" 2>/dev/null)" /f
reg add "$USERDEF_KEY" /v UserDefineFileName /d ud_target.exe /f
rm -f "$BIN/ud_target.txt"
w "$BIN/emuctl.exe" press userdefined >/dev/null
if until_true 10 test -s "$BIN/ud_target.txt"; then report "user-defined key: started ud_target.exe in $(cat "$BIN/ud_target.txt")"
else report "user-defined key: the chosen program did not start"; fi
reg add "$USERDEF_KEY" /v UserDefineFilePath /d NONE /f

# A key the program does not handle: logged, nothing shown.
from=$(log_size)
w "$BIN/emuctl.exe" press 0x25 >/dev/null
until_true 5 sh -c "[ \$(stat -c %s '$LOGFILE') -gt $from ]"

# Exit from the tray menu: the firmware is told, the icon goes.
PID=$(probe pid)
pick_menu_item 2
probe wait-exit "$PID" 10000
report "after Exit: firmware Software=$(ec_get Software), power scheme $(active_scheme)"
VX_PID=

# What the tour's pictures said, as a screen reader heard them.
kill "$LISTEN_PID" 2>/dev/null
sed -n 's/^alert|[0-9-]*|\(.*\)|$/\1/p' "$HEARD" >"$DEMO/announcements.txt"
log "announcements ($DEMO/announcements.txt):"
sed 's/^/    /' "$DEMO/announcements.txt" >&2

# The activity log as written (time stamps in the Big5 code page) and as text.
cp "$LOGFILE" "$DEMO/activity-log.raw"
iconv -f BIG5 -t UTF-8 "$LOGFILE" | tr -d '\r' >"$DEMO/activity-log.txt"
log "activity log ($DEMO/activity-log.txt):"
sed 's/^/    /' "$DEMO/activity-log.txt" >&2
