#include "tray_callback.h"

namespace vx {

TrayCallback DecodeTrayCallback(bool version4, std::uintptr_t wParam, std::intptr_t lParam) {
    const auto low = [](std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFF); };
    const auto high = [](std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); };
    const auto l = static_cast<std::uintptr_t>(lParam);
    TrayCallback callback;
    if (!version4) {
        callback.event = static_cast<unsigned>(l & 0xFFFFFFFF);
        callback.iconId = static_cast<unsigned>(wParam & 0xFFFFFFFF);
        return callback;
    }
    callback.event = low(l);
    callback.iconId = high(l);
    callback.hasAnchor = true;
    // Signed: on a monitor left of or above the primary one they are negative.
    callback.x = static_cast<std::int16_t>(low(wParam));
    callback.y = static_cast<std::int16_t>(high(wParam));
    return callback;
}

bool OpensTrayMenu(bool version4, unsigned event) {
    if (!version4) return event == kTrayRightButtonUp;
    return event == kTrayContextMenu || event == kTrayKeySelect;
}

}  // namespace vx
