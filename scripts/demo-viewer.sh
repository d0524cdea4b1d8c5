#!/usr/bin/env bash
# Demo of the system information viewer, run inside a Wine session
# (scripts/demo calls it through scripts/with-wine): Quillon.exe opened with
# each brand option and under a Korean user interface, then with a notebook
# battery presented to Wine (emulator/battery/with-battery.sh) discharging
# and charging; each dialog's screenshot lands in $DEMO/viewer-*.png and the
# dialog is closed through its OK button. The viewer that the suite's MSI
# installed runs (the notebook's own build, 32-bit, scripts/demo-install.sh),
# first through its start-menu shortcut. Everything started here is ended here.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
E2E_NAME=demo-viewer
source "$ROOT/tray/tests/e2e/e2e_lib.sh"
pids=()
cleanup() {
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill "$p" 2>/dev/null
  done
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

# show NAME RUNNER...: opens the installed viewer with the options in $OPTIONS
# through RUNNER (wine, or a command ending in one), saves its screenshot as
# viewer-NAME.png, closes it. "show NAME shortcut LINK" opens it through a
# shortcut instead, as the shell does.
show() { # name runner...
  local name=$1; shift
  if [ "$1" == shortcut ]; then
    # start.exe opens the link and waits for the viewer.
    wine start /wait "$2" >/dev/null 2>&1 &
  else
    "$@" "$SUITE_DIR\\Quillon.exe" $OPTIONS >/dev/null 2>&1 &
  fi
  pids+=($!)
  local rect
  if ! rect=$(w "$BIN/viewer_probe.exe" wait 60000); then
    log "the viewer did not open for $name"; return 1
  fi
  read -r left top width height <<<"$rect"
  sleep 2.5  # one refresh of the dialog (every 2 s) before the picture, not a synchronisation
  import -window root "$DEMO/viewer-desktop.png"
  convert "$DEMO/viewer-desktop.png" -crop "$((width + 32))x$((height + 32))+$((left - 16))+$((top - 16))" +repage \
    "$DEMO/viewer-$name.png"
  w "$BIN/viewer_probe.exe" close 15000 || log "the viewer did not close for $name"
  log "viewer-$name.png"
}

w "$BIN/emuctl.exe" setting ECVersion 0x2A01 >/dev/null
# The start-menu shortcut, opened as the shell opens it: the brand it gives.
menu=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' "$DEMO/install-log.txt" 2>/dev/null | tr -d '\r')
show start-menu shortcut "${menu}Corvane\\System Information.lnk"
korean=$ROOT/scripts/wine-run-korean  # as on a Korean Windows
OPTIONS=/COMP_QN show qn wine
OPTIONS=/COMP_ZEL show zel wine
OPTIONS=/COMP_QN show qn-korean "$korean"
battery=$ROOT/emulator/battery/with-battery.sh
if "$battery" 50 Discharging true; then
  OPTIONS=/COMP_QN show qn-battery-40 "$battery" 40 Discharging wine
  OPTIONS=/COMP_ZEL show zel-battery-8-charging "$battery" 8 Charging wine
  OPTIONS=/COMP_QN show qn-korean-battery-4 "$battery" 4 Discharging "$korean"
else
  log "no battery can be presented here (mount namespaces need root); the shots above show Wine's report: no battery"
fi
rm -f "$DEMO/viewer-desktop.png"
