#!/usr/bin/env bash
# First demo step, run inside a Wine session (scripts/demo calls it through
# scripts/with-wine): the suite is installed from the notebook's own package,
# the x86 MSI of scripts/package, silently and logged, as an IT department
# would; what it installed is listed in $OUT/demo/install.txt, Windows
# Installer's log in $OUT/demo/install-log.txt. The later steps run the
# installed programs; scripts/demo-uninstall.sh removes the suite at the end.
source "$(dirname "$0")/lib.sh"
set +e
DEMO=$OUT/demo
mkdir -p "$DEMO"
REPORT=$DEMO/install.txt
: >"$REPORT"
say() { printf '%s\n' "$*" | tee -a "$REPORT"; }
w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

msi=$(ls "$PACKAGE_DIR"/Corvane-*-x86.msi 2>/dev/null | head -n1)
[ -n "$msi" ] || { say "no x86 package in $PACKAGE_DIR (scripts/package makes it)"; exit 1; }
say "> msiexec /i $(basename "$msi") /qn /l*v install-log.txt"
timeout --kill-after=10 300 /usr/lib/wine/wine64 msiexec /i "$(winepath -w "$msi")" /qn /l*v "$(winepath -w "$DEMO/install-log.txt")"
say "exit code $?"

say ""
say "== Files in $SUITE_DIR"
(cd "$(winepath -u "$SUITE_DIR")" && find . -type f | sort) | tee -a "$REPORT"
say "C:\\windows\\ZELECO: $(ls -l "$WINEPREFIX/drive_c/windows/ZELECO" 2>&1 | awk '{print $5 " bytes"}')"

say ""
say "== The service"
timeout 60 wine sc query "Zelmont CVN" 2>&1 | tr -d '\r' | tee -a "$REPORT"
timeout 60 wine reg query 'HKLM\System\CurrentControlSet\Services\Zelmont CVN' 2>&1 | tr -d '\r' | tee -a "$REPORT"
ready=
for _ in $(seq 1 100); do
  if w "$WIN64_BIN/zelcmd.exe" 'root\WMI:Q:ZEL_AP:AP:1' >/dev/null; then ready=1; break; fi
  sleep 0.2
done
say "firmware interface version through the installed service: $([ -n "$ready" ] && w "$WIN64_BIN/zelcmd.exe" 'root\WMI:Q:ZEL_AP:AP:1' || echo 'no answer')"

say ""
say "== Registry (the 32-bit view of HKLM\\SOFTWARE, which the 32-bit programs read)"
timeout 60 wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v Vorlix /reg:32 2>&1 | tr -d '\r' | tee -a "$REPORT"
timeout 60 wine reg query 'HKLM\SOFTWARE\ZEL\Corvane' /reg:32 2>&1 | tr -d '\r' | tee -a "$REPORT"

say ""
say "== Start menu"
menu=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' "$DEMO/install-log.txt" | tr -d '\r')
ls -l "$(winepath -u "$menu")/Corvane" 2>&1 | tee -a "$REPORT"
