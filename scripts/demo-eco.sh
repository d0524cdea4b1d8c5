#!/usr/bin/env bash
# Demo of the ECO power modes and the user-defined key, run inside a Wine
# session (scripts/demo calls it through scripts/with-wine): the tray
# program's main window (hosted by the test build's action_host.exe, which
# lets a script make the calls the hotkeys will make) switches ECO on and
# off while the active power scheme is shown before, during and after; then
# the user-defined key opens its dialog (screenshot $OUT/demo/userdefine.png),
# a program is chosen in it and the next press starts that program. The
# notebook's own build, 32-bit, runs. Everything started here is ended here.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
USERDEF_KEY='HKCU\Software\ZEL\Corvane\User Define Key'
pids=()

w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
act() { w "$BIN/action_probe.exe" "$@"; }
active() { w "$BIN/emuctl.exe" power active; }
cleanup() {
  probe exit >/dev/null 2>&1
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill "$p" 2>/dev/null
  done
  timeout 60 wine reg delete "$USERDEF_KEY" /f >/dev/null 2>&1
  rm -f "$BIN/ud_target.txt"
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT
until_true() { # seconds command...
  local end=$((SECONDS + $1)); shift
  while ! "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.2; done
}
# The active scheme differs from the given text.
changed_from() { [ "$(active)" != "$1" ]; }

timeout 60 wine reg delete "$USERDEF_KEY" /f >/dev/null 2>&1
rm -f "$BIN/ud_target.txt"
w "$BIN/emuctl.exe" power activate high >/dev/null

wine "$BIN/action_host.exe" >/dev/null 2>&1 &
pids+=($!)
if ! probe wait-window 30000 >/dev/null || ! probe wait-hidden 10000; then
  log "demo-eco: the main window did not start"; exit 1
fi

{
  echo "before ECO on:  $(active)"
  before=$(active)
  act eco-on
  until_true 10 changed_from "$before"
  echo "while ECO is on: $(active)"
  during=$(active)
  act eco-off
  until_true 10 changed_from "$during"
  echo "after ECO off:  $(active)"
  echo "schemes left:"
  w "$BIN/emuctl.exe" power list
} | tee "$DEMO/eco.txt" | while read -r line; do log "demo-eco: $line"; done

# The user-defined key with nothing chosen opens its dialog.
act user-key
if rect=$(act wait-dialog 15000); then
  read -r left top width height <<<"$rect"
  import -window root "$DEMO/userdefine-desktop.png"
  convert "$DEMO/userdefine-desktop.png" -crop "$((width + 32))x$((height + 32))+$((left - 16))+$((top - 16))" +repage "$DEMO/userdefine.png"
  rm -f "$DEMO/userdefine-desktop.png"
  log "demo-eco: user-defined key dialog at $rect"
  target=$(winepath -w "$BIN/ud_target.exe" 2>/dev/null | tr -d '\r')
  if chosen=$(act choose "$target"); then
    log "demo-eco: chose $chosen"
    act user-key
    if until_true 15 test -s "$BIN/ud_target.txt"; then
      log "demo-eco: the hotkey started $chosen in $(cat "$BIN/ud_target.txt")"
    else
      log "demo-eco: the chosen program did not start"
    fi
  else
    log "demo-eco: choosing a program failed"
  fi
else
  log "demo-eco: the user-defined key dialog did not open"
fi
