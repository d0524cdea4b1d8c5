#include "device_commands_win.h"

#include "Brindle.h"
#include "device_commands.h"

#include <vector>

namespace vx {

namespace {

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

bool IsBitOn(const BitQuery& query) {
    auto reply = SendDeviceCommand(query.command);
    return BitIsSet(reply.has_value(), reply ? *reply : std::string(), query.bit);
}

void NotifySoftwareStart() { SendDeviceCommand(kCmdSoftwareStart); }
void NotifySoftwareExit() { SendDeviceCommand(kCmdSoftwareExit); }

bool IsWirelessOn() { return IsBitOn(kWirelessOn); }
bool IsBluetoothOn() { return IsBitOn(kBluetoothOn); }
bool IsWebcamOn() { return IsBitOn(kWebcamOn); }
bool Is3GOn() { return IsBitOn(k3GOn); }
bool IsTouchpadFlagSet() { return IsBitOn(kTouchpadFlag); }
bool IsEcoOn() { return IsBitOn(kEcoOn); }
bool IsTurboOn() { return IsBitOn(kTurboOn); }

void SetEcoFlag(int on) { ChangeSystemFlag(on, kEcoFlag); }
void SetTheaterFlag(int on) { ChangeSystemFlag(on, kTheaterFlag); }

std::optional<std::string> ReadAslVersion() { return SendDeviceCommand(kCmdQueryAslVersion); }
std::optional<std::string> ReadBiosVersion() { return SendDeviceCommand(kCmdQueryBiosVersion); }

}  // namespace vx
