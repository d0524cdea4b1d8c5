#include "hotkeys.h"

#include "text.h"

namespace emu {
namespace {

constexpr Hotkey kHotkeys[] = {
    {"touchpad", 8, true, Register::System1, 0x02},
    {"bluetooth", 86, true, Register::Device, 0x01},
    {"webcam", 87, true, Register::Device, 0x02},
    {"wireless", 95, true, Register::Device, 0x08},
    {"turbo", 96, true, Register::System0, 0x02},
    {"userdefined", 111, false, Register::Device, 0},
    {"theater", 115, false, Register::Device, 0},
    {"eco", 121, true, Register::System1, 0x01},
    {"3g", 132, true, Register::Device, 0x10},
};

}  // namespace

std::span<const Hotkey> hotkeys() { return kHotkeys; }

std::optional<Hotkey> findHotkey(std::string_view nameOrCode) {
  for (const auto& k : kHotkeys)
    if (equalsNoCase(k.name, nameOrCode)) return k;
  auto code = parseUserNumber(nameOrCode);
  if (!code || *code > 0xFF) return std::nullopt;
  for (const auto& k : kHotkeys)
    if (k.code == *code) return k;
  return Hotkey{{}, static_cast<std::uint8_t>(*code), false, Register::Device, 0};
}

std::optional<std::uint32_t> press(Ec& ec, const Hotkey& key) {
  if (!key.toggles) return eventValue(key.code, 0);
  auto now = ec.update(key.reg, [&](std::uint32_t v) { return v ^ key.bit; });
  if (!now) return std::nullopt;
  return eventValue(key.code, static_cast<std::uint8_t>(*now & 0xFF));
}

}  // namespace emu
