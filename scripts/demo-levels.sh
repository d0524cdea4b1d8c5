#!/usr/bin/env bash
# Demo of the level bars, run inside a Wine session (scripts/demo calls it
# through scripts/with-wine): the tray program as the suite's MSI installed
# it (the notebook's 32-bit build, scripts/demo-install.sh) runs in a virtual
# desktop; the emulated notebook changes the volume (also
# muted) and the display brightness as another program and the brightness
# keys would, and a volume key is pressed; a screenshot of each level bar
# lands in $OUT/demo/levels-*.png. Everything started here is ended here.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
pid=

w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
emu() { w "$BIN/emuctl.exe" "$@" >/dev/null; }
cleanup() {
  probe exit >/dev/null 2>&1
  if [ -n "$pid" ]; then
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
  fi
  emu reset
}
trap cleanup EXIT

emu reset
wine "$SUITE_DIR\\Vorlix.exe" >/dev/null 2>&1 &
pid=$!
if ! probe wait-window 30000 >/dev/null || ! probe wait-hidden 10000; then
  log "demo-levels: the tray program did not start"; exit 1
fi

# The tray program's visible OSD window with an area: "left top width height".
visible() { w "$BIN/osd_probe.exe" windows | awk '$3 > 0 && $4 > 0 { print; exit }'; }
wait_gone() { local end=$((SECONDS + 10)); while [ -n "$(visible)" ] && [ $SECONDS -lt $end ]; do sleep 0.1; done; }
# Makes one change, waits for the bar, saves the screen around it.
step() { # name what... (emuctl arguments, or "key <xdotool key>")
  local name=$1; shift
  wait_gone
  if [ "$1" == key ]; then xdotool key "$2"; else emu "$@"; fi
  local end=$((SECONDS + 5)) rect=
  while [ -z "$rect" ] && [ $SECONDS -lt $end ]; do rect=$(visible); sleep 0.1; done
  if [ -z "$rect" ]; then log "demo-levels: $name: no level bar"; return; fi
  sleep 0.3
  local x y bw bh
  read -r x y bw bh <<<"$rect"
  import -window root -crop "$((bw + 40))x$((bh + 40))+$((x - 20))+$((y - 20))" +repage "$DEMO/levels-$name.png"
  log "demo-levels: $name: level bar at [$rect] -> levels-$name.png"
}
step volume-35 volume 0.35
step volume-80 volume 0.8
step volume-muted mute 1
step volume-unmuted mute 0
step volume-100 volume 1.0
step volume-key-at-100 key XF86AudioRaiseVolume
step brightness-100 brightness 100
step brightness-55 brightness 55
step brightness-20 brightness 20
