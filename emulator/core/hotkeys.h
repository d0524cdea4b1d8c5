// The notebook's firmware hotkeys: which key toggles which EC bit and which
// event code it raises. A press toggles the key's bit (where it has one) in
// one locked read-modify-write and yields the ZEL_Event value to raise:
// the code in bits 0-7 and the flag byte in bits 8-15. The flag byte is the
// low byte of the key's register after the toggle, so the event's receiver
// tests the same bit in it that it would test in a read of the register;
// keys without a register (user-defined, theater, unknown codes) send 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "ec.h"

namespace emu {

struct Hotkey {
  std::string_view name;  // as emuctl takes it; empty for a code outside the table
  std::uint8_t code;
  bool toggles;           // whether the key has a device bit
  Register reg;           // only when toggles
  std::uint32_t bit;      // only when toggles
};

std::span<const Hotkey> hotkeys();

// A key by name (any letter case) or by code (decimal or 0x hex, 0-255); a
// code outside the table gives a key that toggles nothing.
std::optional<Hotkey> findHotkey(std::string_view nameOrCode);

inline constexpr std::uint32_t eventValue(std::uint8_t code, std::uint8_t flag) {
  return code | (static_cast<std::uint32_t>(flag) << 8);
}

// Presses a key: toggles its bit in the EC and returns the event value, or
// nullopt when the EC could not be changed.
std::optional<std::uint32_t> press(Ec& ec, const Hotkey& key);

}  // namespace emu
