#!/usr/bin/env bash
# End-to-end: Windows' WMI service restarts under the running tray program
# (the emulated notebook's wmi-restart, once telling the subscription it
# ended, once silently), and the program hears the firmware's hotkeys again:
# once connections are taken again, the next press reaches the program and
# every press after it is handled exactly once (one activity-log group each,
# the OSD up), and a brightness change shows the level bar again.
# Runs inside a Wine session (scripts/with-wine).
# Usage: wmi_restart_e2e.sh BIN_DIR
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C
BIN=$(cd "$1" && pwd)
SERVICE_BIN=$BIN
WORK=$(mktemp -d /tmp/wmi-restart-e2e.XXXXXX)
E2E_NAME=wmi_restart_e2e
source "$(dirname "$0")/e2e_lib.sh"
CORVANE_KEY='HKCU\Software\ZEL\Corvane'

cleanup() {
  stop_vorlix >/dev/null 2>&1
  timeout --kill-after=5 60 wine "$SERVICE_BIN/Harrowd.exe" -remove >/dev/null 2>&1
  end_started
  reg delete "$CORVANE_KEY" /f
  rm -f "${LOGFILE:-/nonexistent}"
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

# Events handled so far: one log group (its header line) per event.
events() { local n; n=$(grep -ac 'CVN receive WMI Event value' "$LOGFILE" 2>/dev/null); echo "${n:-0}"; }
events_are() { [ "$(events)" -eq "$1" ]; }
events_above() { [ "$(events)" -gt "$1" ]; }
press() { w "$BIN/emuctl.exe" press webcam >/dev/null; }

# A visible OSD window of the webcam picture's size (its place is the OSD
# tests' concern; here it counts that the picture is up).
read -r pw ph <<<"$(size_of "$BIN/Image/ICON/WebCam_Enable.png")"
webcam_osd_up() { osd windows | awk -v w="$pw" -v h="$ph" '$3 == w && $4 == h { found = 1 } END { exit !found }'; }
any_osd() { ! none_listed; }

reg delete "$CORVANE_KEY" /f
LOGFILE=$(activity_log_file)
rm -f "$LOGFILE"
w "$BIN/emuctl.exe" reset >/dev/null
ec_set AP1 17  # states in the events
# The program asks the command service at start how the firmware reports
# states: the test's own service gives the same answers in every run,
# whatever service an earlier test may have left behind.
install_service || { echo "$passed passed, $failed failed"; exit 1; }
reg add "$CORVANE_KEY\\Log File" /v 'Log File Flag' /d TRUE /f
start_vorlix || { fail "Vorlix starts"; echo "$passed passed, $failed failed"; exit 1; }

for mode in status silent; do
  before=$(events)
  press
  if until_true 10 events_are $((before + 1)); then ok "$mode: a press reaches the program before the restart"; else
    fail "$mode: a press reaches the program before the restart" "events $(events), want $((before + 1))"; fi

  args="wmi-restart 1500"
  [ $mode == silent ] && args="$args silent"
  out=$(w "$BIN/emuctl.exe" $args)
  log "emuctl $args: $out"
  restarted=$SECONDS

  # Press until a press is heard again (each waits up to 2 s), within 60 s.
  heard=
  presses=0
  while [ $((SECONDS - restarted)) -lt 60 ]; do
    from=$(events)
    press
    presses=$((presses + 1))
    if until_true 2 events_above "$from"; then heard=$from; break; fi
  done
  if [ -n "$heard" ]; then
    ok "$mode: hotkeys are heard again ($((SECONDS - restarted)) s after the restart, $presses presses)"
  else
    fail "$mode: hotkeys are heard again" "no event within 60 s of the restart"
    continue
  fi

  # Then every press is handled exactly once: no event from the ended
  # subscription beside the new one's.
  base=$((heard + 1))
  for i in 1 2 3; do
    press
    until_true 10 events_are $((base + i)) || break
  done
  until_true 10 events_are $((base + 3))
  sleep 1  # any second delivery would have landed by now
  expect_eq "$mode: one event per press after the restart" "$(events)" $((base + 3))
  # A picture stays up 2 s after its press: look right after a press of its
  # own, not after the wait above.
  press
  if until_true 5 webcam_osd_up; then ok "$mode: the OSD shows the press"; else
    fail "$mode: the OSD shows the press" "want a ${pw}x$ph window, listed [$(osd windows | paste -sd';' -)]"; fi
  until_true 10 events_are $((base + 4))

  # The brightness keys are heard again too: the level bar comes up.
  until_true 10 none_listed
  bar=
  for percent in 30 40 50 60 70; do
    w "$BIN/emuctl.exe" brightness $percent >/dev/null
    if until_true 3 any_osd; then bar=$percent; break; fi
  done
  if [ -n "$bar" ]; then ok "$mode: a brightness change shows the level bar"; else
    fail "$mode: a brightness change shows the level bar"; fi
  until_true 10 none_listed
done

stop_vorlix
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
