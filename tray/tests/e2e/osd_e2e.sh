#!/usr/bin/env bash
# End-to-end tests of the on-screen display in a Wine virtual desktop with a
# taskbar: the program's main window (hosted by osd_host.exe, which adds a
# request message) shows, places and hides the OSD windows; what is on the
# screen is read back from screenshots. Layered windows are drawn with their
# premultiplied colours here (no compositor), so a picture on the screen is
# compared with the picture flattened onto black.
# Runs inside a Wine session (scripts/with-wine). Usage: osd_e2e.sh BIN_DIR
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d /tmp/osd-e2e.XXXXXX)
E2E_NAME=osd_e2e
source "$(dirname "$0")/e2e_lib.sh"
now_ms() { date +%s%3N; }

trap end_started EXIT

W=1280
H=800


pixel() { convert "$WORK/$1" -crop "1x1+$2+$3" -depth 8 -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' info:; }
flat_pixel() { convert "$1" -background black -alpha remove -crop "1x1+$2+$3" -depth 8 -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' info:; }
near() { # "r g b" "r g b": each channel within 3
  local a b
  read -ra a <<<"$1"; read -ra b <<<"$2"
  for i in 0 1 2; do local d=$((a[i] - b[i])); [ ${d#-} -le 3 ] || return 1; done
}
wait_hidden_all() { until_true 10 none_listed; }

ICON=$BIN/Image/ICON
CENTER=$BIN/Image/Center
OEM=$BIN/Image/OEM

if start_host "$BIN"; then ok "host with the program's main window started"; else
  fail "host with the program's main window started"; echo "$passed passed, $failed failed"; exit 1; fi
T=$(osd taskbar)
[ "$T" == none ] && T=34
log "screen ${W}x${H}, taskbar thickness $T"
shot empty.png

# ---- each kind at its place with its picture's size and pixels
while read -r kind level code max picture; do
  read -r pw ph <<<"$(size_of "$picture")"
  rect=$(expected_rect "$kind" "$pw" "$ph")
  osd show "$kind" "$level" "$code" "$max" || fail "kind $kind request delivered"
  if until_true 5 listed "$rect"; then ok "kind $kind visible at [$rect]"; else fail "kind $kind visible at [$rect]" "$(osd windows | paste -sd,)"; fi
  shot "kind$kind.png"
  if [ "$kind" != 5 ]; then
    expect_eq "kind $kind shows its picture $(basename "$picture") on the screen" "$(picture_diff "kind$kind.png" "$rect" "$picture")" 0
  else
    # Brightness 1 of 8: fill 48, so the fill picture reaches x 96 + 48 - cap width.
    read -r cw _ <<<"$(size_of "$OEM/Bar-R.png")"
    read -r x y _ <<<"$rect"
    edge=$((96 + 48 - cw))
    if near "$(pixel kind5.png $((x + edge - 6)) $((y + 50)))" "$(flat_pixel "$OEM/M_Down.png" $((edge - 6)) 50)" &&
       near "$(pixel kind5.png $((x + edge + cw + 6)) $((y + 50)))" "$(flat_pixel "$OEM/M_Main.png" $((edge + cw + 6)) 50)"; then
      ok "level bar filled up to its edge, empty after the cap"
    else
      fail "level bar filled up to its edge, empty after the cap"
    fi
  fi
  osd hide "$kind"
  until_true 5 none_listed || fail "kind $kind hidden on request"
done <<EOF
1 -1 1 0 $ICON/Wireless_Enable.png
3 -1 7 0 $CENTER/Turbo_Enable.png
4 -1 3 0 $ICON/BlueTooth_Enable.png
5 1 6 8 $OEM/M_Main.png
EOF

# ---- two device icons side by side, each hidden 2 s after its own request
read -r pw ph <<<"$(size_of "$ICON/Wireless_Disable.png")"
rect1=$(expected_rect 1 "$pw" "$ph")
read -r pw4 ph4 <<<"$(size_of "$ICON/BlueTooth_Disable.png")"
rect4=$(expected_rect 4 "$pw4" "$ph4")
osd show 1 -1 2 0
t1=$(now_ms)
sleep 1
osd show 4 -1 4 0
t4=$(now_ms)
if until_true 5 listed "$rect1" && listed "$rect4"; then ok "kinds 1 and 4 visible together"; else fail "kinds 1 and 4 visible together" "$(osd windows | paste -sd,)"; fi
shot pair.png
read -r x1 _ <<<"$rect1"; read -r x4 _ w4 _ <<<"$rect4"
if [ $((x4 + w4)) -le "$x1" ]; then ok "kind 4 left of kind 1"; else fail "kind 4 left of kind 1" "[$rect4] [$rect1]"; fi
expect_eq "both pictures on the screen" "$(picture_diff pair.png "$rect1" "$ICON/Wireless_Disable.png") $(picture_diff pair.png "$rect4" "$ICON/BlueTooth_Disable.png")" "0 0"
until_true 10 sh -c "! wine '$BIN/osd_probe.exe' windows | tr -d '\r' | grep -qx '$rect1'"
gone1=$(( $(now_ms) - t1 ))
if listed "$rect4"; then ok "kind 4 still up when kind 1 is hidden"; else fail "kind 4 still up when kind 1 is hidden"; fi
until_true 10 sh -c "! wine '$BIN/osd_probe.exe' windows | tr -d '\r' | grep -qx '$rect4'"
gone4=$(( $(now_ms) - t4 ))
if [ $gone1 -ge 1900 ] && [ $gone1 -le 6000 ] && [ $gone4 -ge 1900 ] && [ $gone4 -le 6000 ]; then
  ok "each hidden about 2 s after its request (${gone1} ms, ${gone4} ms)"
else
  fail "each hidden about 2 s after its request" "${gone1} ms, ${gone4} ms"
fi

# ---- a burst of volume requests keeps the bar up until 2 s after the last
read -r pw ph <<<"$(size_of "$OEM/M_Main.png")"
rect5=$(expected_rect 5 "$pw" "$ph")
steady=1
for v in 10 20 30 40 50 60 70; do
  osd show 5 "$v" 9 100
  last=$(now_ms)
  listed "$rect5" || steady=0
  sleep 0.7
  listed "$rect5" || steady=0
done
if [ $steady -eq 1 ]; then ok "level bar stays up through a 5 s burst of requests"; else fail "level bar stays up through a 5 s burst of requests"; fi
until_true 10 sh -c "! wine '$BIN/osd_probe.exe' windows | tr -d '\r' | grep -qx '$rect5'"
gone=$(( $(now_ms) - last ))
if [ $gone -ge 1900 ] && [ $gone -le 6000 ]; then ok "level bar hidden 2 s after the last request (${gone} ms)"; else
  fail "level bar hidden 2 s after the last request" "${gone} ms"; fi

# ---- a full-screen program in the foreground suppresses a request
wine "$BIN/osd_probe.exe" fullscreen 8000 >"$WORK/fullscreen.out" 2>/dev/null &
fs_pid=$!
started_pids+=($fs_pid)
if until_true 10 grep -q ready "$WORK/fullscreen.out"; then
  osd show 1 -1 5 0
  osd show 5 50 9 100
  sleep 0.5
  shot fullscreen.png
  if none_listed; then ok "no OSD while a full-screen window is in front"; else fail "no OSD while a full-screen window is in front" "$(osd windows | paste -sd,)"; fi
else
  fail "full-screen window came to the foreground"
fi
for _ in $(seq 150); do kill -0 "$fs_pid" 2>/dev/null || break; sleep 0.1; done
kill "$fs_pid" 2>/dev/null
# Once it is gone, requests show again.
osd show 1 -1 5 0
read -r pw ph <<<"$(size_of "$ICON/TouchPad_Enable.png")"
if until_true 5 listed "$(expected_rect 1 "$pw" "$ph")"; then ok "requests show again after the full-screen window"; else
  fail "requests show again after the full-screen window"; fi
wait_hidden_all

# ---- a code without a picture replaces the last picture with nothing
read -r pw ph <<<"$(size_of "$ICON/WebCam_Enable.png")"
rect=$(expected_rect 1 "$pw" "$ph")
osd show 1 -1 7 0
until_true 5 listed "$rect" || fail "webcam picture shown first"
osd show 1 -1 9 0
sleep 0.5
shot unknown.png
if osd windows | grep -q ' 0 0$' && none_listed; then ok "unknown code: window shown without any area"; else fail "unknown code: window shown without any area" "$(osd windows | paste -sd,)"; fi
expect_eq "unknown code: nothing of the last picture on the screen" "$(region_diff unknown.png empty.png "$rect")" 0
wait_hidden_all
stop_host

# ---- a picture file missing beside the program shows nothing
COPY=$WORK/program
mkdir -p "$COPY"
cp "$BIN/osd_host.exe" "$BIN/Brindle.dll" "$COPY/"
cp -r "$BIN/Image" "$COPY/"
rm "$COPY/Image/ICON/Wireless_Enable.png"
start_host "$COPY" || fail "host started from a folder with a picture missing"
read -r pw ph <<<"$(size_of "$ICON/Wireless_Enable.png")"
rect=$(expected_rect 1 "$pw" "$ph")
osd show 1 -1 1 0
sleep 0.5
shot missing.png
if none_listed; then ok "missing picture: no visible OSD"; else fail "missing picture: no visible OSD" "$(osd windows | paste -sd,)"; fi
expect_eq "missing picture: the screen unchanged where it would be" "$(region_diff missing.png empty.png "$rect")" 0
osd show 1 -1 2 0
if until_true 5 listed "$rect"; then ok "a present picture of the same folder shows"; else fail "a present picture of the same folder shows"; fi
stop_host

if [ -n "${OSD_E2E_SHOTS:-}" ]; then mkdir -p "$OSD_E2E_SHOTS" && cp "$WORK"/*.png "$OSD_E2E_SHOTS/"; fi
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
