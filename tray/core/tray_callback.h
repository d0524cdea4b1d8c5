// The notification-area icon's callback message, free of Windows: what the
// shell sends with each icon version, and which events open the tray menu.
#pragma once

#include <cstdint>

namespace vx {

// The shell's events in the callback (the values of WM_CONTEXTMENU,
// WM_RBUTTONUP, WM_LBUTTONUP, NIN_SELECT and NIN_KEYSELECT).
inline constexpr unsigned kTrayContextMenu = 0x007B;
inline constexpr unsigned kTrayRightButtonUp = 0x0205;
inline constexpr unsigned kTrayLeftButtonUp = 0x0202;
inline constexpr unsigned kTraySelect = 0x0400;
inline constexpr unsigned kTrayKeySelect = 0x0401;

struct TrayCallback {
    unsigned event = 0;
    unsigned iconId = 0;
    bool hasAnchor = false;  // the newer version gives the place the menu belongs
    int x = 0, y = 0;        // screen coordinates of that place
    bool operator==(const TrayCallback&) const = default;
};

// An icon of the older version gets the icon id in wParam and the event in
// lParam; one of the newer version (4) gets the anchor's x and y in wParam's
// low and high words and the event and icon id in lParam's low and high words.
TrayCallback DecodeTrayCallback(bool version4, std::uintptr_t wParam, std::intptr_t lParam);

// The menu opens once per request: for the newer version on the shell's
// context-menu event (a right click, the menu key, Shift+F10) and on a
// keyboard selection (Enter), not on the right-button release that comes
// before the context-menu event of a click; for the older version on the
// right-button release. Left clicks and selection by mouse or space open nothing.
bool OpensTrayMenu(bool version4, unsigned event);

}  // namespace vx
