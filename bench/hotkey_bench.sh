#!/usr/bin/env bash
# Runs the hotkey benchmark in a Wine session whose desktop is the virtual
# desktop "shell" (scripts/bench sets it up), with the command service in
# debug mode, ended afterwards:
#  - hotkey -> OSD visible: hotkey_bench.exe against the running Vorlix,
#    first with the firmware reporting states in its events (interface
#    version 17), then without (16: each press adds a service round trip);
#  - Vorlix's private memory once idle after start, after the first 20
#    hotkeys and after 1,000 (20 + the presses of the first run), the same
#    idle period each time.
# LOADER is the Wine loader of the build's bitness, so that the process
# started is the program itself and not a launcher in front of it.
# Usage: bench/hotkey_bench.sh BIN_DIR LOADER [PRESSES_WITHOUT_STATES]
set -uo pipefail
BIN=$1
LOADER=$2
PRESSES=${3:-300}

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; }
trap cleanup EXIT
source "$(dirname "$0")/memory_lib.sh"
w() { timeout --kill-after=10 "${TIMEOUT:-60}" wine "$@" 2>/dev/null | tr -d '\r'; }
probe() { w "$BIN/tray_probe.exe" "$@"; }

"$LOADER" "$BIN/Harrowd.exe" -debug >/dev/null 2>&1 &
pids+=($!)
probe wait-pipe 30000 || { echo "hotkey_bench: the command service does not answer"; exit 1; }
w "$BIN/emuctl.exe" reset >/dev/null

VX=
start_vorlix() { # interface version
  w "$BIN/emuctl.exe" set AP1 "$1" >/dev/null
  "$LOADER" "$BIN/Vorlix.exe" >/dev/null 2>&1 &
  VX=$!
  pids+=($VX)
  probe wait-window 30000 >/dev/null && probe wait-icon 10000 >/dev/null && probe wait-hidden 10000
}
stop_vorlix() {
  probe exit >/dev/null
  for _ in $(seq 100); do kill -0 "$VX" 2>/dev/null || break; sleep 0.1; done
  kill "$VX" 2>/dev/null
}

start_vorlix 17 || { echo "hotkey_bench: Vorlix did not start"; exit 1; }
sleep 3  # the idle period after start-up, not a synchronisation
after_start=$(private_total "$VX")
# The first presses load what every later one reuses (picture decoder,
# pipe client): memory after 20 of them shows what the rest add.
for _ in $(seq 20); do w "$BIN/emuctl.exe" press wireless >/dev/null; done
sleep 3
after_first=$(private_total "$VX")
TIMEOUT=600 w "$BIN/hotkey_bench.exe" 980 "states in the event" | grep -v '^Event occurred$'
sleep 3  # the same idle period
after_presses=$(private_total "$VX")
echo "Vorlix private memory: ${after_start} KiB after start, ${after_first} KiB after the first 20 hotkeys, ${after_presses} KiB after 1,000 hotkeys"
w "$BIN/tray_bench.exe" row "Vorlix private memory after 1,000 hotkeys" KiB "Vorlix private memory after start" \
  "$after_presses" "$after_start"
stop_vorlix

start_vorlix 16 || { echo "hotkey_bench: Vorlix did not start"; exit 1; }
TIMEOUT=600 w "$BIN/hotkey_bench.exe" "$PRESSES" "states through the service" | grep -v '^Event occurred$'
stop_vorlix
w "$BIN/emuctl.exe" reset >/dev/null
exit 0
