#include "hook_rules.h"

namespace vxkb {

std::optional<std::uint32_t> VolumeKeyLParam(unsigned virtualKey, bool keyUp) {
    if (keyUp) return std::nullopt;
    std::uint32_t scan;
    switch (virtualKey) {
    case kVkVolumeUp: scan = 0x30; break;
    case kVkVolumeDown: scan = 0x2E; break;
    default: return std::nullopt;
    }
    // Repeat count 1, the scan code, and the extended-key bit of the media keys.
    return 1u | scan << 16 | 1u << 24;
}

}  // namespace vxkb
