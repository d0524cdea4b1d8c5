#!/usr/bin/env bash
# The suite's MSI under Wine, in a fresh prefix made for this run: install,
# upgrade to a higher version, a refused downgrade, uninstall, and an install
# that fails and rolls back. The packages are built here from BIN_DIR with
# installer/make-msi.sh: VERSION as the build has it, VERSION with the build
# number raised by one (same binaries, higher ProductVersion), and that one
# built again (same version, another ProductCode).
# Usage: msi_test.sh BIN_DIR VERSION
# Every wait is bounded; the prefix's own wineserver is ended with
# "wineserver -k" and the prefix removed, whatever happens.
set -uo pipefail
export LC_ALL=C
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=$(cd "$1" && pwd)
VERSION=$2
WORK=$(mktemp -d /tmp/msi-test.XXXXXX)
# The prefix is this test's own, apart from the project's session prefix.
export WINEPREFIX=$WORK/wine
source "$HERE/../../scripts/lib.sh"
set +e
E2E_NAME=msi_test
source "$HERE/../../tray/tests/e2e/e2e_lib.sh"

debug_server=
cleanup() {
  [ -n "$debug_server" ] && kill "$debug_server" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT

if [ "$(pe_machine "$BIN/Harrowd.exe")" == 8664 ]; then
  VIEW=/reg:64; PROGRAM_FILES='C:\Program Files'; PROGRAM_FILES_UNIX="Program Files"
else
  VIEW=/reg:32; PROGRAM_FILES='C:\Program Files (x86)'; PROGRAM_FILES_UNIX="Program Files (x86)"
fi
INSTALL_DIR="$PROGRAM_FILES\\Zelmont\\Corvane"
INSTALL_UNIX=$WINEPREFIX/drive_c/$PROGRAM_FILES_UNIX/Zelmont/Corvane
SERVICE_KEY='HKLM\System\CurrentControlSet\Services\Zelmont CVN'
RUN_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
PRODUCT_KEY='HKLM\SOFTWARE\ZEL\Corvane'
UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
SHIPPED=(Brindle.dll Harrowd.exe Vorlix.exe VXKBHook.dll Quillon.exe)

reg_value() { # key value view: the value's data, empty when it is missing
  timeout 60 wine reg query "$1" /v "$2" "$3" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_has_key() { timeout 60 wine reg query "$1" "$2" >/dev/null 2>&1; }
service_state() { timeout 60 wine sc query "Zelmont CVN" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
service_running() { [ "$(service_state)" == RUNNING ]; }
# Products named Corvane in the installed-programs list, both registry views.
products() {
  local view
  for view in /reg:64 /reg:32; do
    timeout 60 wine reg query "$UNINSTALL_KEY" /s "$view" 2>/dev/null | tr -d '\r'
  done | grep -c '^ *DisplayName *REG_SZ *Corvane$'
}
# The pipe client (zelcmd, built on Brindle's ZEL_CallNamePipe) copied alone
# into a folder of its own: the Brindle.dll it loads is the installed one,
# found through the search path.
CLIENT=$WORK/client
mkdir -p "$CLIENT" && cp "$BIN/zelcmd.exe" "$CLIENT/"
ask_service() { WINEPATH="$INSTALL_DIR" w "$CLIENT/zelcmd.exe" 'root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0'; }
msi() { # msiexec arguments...: the exit code of the 64-bit Windows Installer
  timeout --kill-after=10 300 /usr/lib/wine/wine64 msiexec "$@" >/dev/null 2>&1
}
inodes() { local f; for f in "${SHIPPED[@]}"; do stat -c %i "$INSTALL_UNIX/$f" 2>/dev/null || echo none; done; }

log "packages of $VERSION and the next build number"
next=${VERSION%.*}.$((${VERSION##*.} + 1))
if ! "$HERE/../make-msi.sh" "$BIN" "$VERSION" "$WORK/old.msi" >"$WORK/make.log" 2>&1 ||
   ! "$HERE/../make-msi.sh" "$BIN" "$next" "$WORK/new.msi" >>"$WORK/make.log" 2>&1 ||
   ! "$HERE/../make-msi.sh" "$BIN" "$next" "$WORK/rebuilt.msi" >>"$WORK/make.log" 2>&1; then
  fail "packages built" "$(tail -5 "$WORK/make.log")"
  echo "$passed passed, $failed failed"; exit 1
fi

start=$SECONDS
ensure_prefix
wine_up
log "fresh prefix ready in $((SECONDS - start)) s"

# What "Harrowd -install" makes, the reference for the package's service.
w "$BIN/Harrowd.exe" -install >/dev/null
SERVICE_SETTINGS=(Type Start ErrorControl ObjectName DisplayName DependOnService DependOnGroup Group)
declare -A reference
for v in "${SERVICE_SETTINGS[@]}"; do reference[$v]=$(reg_value "$SERVICE_KEY" "$v" /reg:64); done
w "$BIN/Harrowd.exe" -remove >/dev/null
expect_eq "Harrowd -install makes an automatic LocalSystem own-process service" \
  "${reference[Type]} ${reference[Start]} ${reference[ObjectName]}" "0x10 0x2 LocalSystem"

# ---- install
msi /i "$WORK/old.msi" /qn /l*v "$WORK/install.log"
expect_eq "install exit code" "$?" 0
missing=
for f in "${SHIPPED[@]}" StringTable/Language.ini; do [ -f "$INSTALL_UNIX/$f" ] || missing+=" $f"; done
for f in $(cd "$ROOT/data" && find Image -type f); do
  cmp -s "$ROOT/data/$f" "$INSTALL_UNIX/$f" || missing+=" $f"
done
for f in "${SHIPPED[@]}"; do cmp -s "$BIN/$f" "$INSTALL_UNIX/$f" || missing+=" $f(differs)"; done
cmp -s "$ROOT/data/ZELECO" "$WINEPREFIX/drive_c/windows/ZELECO" || missing+=" C:\\windows\\ZELECO"
expect_eq "files in $INSTALL_DIR and the Windows folder" "$missing" ""
# Each shipped binary carries the version its build was made with.
unstamped=
for f in "${SHIPPED[@]}"; do
  [ "$(strings -el "$INSTALL_UNIX/$f" | grep -A1 -x FileVersion | tail -n1)" == "$VERSION" ] || unstamped+=" $f"
done
expect_eq "version resource of every shipped binary names $VERSION" "$unstamped" ""

for v in "${SERVICE_SETTINGS[@]}"; do
  expect_eq "service setting $v as Harrowd -install makes it" "$(reg_value "$SERVICE_KEY" "$v" /reg:64)" "${reference[$v]}"
done
image=$(reg_value "$SERVICE_KEY" ImagePath /reg:64)
expect_eq "service program is the installed Harrowd" "${image//\"/}" "$INSTALL_DIR\\Harrowd.exe"
until_true 30 service_running
expect_eq "service running after install" "$(service_state)" RUNNING
reply=$(ask_service); rc=$?
expect_eq "the pipe answers through the installed Brindle" "$rc:$([ -n "$reply" ] && echo reply)" "0:reply"
w "$CLIENT/zelcmd.exe" 'root\WMI:M:x' >/dev/null
expect_eq "the client alone finds no Brindle (so the one above is the installed one)" "$?" 53
expect_eq "Run entry names the installed Vorlix" "$(reg_value "$RUN_KEY" Vorlix "$VIEW")" "\"$INSTALL_DIR\\Vorlix.exe\""
expect_eq "product version for the about box" "$(reg_value "$PRODUCT_KEY" Version "$VIEW")" "$VERSION"
# The start menu is where this Windows Installer resolves ProgramMenuFolder:
# the all-users one on Windows for a per-machine package; Wine 8 resolves it
# to the installing user's start menu whatever ALLUSERS says.
menu=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' "$WORK/install.log" | tr -d '\r')
MENU_UNIX=$(winepath -u "${menu:-C:\nowhere}" 2>/dev/null)/Corvane
link="$MENU_UNIX/System Information.lnk"
link_text=$(tr -d '\0' <"$link" 2>/dev/null)
expect_eq "start-menu shortcut opens the installed viewer with /COMP_ZEL" \
  "$([[ $link_text == *Quillon.exe* ]] && echo viewer) $([[ $link_text == */COMP_ZEL* ]] && echo brand)" "viewer brand"
expect_eq "one product installed" "$(products)" 1

# What a user set and logged, which an upgrade and an uninstall keep.
wine reg add 'HKCU\Software\ZEL\Corvane\Log File' /v 'Log File Flag' /d TRUE /f >/dev/null 2>&1
wine reg add 'HKCU\Software\ZEL\Corvane\User Define Key' /v UserDefineFilePath /d 'C:\windows\notepad.exe' /f >/dev/null 2>&1
user_log=$WINEPREFIX/drive_c/users/$(id -un)/Documents/CVNLogFile.txt
printf 'a line of the activity log\r\n' >"$user_log"
user_data_kept() {
  expect_eq "$1: logging setting kept" "$(reg_value 'HKCU\Software\ZEL\Corvane\Log File' 'Log File Flag' /reg:64)" TRUE
  expect_eq "$1: user-defined program kept" \
    "$(reg_value 'HKCU\Software\ZEL\Corvane\User Define Key' UserDefineFilePath /reg:64)" 'C:\windows\notepad.exe'
  expect_eq "$1: activity log kept" "$(cat "$user_log" 2>/dev/null)" $'a line of the activity log\r'
}

# ---- upgrade
before=$(inodes)
msi /i "$WORK/new.msi" /qn /l*v "$WORK/upgrade.log"
expect_eq "upgrade exit code" "$?" 0
expect_eq "one product after the upgrade" "$(products)" 1
expect_eq "version after the upgrade" "$(reg_value "$PRODUCT_KEY" Version "$VIEW")" "$next"
after=$(inodes)
replaced=0
while read -r b && read -r a <&3; do [ "$a" != none ] && [ "$a" != "$b" ] && replaced=$((replaced + 1)); done \
  <<<"$before" 3<<<"$after"
expect_eq "every shipped binary written anew by the upgrade" "$replaced" "${#SHIPPED[@]}"
until_true 30 service_running
expect_eq "service running after the upgrade" "$(service_state)" RUNNING
ask_service >/dev/null
expect_eq "the pipe answers after the upgrade" "$?" 0
user_data_kept "upgrade"

# ---- the same version again, from a rebuilt package: it replaces the
# installed one rather than installing beside it
msi /i "$WORK/rebuilt.msi" /qn /l*v "$WORK/rebuilt.log"
expect_eq "rebuilt package of the installed version: exit code" "$?" 0
expect_eq "one product after the rebuilt package" "$(products)" 1
until_true 30 service_running
expect_eq "service running after the rebuilt package" "$(service_state)" RUNNING

# ---- downgrade
msi /i "$WORK/old.msi" /qn /l*v "$WORK/downgrade.log"
rc=$?
expect_eq "downgrade refused" "$([ $rc -ne 0 ] && echo refused)" refused
expect_eq "downgrade refused by its launch condition, before any file" \
  "$(grep -c 'LaunchConditions. Return value [^1]' "$WORK/downgrade.log"):$(grep -c 'InstallFiles' "$WORK/downgrade.log")" "1:0"
# Wine's msiexec does not log a launch condition's message in quiet mode; the
# package's condition and message are read from its LaunchCondition table.
condition=$(msiinfo export "$WORK/old.msi" LaunchCondition | tr -d '\r' | grep '^NOT WIX_DOWNGRADE_DETECTED' | cut -f2)
expect_eq "downgrade refused with a clear message" "$condition" \
  "A newer version of Corvane is already installed. Setup cannot install this older version; remove the newer one first."
expect_eq "still the newer version after the refused downgrade" "$(reg_value "$PRODUCT_KEY" Version "$VIEW")" "$next"
expect_eq "one product after the refused downgrade" "$(products)" 1
expect_eq "service running after the refused downgrade" "$(service_state)" RUNNING

# ---- uninstall: nothing of the suite is left but the user's own data
nothing_left() { # when
  expect_eq "$1: program folder gone" "$(ls -d "$INSTALL_UNIX/.." 2>/dev/null)" ""
  expect_eq "$1: ECO scheme file gone" "$(ls "$WINEPREFIX/drive_c/windows/ZELECO" 2>/dev/null)" ""
  expect_eq "$1: start-menu folder gone" "$(ls -d "$MENU_UNIX" 2>/dev/null)" ""
  expect_eq "$1: service gone" "$(reg_has_key "$SERVICE_KEY" /reg:64 && echo present)$(service_state)" ""
  expect_eq "$1: Run entry gone" "$(reg_value "$RUN_KEY" Vorlix "$VIEW")" ""
  expect_eq "$1: product key gone" "$(reg_has_key 'HKLM\SOFTWARE\ZEL' "$VIEW" && echo present)" ""
  expect_eq "$1: no product installed" "$(products)" 0
  ask_service >/dev/null
  expect_eq "$1: no pipe" "$([ $? -ne 0 ] && echo none)" none
}
msi /x "$WORK/rebuilt.msi" /qn /l*v "$WORK/uninstall.log"
expect_eq "uninstall exit code" "$?" 0
nothing_left "uninstall"
user_data_kept "uninstall"

# ---- a failed install rolls back: another server holds the command pipe, so
# the installed service cannot start and the install fails at its end.
wine "$BIN/Harrowd.exe" -debug >/dev/null 2>&1 &
debug_server=$!
until_true 30 w "$BIN/zelcmd.exe" 'root\WMI:M:x' >/dev/null
msi /i "$WORK/new.msi" /qn /l*v "$WORK/failed.log"
rc=$?
expect_eq "install with the pipe taken fails" "$([ $rc -ne 0 ] && echo failed)" failed
kill "$debug_server" 2>/dev/null
until_true 10 bash -c "! kill -0 $debug_server 2>/dev/null"
debug_server=
nothing_left "failed install"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
