#!/usr/bin/env bash
# Runs the viewer benchmark in a Wine session with the emulated notebook:
#  - start to dialog shown: viewer_bench.exe, Quillon /COMP_QN against the
#    dialog program that first does the same WMI work, and against the bare
#    dialog program;
#  - private memory of the running viewer: each program started ROUNDS_MEM
#    times, interleaved, given 3 s after its dialog showed (the viewer's
#    first refresh comes at 2 s), then its private memory read from the
#    kernel (Private_Clean + Private_Dirty of /proc/PID/smaps of the Wine
#    process; Wine's GetProcessMemoryInfo reports no private usage for other
#    processes), and ended through its OK button.
# LOADER is the Wine loader of the build's bitness, so that the process
# started is the program itself and not a launcher in front of it.
# Prints the programs' own lines and result rows ("@row", see bench_report.h).
# Usage: bench/viewer_bench.sh BIN_DIR LOADER [ROUNDS] [ROUNDS_MEM]
set -uo pipefail
source "$(dirname "$0")/memory_lib.sh"
BIN=$1
LOADER=$2
ROUNDS=${3:-10}
ROUNDS_MEM=${4:-3}

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; }
trap cleanup EXIT
probe() { timeout --kill-after=10 60 wine "$BIN/viewer_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

timeout --kill-after=10 900 wine "$BIN/viewer_bench.exe" "$ROUNDS" 2>/dev/null | tr -d '\r'

# Starts the program, waits for its dialog and the settling period, prints
# its private kB, ends it through its OK button (by its id when that fails).
private_kb() { # exe [title] -- args...
  local exe=$1 title=$2; shift 2
  "$LOADER" "$BIN/$exe" "$@" >/dev/null 2>&1 &
  local pid=$!
  pids+=($pid)
  if probe wait 60000 ${title:+"$title"} >/dev/null; then
    sleep 3  # the settling period after start-up, not a synchronisation
    private_total "$pid"
  fi
  probe close 15000 ${title:+"$title"} >/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
}
viewer=() bare=()
for _ in $(seq "$ROUNDS_MEM"); do
  viewer+=("$(private_kb Quillon.exe "" /COMP_QN)")
  bare+=("$(private_kb sysinfo_bare_dialog.exe "Bare Dialog")")
done
echo "running private memory, kB per run: Quillon ${viewer[*]}; bare dialog program ${bare[*]}"
# tray_bench.exe's row mode prints a result row from readings taken here.
timeout --kill-after=10 60 wine "$BIN/tray_bench.exe" row "Quillon running private memory" KiB \
  "bare dialog program running" "${viewer[*]}" "${bare[*]}" 2>/dev/null | tr -d '\r'
exit 0
