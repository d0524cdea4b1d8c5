// The emulated embedded controller (EC): its registers, their defaults and
// masks, and the read/write rules every process of a run shares. Storage and
// the cross-process lock are supplied by a backend (the registry of the Wine
// prefix on Windows, memory in the native tests).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace emu {

enum class Register : int { Device, System0, System1, Software, AP0, AP1, Brightness0, Brightness1 };
inline constexpr int kRegisterCount = 8;

struct RegisterInfo {
  Register id;
  std::string_view name;     // name in the store and on emuctl's command line
  std::uint32_t defaultValue;
  std::uint32_t mask;        // bits the register keeps; others read as 0
  bool wmiWritable;          // whether PutInstance may change it
  std::string_view meaning;
};

std::span<const RegisterInfo> registers();
const RegisterInfo& registerInfo(Register reg);
// Case-insensitive lookup by register name.
std::optional<Register> findRegister(std::string_view name);

// A number as a person types it: decimal, or hexadecimal with a 0x prefix.
std::optional<std::uint32_t> parseUserNumber(std::string_view text);

class EcBackend {
 public:
  enum class Load { Ok, Missing, Failed };
  virtual ~EcBackend() = default;
  // Serialises read-modify-write sequences across every process of the run.
  virtual bool lock() = 0;
  virtual void unlock() = 0;
  virtual Load load(Register reg, std::uint32_t& value) = 0;
  virtual bool store(Register reg, std::uint32_t value) = 0;
};

using RegisterFile = std::array<std::uint32_t, kRegisterCount>;

// The EC seen through a backend. A register that was never stored reads as
// its default; every value read or stored is reduced to the register's mask.
class Ec {
 public:
  explicit Ec(EcBackend& backend) : backend_(backend) {}

  std::optional<std::uint32_t> read(Register reg);
  std::optional<RegisterFile> readAll();
  // Stores value & mask and returns what the register now holds.
  std::optional<std::uint32_t> write(Register reg, std::uint32_t value);
  // Applies change to the current value under the lock (one atomic step for
  // every process); returns the stored result.
  template <class F>
  std::optional<std::uint32_t> update(Register reg, F change) {
    Guard g(backend_);
    if (!g.held) return std::nullopt;
    auto cur = readUnlocked(reg);
    if (!cur) return std::nullopt;
    return writeUnlocked(reg, change(*cur));
  }
  bool reset();

 private:
  struct Guard {
    explicit Guard(EcBackend& b) : backend(b), held(b.lock()) {}
    ~Guard() { if (held) backend.unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    EcBackend& backend;
    bool held;
  };
  std::optional<std::uint32_t> readUnlocked(Register reg);
  std::optional<std::uint32_t> writeUnlocked(Register reg, std::uint32_t value);

  EcBackend& backend_;
};

}  // namespace emu
