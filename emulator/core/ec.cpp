#include "ec.h"

#include "text.h"

namespace emu {
namespace {

// Default state: a notebook just switched on with its radios and camera on,
// no 3G module active, turbo and ECO off, no hotkey program announced, and a
// firmware whose ASL interface version (17) reports device states in events.
constexpr RegisterInfo kRegisters[kRegisterCount] = {
    {Register::Device, "Device", 0x0B, 0xFF, true,
     "ZEL_Device.Device: 0x01 Bluetooth, 0x02 webcam, 0x08 wireless, 0x10 3G"},
    {Register::System0, "System0", 0x00, 0xFF, false,
     "ZEL_System.System instance 0: 0x02 turbo"},
    // A firmware may keep bits of its own above the five flag bits (0x01 to
    // 0x10) of this register; the register holds a whole byte so that a test
    // can give it such bits.
    {Register::System1, "System1", 0x00, 0xFF, true,
     "ZEL_System.System instance 1: 0x01 ECO, 0x02 touchpad flag, 0x04 theater; bits above 0x10 the firmware's own"},
    {Register::Software, "Software", 0x00, 0xFF, true,
     "ZEL_Software.Software: 1 while the hotkey program runs"},
    {Register::AP0, "AP0", 0x00, 0xFF, false, "ZEL_AP.AP instance 0: reserved"},
    {Register::AP1, "AP1", 17, 0xFF, false, "ZEL_AP.AP instance 1: ASL interface version"},
    // The display panels' brightness in percent, kept beside the EC so every
    // process sees one state (not written through PutInstance).
    {Register::Brightness0, "Brightness0", 60, 0xFF, false,
     "WmiMonitorBrightness.CurrentBrightness of monitor 0 (percent)"},
    {Register::Brightness1, "Brightness1", 60, 0xFF, false,
     "WmiMonitorBrightness.CurrentBrightness of monitor 1 (percent)"},
};

}  // namespace

std::span<const RegisterInfo> registers() { return kRegisters; }

const RegisterInfo& registerInfo(Register reg) { return kRegisters[static_cast<int>(reg)]; }

std::optional<Register> findRegister(std::string_view name) {
  for (const auto& r : kRegisters)
    if (equalsNoCase(r.name, name)) return r.id;
  return std::nullopt;
}

std::optional<std::uint32_t> parseUserNumber(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    std::uint64_t v = 0;
    for (char c : text) {
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return std::nullopt;
      v = v * 16 + d;
      if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(v);
}

std::optional<std::uint32_t> Ec::readUnlocked(Register reg) {
  std::uint32_t v = 0;
  switch (backend_.load(reg, v)) {
    case EcBackend::Load::Ok: return v & registerInfo(reg).mask;
    case EcBackend::Load::Missing: return registerInfo(reg).defaultValue;
    case EcBackend::Load::Failed: break;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> Ec::writeUnlocked(Register reg, std::uint32_t value) {
  const std::uint32_t kept = value & registerInfo(reg).mask;
  if (!backend_.store(reg, kept)) return std::nullopt;
  return kept;
}

std::optional<std::uint32_t> Ec::read(Register reg) { return readUnlocked(reg); }

std::optional<RegisterFile> Ec::readAll() {
  Guard g(backend_);
  if (!g.held) return std::nullopt;
  RegisterFile all{};
  for (const auto& r : kRegisters) {
    auto v = readUnlocked(r.id);
    if (!v) return std::nullopt;
    all[static_cast<int>(r.id)] = *v;
  }
  return all;
}

std::optional<std::uint32_t> Ec::write(Register reg, std::uint32_t value) {
  Guard g(backend_);
  if (!g.held) return std::nullopt;
  return writeUnlocked(reg, value);
}

bool Ec::reset() {
  Guard g(backend_);
  if (!g.held) return false;
  for (const auto& r : kRegisters)
    if (!writeUnlocked(r.id, r.defaultValue)) return false;
  return true;
}

}  // namespace emu
