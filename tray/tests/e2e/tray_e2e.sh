#!/usr/bin/env bash
# End-to-end tests of the tray program Vorlix in a Wine virtual desktop with
# a taskbar, against the command service installed and started in the
# service manager and the emulated EC. Runs inside a Wine session
# (scripts/with-wine): X display, prefix and emulator are ready.
# Usage: tray_e2e.sh BIN_DIR [SERVICE_BIN_DIR]
# SERVICE_BIN_DIR holds the Harrowd.exe to serve the pipe (default BIN_DIR):
# the 32-bit tray program is run against the 64-bit service, as installed on
# a 64-bit Windows.
# Every wait is bounded; every process started here is ended by its own id.
set -uo pipefail
export LC_ALL=C
BIN=$(cd "$1" && pwd)
SERVICE_BIN=$(cd "${2:-$1}" && pwd)
WORK=$(mktemp -d /tmp/tray-e2e.XXXXXX)
E2E_NAME=tray_e2e
source "$(dirname "$0")/e2e_lib.sh"
CORVANE_KEY='HKCU\Software\ZEL\Corvane'
USERDEF_KEY='HKCU\Software\ZEL\Corvane\User Define Key'
PRODUCT_KEY='HKLM\SOFTWARE\ZEL\Corvane'

cleanup() {
  timeout --kill-after=5 60 wine "$SERVICE_BIN/Harrowd.exe" -remove >/dev/null 2>&1
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  reg delete "$CORVANE_KEY" /f
  reg delete "$PRODUCT_KEY" /f
  rm -f "${LOGFILE:-/nonexistent}"
  rm -rf "${LONGDIR:-/nonexistent}" "$WORK"
  w "$BIN/emuctl.exe" reset >/dev/null
}
trap cleanup EXIT

reg delete "$CORVANE_KEY" /f
reg delete "$PRODUCT_KEY" /f
w "$BIN/emuctl.exe" reset >/dev/null

LOGFILE=$(activity_log_file)
rm -f "$LOGFILE"

install_service || { echo "$passed passed, $failed failed"; exit 1; }

menu_items() { probe menu 10000 close | tr '\t' ':' | paste -sd'|' -; }
about_field() { probe about 10000 | sed -n "s/^$1=//p"; }

# ---- start-up, single instance, announcement, empty log while logging is off
ec_set Software 0
if start_vorlix; then ok "tray icon added at start"; else fail "tray icon added at start"; fi
expect_eq "start announces the program to the firmware (Software:0:1)" "$(ec_get Software)" 1
expect_eq "log file created empty while logging is off" "$(log_size)" 0
HWND1=$(probe hwnd)

timeout 60 wine "$BIN/Vorlix.exe" >/dev/null 2>&1
second_rc=$?
if [ $second_rc -ne 124 ] && probe wait-icon 1000 >/dev/null && [ "$(probe hwnd)" == "$HWND1" ]; then
  ok "second instance ends at once, first keeps its icon"
else
  fail "second instance ends at once, first keeps its icon" "rc=$second_rc"
fi

# ---- tray menu in its three cases, read from the real popup
expect_eq "menu without a chosen program" "$(menu_items)" "337:About|336:Exit"
reg add "$USERDEF_KEY" /v UserDefineFilePath /d 'NONE' /f
expect_eq "menu with the path NONE" "$(menu_items)" "337:About|336:Exit"
reg add "$USERDEF_KEY" /v UserDefineFilePath /d 'C:\windows\notepad.exe' /f
expect_eq "menu with a chosen program" "$(menu_items)" "338:User-Defined Key|337:About|336:Exit"

# Left-clicks and double-clicks on the icon open nothing (the shell adds
# NIN_SELECT after a left button's release, and sends it for the space key).
for msg in 0x0202 0x0400 0x0203 0x0201 0x0202 0x0400; do probe icon-click $msg; done
if probe wait-menu 1500; then fail "left clicks open no menu"; probe menu 1000 close >/dev/null; else ok "left clicks open no menu"; fi

# A right click opens one menu: the shell sends the button's release and then
# the context-menu event, and closing the menu leaves no second one behind.
probe menu 10000 close >/dev/null
if probe wait-menu 1500; then fail "a right click opens one menu"; probe menu 1000 close >/dev/null; else ok "a right click opens one menu"; fi

# From the keyboard: Enter (NIN_KEYSELECT), and the menu key or Shift+F10
# (WM_CONTEXTMENU), as the shell reports them on the icon.
for key in 0x0401:Enter 0x007B:menu-key; do
  probe icon-click "${key%%:*}"
  if probe wait-menu 10000; then
    focus_desktop; xdotool key Escape
    if probe wait-no-menu 10000; then ok "${key#*:} opens the tray menu, Escape closes it"; else
      fail "${key#*:} opens the tray menu, Escape closes it" "menu still open"; fi
  else
    fail "${key#*:} opens the tray menu, Escape closes it" "no menu"
  fi
done

# ---- a hotkey while logging is off adds nothing to the log
W=1280; H=800; T=$(osd taskbar); [ "$T" == none ] && T=34
press_and_wait wireless 1 || fail "wireless hotkey shows its OSD"
expect_eq "logging off adds nothing" "$(log_size)" 0

# ---- about box: versions, hotkey toggle, Escape and reopen
reg delete "$USERDEF_KEY" /f
reg add "$PRODUCT_KEY" /v Version /d '2.1.0.7' /f
pick_menu_item 1
expect_eq "about box caption from the language table" "$(about_field caption)" "About"
expect_eq "about box product version" "$(about_field 1001)" "2.1.0.7"
expect_eq "about box firmware interface version" "$(about_field 1004)" "$(ec_get AP1)"
expect_eq "about box logging label while off" "$(about_field 1024)" ""
BIOS=$(w "$BIN/bridge_cmd.exe" 'root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0' | head -1)
sig=${BIOS:0:8}; sig=${sig: -2}
if [ "$sig" == "QZ" ]; then want_company="Zelmont Corporation"; else want_company=""; fi
expect_eq "company line follows the BIOS signature of [$BIOS]" "$(about_field 1019)" "$want_company"

probe send-command 337 || fail "About chosen again returns at once"
expect_eq "About chosen while the box is open opens no second one" "$(probe about-count)" 1

focus_desktop; xdotool key ctrl+alt+s
until_true 5 sh -c "[ \"\$(wine '$BIN/tray_probe.exe' about 1000 | tr -d '\r' | sed -n 's/^1024=//p')\" = Logging ]"
expect_eq "Ctrl+Alt+S switches logging on: label" "$(about_field 1024)" "Logging"
expect_eq "Ctrl+Alt+S switches logging on: registry" "$(reg_value "$CORVANE_KEY\\Log File" 'Log File Flag')" "TRUE"

# Event groups, byte for byte, while logging is on: a hotkey the firmware
# raises (wireless back on, the state from the event) and a code nothing
# handles; another writer's bytes in between are kept and the second group
# lands after them.
start=$(log_size)
press_and_wait wireless 1 || fail "wireless hotkey with logging on shows its OSD"
printf 'another writer\r\n' >>"$LOGFILE"
w "$BIN/emuctl.exe" press 0x25 >/dev/null
until_true 10 sh -c "tail -c 40 '$LOGFILE' | grep -q \"don't work in CVN\""
printf "<<stamp>> \r\nCVN receive WMI Event value : 5f  \t<< It's Wirelees's WMIevent >>\r\n\tGet Wireless's Flag in EC's rom : Enable\r\nanother writer\r\n<<stamp>> \r\nCVN receive WMI Event value : 25  \t<< This WMIevent don't work in CVN. >>\r\n" >"$WORK/expected.log"
if [ "$start" == 0 ] && log_since 0 | cmp -s "$WORK/expected.log" -; then ok "log groups byte for byte, appended after another writer"; else
  fail "log groups byte for byte, appended after another writer"; od -c "$LOGFILE" | head -20; fi

focus_desktop; xdotool key ctrl+alt+s
until_true 5 sh -c "[ -z \"\$(wine '$BIN/tray_probe.exe' about 1000 | tr -d '\r' | sed -n 's/^1024=//p')\" ]"
expect_eq "Ctrl+Alt+S again: label empty" "$(about_field 1024)" ""
expect_eq "Ctrl+Alt+S again: registry FALSE" "$(reg_value "$CORVANE_KEY\\Log File" 'Log File Flag')" "FALSE"
size=$(log_size)
press_and_wait turbo 3 || fail "turbo hotkey with the about box open shows its OSD"
expect_eq "logging switched off adds nothing" "$(log_size)" "$size"

focus_desktop; xdotool key Escape
if probe wait-no-about 5000; then ok "Escape closes the about box"; else fail "Escape closes the about box"; fi
reg add "$PRODUCT_KEY" /v Version /d "$(printf 'v%.0s' $(seq 128))" /f
pick_menu_item 1
expect_eq "about box opens again; a version of 128 characters shows NONE" "$(about_field 1001)" "NONE"
focus_desktop; xdotool key Escape
probe wait-no-about 5000 || fail "about box closed again"

# ---- icon comes back after the shell lost it, and after a resume
probe delete-icon && probe taskbar-created
if probe wait-icon 3000 >/dev/null; then ok "icon re-added when the taskbar is created again"; else fail "icon re-added when the taskbar is created again"; fi
for source in 1 0; do
  what=$([ $source -eq 1 ] && echo battery || echo mains)
  probe power-source "$source" >/dev/null || fail "power source $what delivered"
  probe suspend
  ec_set Software 0
  probe delete-icon
  probe resume
  expect_eq "resume on $what announces the program again" "$(ec_get Software)" 1
  if probe wait-icon 3000 >/dev/null; then ok "resume on $what re-adds the icon"; else fail "resume on $what re-adds the icon"; fi
done
probe power-source short >/dev/null || fail "a power setting of the wrong length is accepted silently"

# ---- shut-down of Windows: clean-up runs once
probe endsession
expect_eq "end of session sends Software:0:0" "$(ec_get Software)" 0
if probe wait-no-icon "$HWND1" 3000 >/dev/null; then ok "end of session removes the icon"; else fail "end of session removes the icon"; fi
ec_set Software 1
probe endsession
expect_eq "a second end-of-session message does not clean up again" "$(ec_get Software)" 1
stop_vorlix

# ---- Exit from the tray menu
ec_set Software 1
start_vorlix || fail "restart"
HWND2=$(probe hwnd); PID2=$(probe pid)
ec_set Software 1
# Exit chosen while the about box is open still ends the program.
pick_menu_item 1
probe about 10000 >/dev/null || fail "about box open before Exit"
pick_menu_item 2
if probe wait-exit "$PID2" 10000; then ok "Exit ends the program, about box open"; else fail "Exit ends the program, about box open"; fi
expect_eq "exit sends Software:0:0" "$(ec_get Software)" 0
if probe wait-no-icon "$HWND2" 3000 >/dev/null; then ok "exit removes the icon"; else fail "exit removes the icon"; fi
stop_vorlix

# Exit from the menu, or a close request, while the user-defined key dialog is
# open closes the dialog and ends the program with the normal clean-up.
reg add "$USERDEF_KEY" /v UserDefineFilePath /d 'C:\windows\notepad.exe' /f
for how in menu close; do
  ec_set Software 1
  start_vorlix || fail "restart"
  HWND4=$(probe hwnd); PID4=$(probe pid)
  pick_menu_item 1
  expect_eq "user-defined key dialog open before $how" "$(about_field caption)" "User-Defined Key"
  if [ $how == menu ]; then pick_menu_item 3; else probe close || fail "WM_CLOSE delivered, dialog open"; fi
  if probe wait-exit "$PID4" 10000; then ok "$how ends the program, dialog open"; else fail "$how ends the program, dialog open"; fi
  expect_eq "$how with the dialog open sends Software:0:0" "$(ec_get Software)" 0
  if probe wait-no-icon "$HWND4" 3000 >/dev/null; then ok "$how with the dialog open removes the icon"; else fail "$how with the dialog open removes the icon"; fi
  stop_vorlix
done
reg delete "$USERDEF_KEY" /f

# ---- a close request from another process ends the program; Enter and Escape do not
ec_set Software 1
start_vorlix || fail "restart"
HWND3=$(probe hwnd); PID3=$(probe pid)
probe send-command 1 || fail "Enter (IDOK) delivered"
probe send-command 2 || fail "Escape (IDCANCEL) delivered"
if probe wait-exit "$PID3" 1000; then fail "Enter and Escape leave the program running"; else ok "Enter and Escape leave the program running"; fi
expect_eq "Enter and Escape leave Software at 1" "$(ec_get Software)" 1
probe close || fail "WM_CLOSE delivered"
if probe wait-exit "$PID3" 10000; then ok "WM_CLOSE ends the program"; else fail "WM_CLOSE ends the program"; fi
expect_eq "WM_CLOSE sends Software:0:0" "$(ec_get Software)" 0
if probe wait-no-icon "$HWND3" 3000 >/dev/null; then ok "WM_CLOSE removes the icon"; else fail "WM_CLOSE removes the icon"; fi
stop_vorlix

# ---- preset file beside the program; language sections; long directory
LONGDIR=$(winepath -u 'C:\Program Files\Notebook Control Suite with a Long Directory Name' 2>/dev/null)
mkdir -p "$LONGDIR/StringTable"
cp "$BIN/Vorlix.exe" "$BIN/Brindle.dll" "$LONGDIR/"
# The shipped table, with its Chinese section left without the probe key.
LC_ALL=C awk 'BEGIN{s=""} /^\[/{s=$0} { if (s=="[1028]\r" && /^IDS_USERDEFINE_DOC=/) next; print }' \
  "$BIN/StringTable/Language.ini" >"$LONGDIR/StringTable/Language.ini"
printf '[KIV]\r\nKIV=C:\\windows\\notepad.exe\r\n' >"$LONGDIR/UserDefine.ini"
reg add "$USERDEF_KEY" /v UserDefineFilePath /d 'C:\windows\regedit.exe' /f

start_vorlix "$LONGDIR" LC_ALL=zh_TW.UTF-8 || fail "start from a long directory"
expect_eq "preset file: no user-defined item; Chinese section without probe falls back to English" \
  "$(menu_items)" "337:About|336:Exit"
expect_eq "preset file writes its program path" "$(reg_value "$USERDEF_KEY" UserDefineFilePath)" 'C:\windows\notepad.exe'
stop_vorlix
rm -f "$LONGDIR/UserDefine.ini"

start_vorlix "$LONGDIR" LC_ALL=ja_JP.UTF-8 || fail "start with a Japanese UI"
expect_eq "UI language without a section uses English" "$(menu_items)" "338:User-Defined Key|337:About|336:Exit"
stop_vorlix

start_vorlix "$BIN" LC_ALL=ko_KR.UTF-8 || fail "start with a Korean UI"
korean=$(printf '338:사용자 정의 키|337:정보|336:종료' | iconv -f UTF-8 -t CP949)
expect_eq "Korean UI reads the Korean section" "$(menu_items)" "$korean"
stop_vorlix

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
