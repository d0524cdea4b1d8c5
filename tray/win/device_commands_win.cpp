#include "device_commands_win.h"

#include "Brindle.h"
#include "device_commands.h"

#include <vector>

namespace vx {

namespace {

bool TestBit(const BitQuery& query) {
    auto reply = SendDeviceCommand(query.command);
    return BitIsSet(reply.has_value(), reply ? *reply : std::string(), query.bit);
}

void ChangeSystemFlag(int on, FlagWrite flag) {
    auto reply = SendDeviceCommand(kCmdQuerySystem1);
    auto value = NewFlagValue(reply.has_value(), reply ? *reply : std::string(), on, flag);
    if (!value) return;
    SendDeviceCommand(SystemFlagWriteCommand(*value).c_str());
}

}  // namespace

std::optional<std::string> SendDeviceCommand(const char* command) {
    RequestArea request;
    if (!FillRequest(command, request)) return std::nullopt;
    std::vector<char> reply(kReplySize, '\0');
    if (!ZEL_CallNamePipe(request.data(), static_cast<DWORD>(request.size()), reply.data(),
                          static_cast<DWORD>(reply.size())))
        return std::nullopt;
    return ReplyText(reply.data(), reply.size());
}

void NotifySoftwareStart() { SendDeviceCommand(kCmdSoftwareStart); }
void NotifySoftwareExit() { SendDeviceCommand(kCmdSoftwareExit); }

bool IsWirelessOn() { return TestBit(kWirelessOn); }
bool IsBluetoothOn() { return TestBit(kBluetoothOn); }
bool IsWebcamOn() { return TestBit(kWebcamOn); }
bool Is3GOn() { return TestBit(k3GOn); }
bool IsTouchpadFlagSet() { return TestBit(kTouchpadFlag); }
bool IsEcoOn() { return TestBit(kEcoOn); }
bool IsTurboOn() { return TestBit(kTurboOn); }

void SetEcoFlag(int on) { ChangeSystemFlag(on, kEcoFlag); }
void SetTheaterFlag(int on) { ChangeSystemFlag(on, kTheaterFlag); }

std::optional<std::string> ReadAslVersion() { return SendDeviceCommand(kCmdQueryAslVersion); }
std::optional<std::string> ReadBiosVersion() { return SendDeviceCommand(kCmdQueryBiosVersion); }

}  // namespace vx
