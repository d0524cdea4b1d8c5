#!/usr/bin/env bash
# End-to-end tests of the level bars in a Wine virtual desktop: brightness
# changes made by the emulated display, volume notifications, and volume keys
# injected with xdotool through the real hook library reach the program's main
# window (hosted by osd_host.exe) and show the bar. A bar shown by an event is
# compared on the screen with the same bar requested directly.
# Runs inside a Wine session (scripts/with-wine). Usage: levels_e2e.sh BIN_DIR
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d /tmp/levels-e2e.XXXXXX)
E2E_NAME=levels_e2e
source "$(dirname "$0")/e2e_lib.sh"
osd() { w "$BIN/osd_probe.exe" "$@"; }
emu() { w "$BIN/emuctl.exe" "$@" >/dev/null; }

HOST_PID=
cleanup() {
  [ -n "$HOST_PID" ] && probe exit >/dev/null
  for pid in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
  done
  emu reset
  rm -rf "$WORK"
}
trap cleanup EXIT

emu reset

wine "$BIN/osd_host.exe" >/dev/null 2>&1 &
HOST_PID=$!
started_pids+=($HOST_PID)
if probe wait-window 30000 >/dev/null && probe wait-hidden 10000; then ok "host with the program's main window started"; else
  fail "host with the program's main window started"; echo "$passed passed, $failed failed"; exit 1; fi

bar_rect() { osd windows | awk '$3 > 0 && $4 > 0' | head -1; }
bar_up() { [ -n "$(bar_rect)" ]; }
none_up() { ! bar_up; }
wait_none() { until_true 10 none_up; }
# After something that should show the bar: it is up, and the screen shows
# what a direct request for level/code/maximum shows.
expect_bar() { # name level code maximum
  local rect
  if ! until_true 5 bar_up; then fail "$1: bar shown"; return; fi
  sleep 0.3; rect=$(bar_rect); shot event.png
  osd show 5 "$2" "$3" "$4"; sleep 0.3; shot wanted.png
  expect_eq "$1: bar shown as level $2 of $4, code $3" "$(region_diff event.png wanted.png "$rect")" 0
}
expect_nothing() { # name
  sleep 1.5
  if none_up; then ok "$1: nothing shown"; else fail "$1: nothing shown" "$(bar_rect)"; fi
}

# ---- brightness of the display, changed by the brightness keys
while read -r percent step; do
  wait_none
  emu brightness "$percent"
  expect_bar "brightness $percent" "$step" 6 8
done <<EOF2
100 8
55 3
20 0
0 0
EOF2
# The comparison tells bars apart: step 3 is not step 4.
wait_none; emu brightness 55; until_true 5 bar_up; sleep 0.3; rect=$(bar_rect); shot event.png
osd show 5 4 6 8; sleep 0.3; shot wanted.png
if [ "$(region_diff event.png wanted.png "$rect")" != 0 ]; then ok "steps 3 and 4 differ on the screen"; else fail "steps 3 and 4 differ on the screen"; fi

# ---- after resume the first change shows nothing, the second shows
wait_none
probe resume
emu brightness 70
expect_nothing "first brightness change after resume"
emu brightness 80
expect_bar "second brightness change after resume" 6 6 8

# ---- a full-screen program suppresses without using up the skip flag
wait_none
probe resume
wine "$BIN/osd_probe.exe" fullscreen 4000 >"$WORK/fullscreen.out" 2>/dev/null &
fs_pid=$!
started_pids+=($fs_pid)
if until_true 10 grep -q ready "$WORK/fullscreen.out"; then
  emu brightness 30
  expect_nothing "brightness change under a full-screen window"
else
  fail "full-screen window came to the foreground"
fi
for _ in $(seq 100); do kill -0 "$fs_pid" 2>/dev/null || break; sleep 0.1; done
emu brightness 40
expect_nothing "the skip flag still swallows the next change"
emu brightness 50
expect_bar "then changes show again" 3 6 8

# ---- volume notifications (WM_VOLUME_NOTIFY 0x046B: wParam muted, lParam level)
# The resumes above left the volume suppression on: the first notification
# is swallowed and starts timer 908, which ends it 3 s later.
wait_none
start=$SECONDS
osd post 0x046B 0 49
expect_nothing "volume change while a resume's suppression lasts"
wait_seconds_since() { while [ $((SECONDS - $2)) -lt "$1" ]; do sleep 0.2; done; }
wait_seconds_since 4 $start
osd post 0x046B 0 50
expect_bar "volume 50" 50 9 100
wait_none
osd post 0x046B 1 35
expect_bar "muted at 35" 35 8 100
# A change by another program reaches the bar through the volume watcher.
wait_none
emu volume 0.45
expect_bar "volume set by another program" 45 9 100
wait_none
emu mute 1
expect_bar "muted by another program" 45 8 100
wait_none
probe resume
start=$SECONDS
osd post 0x046B 0 60
expect_nothing "first volume change after resume"
osd post 0x046B 0 61
sleep 0.5
if none_up; then ok "a later change within 3 s: nothing shown"; else fail "a later change within 3 s: nothing shown"; fi
# Timer 908 ends the suppression 3 s after the first swallowed change, not
# restarted by the second.
wait_seconds_since 4 $start
osd post 0x046B 0 62
expect_bar "the first change after the suppression" 62 9 100
# A volume key while suppressed shows the last volume.
wait_none
probe resume
start=$SECONDS
osd post 0x046B 0 63
xdotool key XF86AudioRaiseVolume
expect_bar "volume key while suppressed" 63 9 100
wait_none
wait_seconds_since 4 $start

# ---- volume keys through VXKBHook.dll (the bar comes from the hook only at the ends)
wait_none
xdotool key XF86AudioRaiseVolume
expect_nothing "volume key at 63 without suppression"
osd post 0x046B 0 100
until_true 5 bar_up; wait_none
xdotool key XF86AudioRaiseVolume
expect_bar "volume up at 100" 100 9 100
wait_none
osd post 0x046B 1 0
until_true 5 bar_up; wait_none
xdotool key XF86AudioLowerVolume
expect_bar "volume down muted at 0" 0 8 100
wait_none
osd post KB_HOOK_MESSAGE 0 0x00200001
expect_nothing "a keystroke with scan code 0x20"

if [ -n "${LEVELS_E2E_SHOTS:-}" ]; then mkdir -p "$LEVELS_E2E_SHOTS" && cp "$WORK"/*.png "$LEVELS_E2E_SHOTS/"; fi
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
