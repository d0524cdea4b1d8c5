# Shared settings and helpers for the project's scripts. Source it; do not run it.
# Every path can be overridden from the environment so that several work trees
# (or several people on one machine) keep separate builds and Wine prefixes.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
OUT=${OUT:-$ROOT/out}
export WINEPREFIX=${WINEPREFIX:-$OUT/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;powrprof=n,b"}
export WINEARCH=win64

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386 xvfb xauth xdotool imagemagick fonts-wine fonts-nanum locales
  wixl msitools
)

log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# Installs the Debian packages the project needs; a no-op when all are present.
# The 32-bit Wine loader (wine32:i386) runs the 32-bit build in the same
# 64-bit prefix through WoW64, so the i386 architecture is added first.
ensure_packages() {
  local missing=()
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture for the 32-bit Wine loader"
    dpkg --add-architecture i386
  fi
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The PE header's machine field of a Windows program or library: 8664 for
# x86-64, 014c for x86.
pe_machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' '
}

# The Wine loader of a Windows build's bitness: it runs the program in the
# very process it starts (the default loader runs 64-bit programs through a
# launcher), so $! of a program started with it is the program's own process.
wine_loader() { # win64|win32
  if [ "$1" == win64 ]; then echo /usr/lib/wine/wine64; else echo /usr/lib/wine/wine; fi
}

# The Unix process of a running Windows program, found by its file name
# (case-insensitive): the process whose command line starts with it and
# which maps that file (a 64-bit program started by the default loader also
# has a launcher process of the same command line, which does not map it).
unix_pid_of() { # NAME.exe
  local p
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/cmdline"; } 2>/dev/null | head -1 | grep -qiE "(^|[\\/])$1\$" || continue
    grep -qiE "/$1\$" "$p/maps" 2>/dev/null && { echo "${p#/proc/}"; return 0; }
  done
  return 1
}

# Runs a command with a time limit, killing its whole process group on expiry.
bounded() { timeout --kill-after=10 "$@"; }

# Starts a persistent wineserver for this prefix (cheap warm starts of every exe).
# The first program of a fresh server also starts Wine's own services, which
# inherit its output handles: start them here with output going nowhere, so a
# later pipe or capture of a test's output is not held open by them.
wine_up() {
  wineserver -p >/dev/null 2>&1 || true
  bounded 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
wine_down() { wineserver -k >/dev/null 2>&1 || true; }

# Creates the project's Wine prefix once: crash dialog off, fonts copied.
# The prefix runs both builds; one made before the 32-bit loader was
# installed has no syswow64, and one made by an older version of this
# function lacks its settings: both are made anew.
# Every program of the prefix runs in one Wine virtual desktop named "shell"
# (the name for which Wine shows a taskbar with a notification area), chosen
# when the prefix is made: a desktop switched to while a server runs keeps
# the next program that opens a window waiting for a display driver.
PREFIX_LAYOUT=2
ensure_prefix() {
  local stamp=$WINEPREFIX/.zel-prefix-ready
  if [ "$(cat "$stamp" 2>/dev/null)" == "$PREFIX_LAYOUT" ] && [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    install_prefix_fonts
    isolate_user_folders
    return 0
  fi
  if [ -e "$WINEPREFIX" ]; then
    log "making the Wine prefix $WINEPREFIX anew (it cannot run 32-bit programs or lacks settings)"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  log "creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  bounded 300 wineboot -i >/dev/null 2>&1
  bounded 60 wineserver -w || true
  bounded 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  bounded 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  bounded 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1280x800 /f >/dev/null 2>&1
  install_prefix_fonts
  bounded 60 wineserver -w || true
  isolate_user_folders
  echo "$PREFIX_LAYOUT" >"$stamp"
}

# The fonts a Windows user's screen has and Wine finds only in the
# prefix: Tahoma for the dialogs and GDI+, the Korean font, and Marlett, the
# symbol font of the title bars' buttons (without it the close box shows a
# letter "r"). Copied when missing, so an older prefix gains them too.
install_prefix_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf \
           /usr/share/fonts/truetype/nanum/NanumGothic*.ttf; do
    [ -f "$f" ] && { [ -f "$fonts/${f##*/}" ] || cp -f "$f" "$fonts/"; }
  done
  return 0
}

# Wine links the user's Documents, Desktop and the like to the Unix home
# folder; the prefix gets folders of its own instead, so what the programs
# write there (the activity log, say) stays in this prefix and a run never
# meets another prefix's files or leaves files in the home folder.
isolate_user_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    rm -f "$link" && mkdir -p "$link"
  done
}

# Finds a free X display number and starts Xvfb on it; sets DISPLAY and XVFB_PID.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
      done
    fi
  done
  log "no free X display"; return 1
}
stop_xvfb() { [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null; wait "${XVFB_PID:-}" 2>/dev/null || true; XVFB_PID=; }

# Korean system locale for the Wine programs started by one command. Wine
# takes the ANSI code page (949 here) and the user interface language from
# the Unix locale, so a Korean UTF-8 locale is compiled into $OUT/locale
# (nothing on the machine changes) and exported. A first program under that
# locale lets Wine rewrite its font links for the new code page; then Tahoma
# (regular and bold) is linked to the prefix's Korean font (NanumGothic) as a Korean Windows
# links it to its own Korean font, so Hangul drawn in Tahoma has glyphs.
korean_locale() {
  local dir=$OUT/locale
  if [ ! -d "$dir/ko_KR.UTF-8" ]; then
    mkdir -p "$dir"
    localedef -i ko_KR -f UTF-8 "$dir/ko_KR.UTF-8" >/dev/null 2>&1 || [ -d "$dir/ko_KR.UTF-8" ] \
      || { log "cannot compile the Korean locale"; return 1; }
  fi
  export LOCPATH=$dir
  # (this shell has no use for the locale itself; its complaint is silenced)
  export LC_ALL=ko_KR.UTF-8 LANG=ko_KR.UTF-8 2>/dev/null
  bounded 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  local view key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for view in 64 32; do
    bounded 60 wine reg add "$key" /v Tahoma /t REG_MULTI_SZ \
      /d 'NanumGothic.ttf,NanumGothic\0GULIM.TTC,Gulim' /f /reg:$view >/dev/null 2>&1
    bounded 60 wine reg add "$key" /v 'Tahoma Bold' /t REG_MULTI_SZ \
      /d 'NanumGothicBold.ttf,NanumGothic\0GULIM.TTC,Gulim' /f /reg:$view >/dev/null 2>&1
  done
}

WIN64_BIN=$BUILD_ROOT/win64/bin
WIN32_BIN=$BUILD_ROOT/win32/bin
# The packages of scripts/package, and where the notebook's own one (the x86
# MSI) puts the suite in the 64-bit prefix: scripts/demo-install.sh installs
# it, the demo steps run the installed programs from there.
PACKAGE_DIR=$OUT/package
SUITE_DIR='C:\Program Files (x86)\Zelmont\Corvane'

# Installs the emulated notebook (WMI provider, audio, power) into the prefix
# for both bitnesses, the way the notebook's platform would have it, and
# resets its state. Each build's emuctl installs its own provider DLL; both
# serve the same EC state and event ring.
install_emulator() {
  bounded 120 wine "$WIN64_BIN/emuctl.exe" install
  bounded 120 wine "$WIN32_BIN/emuctl.exe" install
  install_eco_scheme_file
}

# The ECO power-scheme file ships with the system in the Windows folder,
# where the tray program imports it from.
install_eco_scheme_file() {
  cp -f "$ROOT/data/ZELECO" "$WINEPREFIX/drive_c/windows/ZELECO"
}

# Brings up everything the Windows tests and the demo run on: prefix,
# persistent wineserver, X display, emulated notebook. Pair with session_down.
session_up() {
  ensure_prefix
  # The display first: the first program of the server starts the default
  # desktop, which can show windows only when it finds a display.
  start_xvfb
  wine_up
  install_emulator
}
session_down() {
  wine_down
  stop_xvfb
}
