#!/usr/bin/env bash
# Demo of the command service Harrowd, run inside a Wine session (scripts/demo
# calls it through scripts/with-wine): the service that the suite's MSI
# installed and started (scripts/demo-install.sh) runs in the prefix's service
# manager; the commands the system itself sends go through the pipe client
# (zelcmd, built on ZEL_CallNamePipe) and their replies are printed, next to
# requests the system never sends; then the installed Harrowd stops the
# service and starts it again. Everything lands on standard output and in
# $OUT/demo/service.txt. The service is left running, as installed.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN64_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
REPORT=$DEMO/service.txt
: >"$REPORT"

w() { timeout --kill-after=5 60 wine "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
say() { printf '%s\n' "$*" | tee -a "$REPORT"; }
harrowd() { say "> Harrowd $*"; w "$SUITE_DIR\\Harrowd.exe" "$@" | tee -a "$REPORT"; }
# Sends one command string and prints it with its reply; the reply is kept in $REPLY.
send() {
  REPLY=$(w "$BIN/zelcmd.exe" "$1")
  local rc=$?
  [ $rc -eq 0 ] || REPLY="(no reply, exit code $rc: $REPLY)"
  say "$(printf '%-46s -> %s' "$1" "$REPLY")"
}
# Deadline loop: the service answers once it has created its pipe.
until_answers() {
  local _
  for _ in $(seq 1 100); do w "$BIN/zelcmd.exe" 'root\WMI:M:x' >/dev/null && return 0; sleep 0.2; done
  return 1
}
firmware() { say "  firmware now: $(w "$BIN/emuctl.exe" get | tr '\n' ' ')"; }
cleanup() {
  # Leaves the installed service running, whatever happened above.
  w "$SUITE_DIR\\Harrowd.exe" -start >/dev/null
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

say "== Command service Harrowd in the prefix's service manager, as installed"
say "$(timeout 60 wine sc query "Zelmont CVN" 2>&1 | tr -d '\r' | grep -E 'SERVICE_NAME|STATE')"
until_answers || { say "the service does not answer"; exit 1; }
firmware

say ""
say "== The tray program's commands, as it sends them"
send 'root\WMI:S:ZEL_Software:Software:0:1'            # start-up: the hotkey program runs
send 'root\WMI:Q:ZEL_AP:AP:1'                          # firmware interface version
send 'root\WMI:Q:ZEL_Device:Device:0'                  # wireless, Bluetooth, webcam, 3G bits
send 'root\WMI:Q:ZEL_System:System:0'                  # turbo bit
send 'root\WMI:Q:ZEL_System:System:1'                  # ECO, touchpad, theater bits
send 'root\WMI:Q:ZEL_System:System:1'                  # theater mode on: read, set 0x04, write
n=$(( ${REPLY//[^0-9]/} + 0 ))
send "root\\WMI:S:ZEL_System:System:1:$(( n | 0x04 ))"
say "  (the firmware turns ECO on: $(w "$BIN/emuctl.exe" set System1 5))"
send 'root\WMI:Q:ZEL_System:System:1'                  # ECO off: read, keep 0x1E, write
n=$(( ${REPLY//[^0-9]/} + 0 ))
send "root\\WMI:S:ZEL_System:System:1:$(( n & 0x1E ))"
send 'root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0'     # about box: BIOS signature
send 'root\WMI:S:ZEL_Software:Software:0:0'            # exit: the hotkey program leaves
firmware

say ""
say "== Requests the system never sends"
send 'root\WMI:Q:ZEL_Device:Device'                    # malformed: no instance
send 'root\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1'   # a write outside the firmware
send 'root\WMI:M:x'                                    # "M": the previous reply again

say ""
harrowd -stop
send 'root\WMI:Q:ZEL_Device:Device:0'                  # no service: no reply
harrowd -start
until_answers
send 'root\WMI:Q:ZEL_Device:Device:0'                  # served again
