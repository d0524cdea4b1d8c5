#!/usr/bin/env bash
# Demo of the viewer's battery gauge, run inside a Wine session (scripts/demo
# calls it through scripts/with-wine): the gauge drawn for a range of battery
# states (charging, normal, low, critical, unknown, full, empty) by the test
# build's gauge_gallery.exe of the notebook's 32-bit build, in English and,
# under a Korean system locale, in Korean: $OUT/demo/gauge-STATE-en.png and
# gauge-STATE-ko.png.
source "$(dirname "$0")/lib.sh"
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
dir=$(winepath -w "$DEMO")
bounded 120 wine "$BIN/gauge_gallery.exe" "$dir" en | tr -d '\r'
( korean_locale && bounded 120 wine "$BIN/gauge_gallery.exe" "$dir" ko | tr -d '\r' )
