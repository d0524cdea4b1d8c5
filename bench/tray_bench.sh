#!/usr/bin/env bash
# Runs the tray benchmark in a Wine session whose desktop is the virtual
# desktop "shell" with a taskbar (scripts/bench sets it up), with the
# command service in debug mode, ended afterwards:
#  - start to icon: tray_bench.exe, Vorlix against the bare icon program
#    (which opens the same WMI connection and event subscription);
#  - memory once idle: each program started ROUNDS_MEM times, interleaved,
#    given 3 s after its icon, then its private memory read from the kernel
#    (/proc/PID/smaps of the Wine process; Wine's GetProcessMemoryInfo
#    reports no private usage for other processes), in total and by module
#    (the mapping's file, or the image whose range holds it; other
#    anonymous memory counts as heap).
# LOADER is the Wine loader of the build's bitness, so that the process
# started is the program itself and not a launcher in front of it.
# Prints the programs' own lines, result rows ("@row", see bench_report.h)
# and the breakdown as "@mem<TAB>program<TAB>module<TAB>KiB" lines.
# Usage: bench/tray_bench.sh BIN_DIR LOADER [ROUNDS] [ROUNDS_MEM]
set -uo pipefail
BIN=$1
LOADER=$2
ROUNDS=${3:-10}
ROUNDS_MEM=${4:-3}

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; }
trap cleanup EXIT
bench() { timeout --kill-after=10 "${2:-60}" wine "$BIN/tray_bench.exe" $1 2>/dev/null | tr -d '\r'; }

"$LOADER" "$BIN/Harrowd.exe" -debug >/dev/null 2>&1 &
pids+=($!)
timeout --kill-after=10 600 wine "$BIN/tray_bench.exe" "$ROUNDS" 2>/dev/null | tr -d '\r'

source "$(dirname "$0")/memory_lib.sh"
# Starts the program, waits for its icon and the idle period, reads its
# memory into $WORK/NAME.N, ends it through its Exit command (by its id
# when that fails).
idle_memory() { # name exe class title n
  "$LOADER" "$BIN/$2" >/dev/null 2>&1 &
  local pid=$!
  pids+=($pid)
  if bench "wait-icon $3 $4 30000" >/dev/null; then
    sleep 3  # the idle period after start-up, not a synchronisation
    private_by_module "$pid" "$2" >"$WORK/$1.$5"
  fi
  bench "close $3 $4 10000" >/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
}
WORK=$(mktemp -d /tmp/tray-bench.XXXXXX)
trap 'cleanup; rm -rf "$WORK"' EXIT
for n in $(seq "$ROUNDS_MEM"); do
  idle_memory vorlix Vorlix.exe '#32770' Corvane "$n"
  idle_memory bare tray_bare_icon.exe TrayBareIcon TrayBareIcon "$n"
done
totals() { cat "$WORK/$1".* 2>/dev/null | awk '$1 == "total" { printf "%s ", $2 }'; }
echo "idle private memory, kB per run: Vorlix $(totals vorlix); bare icon program $(totals bare)"
wine "$BIN/tray_bench.exe" row "Vorlix idle private memory" KiB "bare icon program (WMI + subscription) idle" \
  "$(totals vorlix)" "$(totals bare)" 2>/dev/null | tr -d '\r'
# The breakdown of the last run of each.
for name in vorlix bare; do
  [ -f "$WORK/$name.$ROUNDS_MEM" ] && awk -v p="$name" '{ printf "@mem\t%s\t%s\t%s\n", p, $1, $2 }' "$WORK/$name.$ROUNDS_MEM"
done
exit 0
