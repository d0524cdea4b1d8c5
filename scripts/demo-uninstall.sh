#!/usr/bin/env bash
# Last demo step, run inside a Wine session: the suite is removed with the
# package it was installed from, and what is left is listed in
# $OUT/demo/uninstall.txt (users' settings and the activity log stay).
source "$(dirname "$0")/lib.sh"
set +e
DEMO=$OUT/demo
REPORT=$DEMO/uninstall.txt
: >"$REPORT"
say() { printf '%s\n' "$*" | tee -a "$REPORT"; }
left() { # what, test command...
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then say "still there: $what"; else say "gone: $what"; fi
}

msi=$(ls "$PACKAGE_DIR"/Corvane-*-x86.msi 2>/dev/null | head -n1)
[ -n "$msi" ] || { say "no x86 package in $PACKAGE_DIR"; exit 1; }
say "> msiexec /x $(basename "$msi") /qn /l*v uninstall-log.txt"
timeout --kill-after=10 300 /usr/lib/wine/wine64 msiexec /x "$(winepath -w "$msi")" /qn /l*v "$(winepath -w "$DEMO/uninstall-log.txt")"
say "exit code $?"
left "$SUITE_DIR" test -e "$(winepath -u "$SUITE_DIR")"
left 'C:\windows\ZELECO' test -e "$WINEPREFIX/drive_c/windows/ZELECO"
left 'the service "Zelmont CVN"' timeout 60 wine reg query 'HKLM\System\CurrentControlSet\Services\Zelmont CVN'
left 'the Run entry "Vorlix"' timeout 60 wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v Vorlix /reg:32
left 'HKLM\SOFTWARE\ZEL' timeout 60 wine reg query 'HKLM\SOFTWARE\ZEL' /reg:32
say "users' settings, which an uninstall leaves as they are: HKCU\Software\ZEL\Corvane is" \
  "$(timeout 60 wine reg query 'HKCU\Software\ZEL\Corvane' >/dev/null 2>&1 && echo present || echo absent)"
# The session puts the ECO scheme file back for whatever runs after the demo.
install_eco_scheme_file
