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

# An older package over the installed one, as a person would start it (basic
# user interface): it is refused with its message; the screenshot of the
# message lands in $OUT/demo/install-downgrade.png.
say ""
say "== An older package"
version=$(head -n1 "$ROOT/VERSION")
older=${version%.*}.$((${version##*.} - 1))
if [ "${version##*.}" -gt 0 ] && "$ROOT/installer/make-msi.sh" "$WIN32_BIN" "$older" "$DEMO/Corvane-$older-x86.msi" >/dev/null 2>&1; then
  # The message box is a window of the Wine desktop, not of X: it is seen
  # when the middle of the screen is no longer the desktop's colour.
  centre() { import -window root png:- 2>/dev/null | convert - -format '%[pixel:p{640,390}]' info: 2>/dev/null; }
  desktop=$(centre)
  /usr/lib/wine/wine64 msiexec /i "$(winepath -w "$DEMO/Corvane-$older-x86.msi")" /qb >/dev/null 2>&1 &
  installer=$!
  shown=
  for _ in $(seq 1 100); do
    [ "$(centre)" != "$desktop" ] && { shown=1; break; }
    sleep 0.2
  done
  sleep 0.5  # the box draws its text after it appears; for the picture, not a synchronisation
  import -window root "$DEMO/install-downgrade.png"
  # OK on the box (it has the focus); the installer then ends.
  [ -n "$shown" ] && xdotool key Return
  for _ in $(seq 1 100); do kill -0 "$installer" 2>/dev/null || break; sleep 0.2; done
  kill "$installer" 2>/dev/null
  wait "$installer"
  rc=$?
  say "msiexec /i Corvane-$older-x86.msi: exit code $rc ($([ $rc -ne 0 ] && echo refused || echo 'not refused')), message box $([ -n "$shown" ] && echo shown || echo 'not found')"
  say "installed version still: $(timeout 60 wine reg query 'HKLM\SOFTWARE\ZEL\Corvane' /v Version /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^ *Version *REG_SZ *//p')"
  rm -f "$DEMO/Corvane-$older-x86.msi"
fi
