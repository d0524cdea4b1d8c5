#!/usr/bin/env bash
# End-to-end tests of what the on-screen display says to a screen reader:
# the program's main window (hosted by osd_host.exe) shows pictures through
# its real handlers, and a listener process (a11y_listen.exe, of the other
# bitness when that build is given) hooks the accessibility events from
# outside as a screen reader does and reads each alert's role and name.
# Runs inside a Wine session (scripts/with-wine).
# Usage: announce_e2e.sh BIN_DIR [LISTENER_BIN_DIR]
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C.UTF-8
BIN=$(cd "$1" && pwd)
LISTENER_BIN=${2:-$BIN}
[ -f "$LISTENER_BIN/a11y_listen.exe" ] || LISTENER_BIN=$BIN
WORK=$(mktemp -d /tmp/announce-e2e.XXXXXX)
E2E_NAME=announce_e2e
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
source "$(dirname "$0")/e2e_lib.sh"

trap end_started EXIT

# Messages of the main window (WM_USER + 107 and + 109).
WM_VOLUME_NOTIFY=1131
WM_BRIGHTNESS_NOTIFY=1133
ROLE_ALERT=8

HEARD=$WORK/heard.txt
LISTEN_PID=
start_listener() {
  : >"$HEARD"
  wine "$LISTENER_BIN/a11y_listen.exe" listen "$(winepath -w "$HEARD")" 300 >"$WORK/listen.out" 2>&1 &
  LISTEN_PID=$!
  started_pids+=($LISTEN_PID)
  until_true 30 grep -qs ready "$WORK/listen.out"
}
stop_listener() { [ -n "$LISTEN_PID" ] && kill "$LISTEN_PID" 2>/dev/null; LISTEN_PID=; }

heard_count() { wc -l <"$HEARD"; }
heard_since() { tail -n +$(($1 + 1)) "$HEARD"; }
# Waits until a line was heard after the first N lines; prints those lines.
wait_heard() { # N seconds
  until_true "$2" sh -c "[ \$(wc -l <'$HEARD') -gt $1 ]"
  sleep 0.3  # an announcement heard twice would show up here
  heard_since "$1"
}
# One request, one announcement with exactly this text, as an alert.
expect_said() { # text request...
  local text=$1 before got; shift
  before=$(heard_count)
  "$@" >/dev/null
  got=$(wait_heard "$before" 10)
  expect_eq "said \"$text\"" "$got" "alert|$ROLE_ALERT|$text|"
}

log "listener: $(pe_machine "$LISTENER_BIN/a11y_listen.exe"), program: $(pe_machine "$BIN/osd_host.exe")"
start_listener || { fail "listener hooked"; echo "$passed passed, $failed failed"; exit 1; }
if start_host "$BIN"; then ok "host with the program's main window started"; else
  fail "host with the program's main window started"; echo "$passed passed, $failed failed"; exit 1; fi

# ---- every picture with its text (English)
while IFS='|' read -r kind code text; do
  expect_said "$text" osd show "$kind" -1 "$code" 0
done <<'EOF2'
1|1|Wireless on
1|2|Wireless off
4|3|Bluetooth on
1|4|Bluetooth off
1|5|Touchpad enabled
1|6|Touchpad disabled
1|7|Webcam on
1|8|Webcam off
1|11|ECO on
1|12|ECO off
1|15|3G on
1|16|3G off
3|7|Turbo on
3|8|Turbo off
3|9|Theater mode on
3|10|Theater mode off
EOF2
expect_said "Volume 40 %" osd post $WM_VOLUME_NOTIFY 0 40
expect_said "Muted" osd post $WM_VOLUME_NOTIFY 1 40
expect_said "Brightness 60 %" osd post $WM_BRIGHTNESS_NOTIFY 60 0

# ---- a held key: ten levels 100 ms apart, one announcement of the last
before=$(heard_count)
osd post $WM_VOLUME_NOTIFY 0 42 10 2
expect_eq "held volume key: only the level that stands is said" "$(wait_heard "$before" 10)" "alert|$ROLE_ALERT|Volume 60 %|"

# A "nothing said" check: the request under test, then at once a marker
# picture in the centre window; what the request would have said was due
# first, so the first line heard must be the marker's.
expect_silent() { # name request...
  local name=$1 before; shift
  before=$(heard_count)
  "$@"
  expect_said "Turbo on" osd show 3 -1 7 0 >/dev/null
  expect_eq "$name" "$(heard_since "$before" | head -1)" "alert|$ROLE_ALERT|Turbo on|"
}
hide_at_once() { osd show 1 -1 7 0 && osd hide 1; }
expect_silent "hidden picture: nothing said" hide_at_once
expect_silent "no picture for the code: nothing said" osd show 1 -1 9 0

# ---- a full-screen program in front: suppressed pictures say nothing
wine "$BIN/osd_probe.exe" fullscreen 3000 >"$WORK/fullscreen.out" 2>/dev/null &
fs_pid=$!
started_pids+=($fs_pid)
before=$(heard_count)
if until_true 10 grep -q ready "$WORK/fullscreen.out"; then
  osd show 1 -1 1 0
  osd post $WM_VOLUME_NOTIFY 0 70
  for _ in $(seq 150); do kill -0 "$fs_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$fs_pid" 2>/dev/null
  expect_said "Webcam on" osd show 1 -1 7 0
  expect_eq "full-screen program: nothing said before the next picture" "$(heard_since "$before" | head -1)" "alert|$ROLE_ALERT|Webcam on|"
else
  fail "full-screen window came to the foreground"
fi
stop_host

# ---- a picture file missing beside the program: nothing shown, nothing said
COPY=$WORK/program
mkdir -p "$COPY"
cp "$BIN/osd_host.exe" "$BIN/Brindle.dll" "$COPY/"
cp -r "$BIN/Image" "$BIN/StringTable" "$COPY/"
rm "$COPY/Image/ICON/Wireless_Enable.png"
if start_host "$COPY"; then
  expect_silent "missing picture: nothing said" osd show 1 -1 1 0
else
  fail "host started from a folder with a picture missing"
fi
stop_host

# ---- Korean texts from the Korean section of the language table
if start_host "$BIN" "$ROOT/scripts/wine-run-korean"; then
  expect_said "무선 켜짐" osd show 1 -1 1 0
  expect_said "극장 모드 꺼짐" osd show 3 -1 10 0
  expect_said "볼륨 35%" osd post $WM_VOLUME_NOTIFY 0 35
  expect_said "밝기 80%" osd post $WM_BRIGHTNESS_NOTIFY 80 0
else
  fail "host started as on a Korean Windows"
fi
stop_host
stop_listener

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
