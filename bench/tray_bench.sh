#!/usr/bin/env bash
# Runs the tray benchmark in a Wine session: a virtual desktop with a taskbar
# and the command service in debug mode, both ended afterwards.
#  - start to icon: tray_bench.exe, Vorlix against a bare icon program;
#  - memory once idle: each program started, given 3 s after its icon, then
#    its private memory read from the kernel (Wine's GetProcessMemoryInfo
#    reports no private usage for other processes). Both figures include
#    Wine's own share of every process, measured the same way for both.
# Usage: scripts/with-wine bench/tray_bench.sh [BIN_DIR] [ROUNDS]
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:-${BUILD_ROOT:-$ROOT/build}/win64/bin}
ROUNDS=${2:-10}
DESKTOP_KEY='HKCU\Software\Wine\Explorer'

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  timeout 60 wine reg delete "$DESKTOP_KEY" /v Desktop /f >/dev/null 2>&1
}
trap cleanup EXIT
timeout 60 wine reg add "$DESKTOP_KEY" /v Desktop /d shell /f >/dev/null 2>&1
timeout 60 wine reg add "$DESKTOP_KEY\\Desktops" /v shell /d 1280x800 /f >/dev/null 2>&1
wine "$BIN/Harrowd.exe" -debug >/dev/null 2>&1 &
pids+=($!)
timeout --kill-after=10 600 wine "$BIN/tray_bench.exe" "$ROUNDS" 2>/dev/null | tr -d '\r'

private_kb() { # unix pid: private (clean + dirty) memory in kB
  awk '/^Private_(Clean|Dirty):/ {s += $2} END {print s + 0}' "/proc/$1/smaps_rollup" 2>/dev/null
}
rss_kb() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null; }
idle_memory() { # exe class title -> "private_kb rss_kb"
  wine "$BIN/$1" >/dev/null 2>&1 &
  local pid=$!
  pids+=($pid)
  if timeout 60 wine "$BIN/tray_bench.exe" wait-icon "$2" "$3" 30000 >/dev/null 2>&1; then
    sleep 3  # idle period after start-up, not a synchronisation
    echo "$(private_kb $pid) $(rss_kb $pid)"
  else
    echo "0 0"
  fi
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
}
read -r vp vr <<<"$(idle_memory Vorlix.exe '#32770' Corvane)"
read -r bp br <<<"$(idle_memory tray_bare_icon.exe TrayBareIcon TrayBareIcon)"
awk -v vp="$vp" -v vr="$vr" -v bp="$bp" -v br="$br" 'BEGIN {
  printf "tray private memory once idle: Vorlix %.2f MB (resident %.2f MB), bare icon program %.2f MB (resident %.2f MB), ratio %.2f, Vorlix above the floor %.2f MB\n",
    vp / 1024, vr / 1024, bp / 1024, br / 1024, (bp > 0 ? vp / bp : 0), (vp - bp) / 1024 }'
