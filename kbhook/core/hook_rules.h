// What the keyboard hook library reports, free of Windows: the volume keys
// only, on their key-down, as a keystroke lParam whose bits 16-23 hold the
// key's scan code (0x30 up, 0x2E down) whatever scan code the platform gave
// (Wine gives 0 for media keys).
#pragma once

#include <cstdint>
#include <optional>

namespace vxkb {

inline constexpr unsigned kVkVolumeDown = 0xAE;
inline constexpr unsigned kVkVolumeUp = 0xAF;

// lParam for a low-level keystroke, or nullopt when it is not reported.
std::optional<std::uint32_t> VolumeKeyLParam(unsigned virtualKey, bool keyUp);

}  // namespace vxkb
