// emuctl: drives the emulated notebook from the command line, as a person
// at the keyboard would: install it into the prefix, read, set and reset the
// embedded controller's registers.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ec.h"
#include "ec_registry.h"
#include "install.h"
#include "wide.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void printUsage(FILE* out) {
  std::fprintf(out,
               "usage: emuctl <command> [arguments]\n"
               "  install                 copy emuwmi.dll from beside emuctl.exe into the system\n"
               "                          folder, register it as the WMI locator (root\\WMI is\n"
               "                          emulated, other namespaces go to Wine) and reset the EC\n"
               "  uninstall               register Wine's own WMI locator again\n"
               "  reset                   put every EC register back to its default\n"
               "  get [register]          print every register, or one, as Name=value (decimal)\n"
               "  set <register> <value>  store a value (decimal or 0x hex) and print what the\n"
               "                          register keeps (bits outside its mask are dropped)\n"
               "registers:\n");
  for (const auto& r : emu::registers())
    std::fprintf(out, "  %-9.*s default %-3u mask 0x%02X  %.*s\n", static_cast<int>(r.name.size()),
                 r.name.data(), r.defaultValue, r.mask, static_cast<int>(r.meaning.size()),
                 r.meaning.data());
}

int usageError(const char* message) {
  std::fprintf(stderr, "emuctl: %s\n", message);
  printUsage(stderr);
  return kUsage;
}

void printRegister(emu::Register reg, std::uint32_t value) {
  const auto name = emu::spec(reg).name;
  std::printf("%.*s=%u\n", static_cast<int>(name.size()), name.data(), value);
}

std::wstring ownDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

int install(emu::Ec& ec) {
  std::wstring installed, error;
  if (!emu::installProvider(ownDirectory() + L"\\" + emu::kProviderDll, installed, error)) {
    std::fprintf(stderr, "emuctl: install failed: %s\n", emu::toUtf8(error).c_str());
    return kFailed;
  }
  if (!ec.reset()) {
    std::fprintf(stderr, "emuctl: install: cannot reset the EC state\n");
    return kFailed;
  }
  std::printf("installed %s as the WMI locator; EC reset to defaults\n",
              emu::toUtf8(installed).c_str());
  return kOk;
}

int uninstall() {
  std::wstring restored, error;
  if (!emu::uninstallProvider(restored, error)) {
    std::fprintf(stderr, "emuctl: uninstall failed: %s\n", emu::toUtf8(error).c_str());
    return kFailed;
  }
  std::printf("WMI locator is %s again\n", emu::toUtf8(restored).c_str());
  return kOk;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("no command given");
  const std::string& cmd = args[0];
  if (cmd == "help" || cmd == "--help" || cmd == "-h" || cmd == "/?") {
    printUsage(stdout);
    return kOk;
  }
  emu::RegistryEcBackend backend;
  emu::Ec ec(backend);
  if (cmd == "install" && args.size() == 1) return install(ec);
  if (cmd == "uninstall" && args.size() == 1) return uninstall();
  if (cmd == "reset" && args.size() == 1) {
    if (!ec.reset()) {
      std::fprintf(stderr, "emuctl: cannot reset the EC state\n");
      return kFailed;
    }
    std::printf("EC reset to defaults\n");
    return kOk;
  }
  if (cmd == "get" && args.size() <= 2) {
    if (args.size() == 2) {
      auto reg = emu::findRegister(args[1]);
      if (!reg) return usageError(("unknown register: " + args[1]).c_str());
      auto v = ec.read(*reg);
      if (!v) {
        std::fprintf(stderr, "emuctl: cannot read the EC state\n");
        return kFailed;
      }
      printRegister(*reg, *v);
      return kOk;
    }
    auto all = ec.readAll();
    if (!all) {
      std::fprintf(stderr, "emuctl: cannot read the EC state\n");
      return kFailed;
    }
    for (const auto& r : emu::registers()) printRegister(r.id, (*all)[static_cast<int>(r.id)]);
    return kOk;
  }
  if (cmd == "set" && args.size() == 3) {
    auto reg = emu::findRegister(args[1]);
    if (!reg) return usageError(("unknown register: " + args[1]).c_str());
    auto value = emu::parseUserNumber(args[2]);
    if (!value) return usageError(("not a number from 0 to 4294967295: " + args[2]).c_str());
    auto stored = ec.write(*reg, *value);
    if (!stored) {
      std::fprintf(stderr, "emuctl: cannot write the EC state\n");
      return kFailed;
    }
    printRegister(*reg, *stored);
    return kOk;
  }
  if (cmd == "install" || cmd == "uninstall" || cmd == "reset" || cmd == "get" || cmd == "set")
    return usageError(("wrong arguments for " + cmd).c_str());
  return usageError(("unknown command: " + cmd).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(emu::toUtf8(argv[i]));
  int rc = run(args);
  std::fflush(stdout);
  return rc;
}
