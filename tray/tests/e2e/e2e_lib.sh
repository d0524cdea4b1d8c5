# Shared helpers of the tray program's end-to-end scripts. Source it after
# setting BIN (the build's program folder) and E2E_NAME (the log prefix).
passed=0
failed=0
started_pids=()

log() { printf '[%s] %s\n' "$E2E_NAME" "$*"; }
ok() { passed=$((passed + 1)); log "ok: $1"; }
fail() { failed=$((failed + 1)); log "FAILED: $1${2:+ ($2)}"; }
expect_eq() { # name actual expected
  if [ "$2" == "$3" ]; then ok "$1"; else fail "$1" "got [$2] want [$3]"; fi
}

# A Wine program with a time limit, its output without carriage returns.
w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
until_true() { # seconds command...: polls until the command succeeds
  local end=$((SECONDS + $1)); shift
  while ! "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
}
