#!/usr/bin/env bash
# Demo of the on-screen display, run inside a Wine session (scripts/demo
# calls it through scripts/with-wine): the tray program's main window (hosted
# by the test build's osd_host.exe, which lets a script make the requests the
# hotkeys will make) shows every picture of every kind once in a virtual
# desktop with a taskbar; a screenshot of each lands in $OUT/demo/osd-*.png.
# The notebook's own build, 32-bit, runs. Everything started here is ended here.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
pids=()

w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
osd() { w "$BIN/osd_probe.exe" "$@"; }
cleanup() {
  probe exit >/dev/null 2>&1
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill "$p" 2>/dev/null
  done
}
trap cleanup EXIT


wine "$BIN/osd_host.exe" >/dev/null 2>&1 &
pids+=($!)
if ! probe wait-window 30000 >/dev/null || ! probe wait-hidden 10000; then
  log "demo-osd: the main window did not start"; exit 1
fi

# The first visible OSD window with an area: "left top width height".
visible() { osd windows | awk '$3 > 0 && $4 > 0 { print; exit }'; }
# Shows one request, saves the screen around the picture, hides it again.
show() { # name kind level code maximum
  local name=$1 rect="" left top width height end=$((SECONDS + 5))
  osd show "$2" "$3" "$4" "$5" || { log "demo-osd: $name: request not delivered"; return; }
  while [ -z "$rect" ] && [ $SECONDS -lt $end ]; do rect=$(visible); [ -n "$rect" ] || sleep 0.1; done
  if [ -z "$rect" ]; then log "demo-osd: $name: nothing visible"; return; fi
  read -r left top width height <<<"$rect"
  import -window root "$DEMO/osd-desktop.png"
  convert "$DEMO/osd-desktop.png" -crop "$((width + 32))x$((height + 32))+$((left - 16))+$((top - 16))" +repage "$DEMO/osd-$name.png"
  log "demo-osd: $name at $rect"
  osd hide "$2"
}

while read -r name kind level code maximum; do
  show "$name" "$kind" "$level" "$code" "$maximum"
done <<'LIST'
wireless-on 1 -1 1 0
wireless-off 1 -1 2 0
bluetooth-on 1 -1 3 0
bluetooth-off 1 -1 4 0
touchpad-on 1 -1 5 0
touchpad-off 1 -1 6 0
webcam-on 1 -1 7 0
webcam-off 1 -1 8 0
eco-on 1 -1 11 0
eco-off 1 -1 12 0
3g-on 1 -1 15 0
3g-off 1 -1 16 0
second-slot-bluetooth-on 4 -1 3 0
turbo-on 3 -1 7 0
turbo-off 3 -1 8 0
theater-on 3 -1 9 0
theater-off 3 -1 10 0
volume-0 5 0 9 100
volume-1 5 1 9 100
volume-50 5 50 9 100
volume-100 5 100 9 100
volume-muted-40 5 40 8 100
brightness-0 5 0 6 8
brightness-4 5 4 6 8
brightness-8 5 8 6 8
LIST

# Two device states at once, then the whole screen with a level bar.
osd show 1 -1 1 0; osd show 4 -1 3 0
sleep 0.3
import -window root "$DEMO/osd-desktop.png"
convert "$DEMO/osd-desktop.png" -crop 320x160+960+640 +repage "$DEMO/osd-pair.png"
osd show 5 70 9 100
sleep 0.3
import -window root "$DEMO/osd-desktop.png"
log "demo-osd: screenshots in $DEMO (osd-*.png, osd-desktop.png)"
