#!/usr/bin/env bash
# Demo of the tray program Vorlix, run inside a Wine session (scripts/demo
# calls it through scripts/with-wine): the Vorlix that the suite's MSI
# installed (scripts/demo-install.sh), against the installed service, in a
# virtual desktop with a taskbar; a right-click on the tray icon opens the
# menu, About opens the about box, which shows the version the MSI wrote.
# Screenshots of the taskbar with the icon, the open menu and the about box
# land in $OUT/demo/. Everything started here is ended here.
source "$(dirname "$0")/lib.sh"
set +e
BIN=$WIN32_BIN
DEMO=$OUT/demo
mkdir -p "$DEMO"
pids=()

w() { timeout --kill-after=5 60 wine "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
probe() { w "$BIN/tray_probe.exe" "$@"; }
shot() { import -window root "$DEMO/$1"; }
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
  done
}
trap cleanup EXIT

probe wait-pipe 30000 || log "demo-tray: the installed command service does not answer"

wine "$SUITE_DIR\\Vorlix.exe" >/dev/null 2>&1 &
vorlix=$!
pids+=($vorlix)
if ! probe wait-window 30000 >/dev/null || ! probe wait-icon 10000 >/dev/null || ! probe wait-hidden 10000; then
  log "demo-tray: no tray icon"; exit 1
fi
log "demo-tray: Vorlix runs, firmware told: $(w "$BIN/emuctl.exe" get Software)"
shot tray-desktop.png
convert "$DEMO/tray-desktop.png" -crop 1280x20+0+780 +repage "$DEMO/tray-taskbar.png"
convert "$DEMO/tray-desktop.png" -crop 160x20+1120+780 +repage -scale 400% "$DEMO/tray-taskbar-icon.png"

# A right-click on the icon at the right end of the taskbar, as a person does.
xdotool mousemove 1270 790 click 3
if ! probe wait-menu 5000; then
  log "demo-tray: the click missed the icon; opening the menu through its callback"
  probe menu 10000 >/dev/null
fi
# Menu items are about 17 pixels high inside a 3-pixel frame.
hover_menu_item() { # position (1 = first)
  local left top right bottom
  read -r left top right bottom <<<"$(probe menu-rect)"
  [ -n "${left:-}" ] || return 1
  xdotool mousemove $((left + 20)) $((top + 3 + 17 * ($1 - 1) + 8))
  # The taskbar's tooltip for the icon may still cover the menu for a moment.
  probe wait-no-tooltip 5000
}
hover_menu_item 1
shot tray-menu-full.png
convert "$DEMO/tray-menu-full.png" -crop 320x160+960+640 +repage "$DEMO/tray-menu.png"
xdotool click 1
if probe about 10000 >"$DEMO/tray-about.txt"; then
  shot tray-about.png
  log "demo-tray: about box: $(tr '\n' ' ' <"$DEMO/tray-about.txt")"
fi
# OK closes the box.
read -r left top right bottom <<<"$(probe about-ok-rect)"
[ -n "${left:-}" ] && xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
probe wait-no-about 5000 || log "demo-tray: the about box stayed open"

# Exit from the menu: the firmware is told the program leaves, the icon goes.
xdotool mousemove 1270 790 click 3
probe wait-menu 5000 || probe menu 10000 >/dev/null
hover_menu_item 2 && xdotool click 1
for _ in $(seq 100); do kill -0 "$vorlix" 2>/dev/null || break; sleep 0.1; done
shot tray-after-exit.png
log "demo-tray: after Exit, firmware told: $(w "$BIN/emuctl.exe" get Software)"
log "demo-tray: screenshots in $DEMO (tray-taskbar.png, tray-menu.png, tray-about.png)"
