#!/usr/bin/env bash
# Runs the volume benchmark in a Wine session: the tray program in a virtual
# desktop, volume_bench.exe beside it, the program ended by its own id.
# Usage: scripts/with-wine bench/volume_bench.sh [BIN_DIR] [ROUNDS]
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:-${BUILD_ROOT:-$ROOT/build}/win64/bin}
ROUNDS=${2:-100}
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
}
trap cleanup EXIT
timeout 60 wine "$BIN/emuctl.exe" reset >/dev/null 2>&1
wine "$BIN/Vorlix.exe" >/dev/null 2>&1 &
pid=$!
timeout 60 wine "$BIN/tray_probe.exe" wait-hidden 30000 >/dev/null 2>&1 || { echo "volume_bench: Vorlix did not start"; exit 1; }
timeout --kill-after=10 600 wine "$BIN/volume_bench.exe" "$ROUNDS" 2>/dev/null | tr -d '\r'
timeout 30 wine "$BIN/tray_probe.exe" exit >/dev/null 2>&1
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
