// The device command set: each wrapper sends one command string to the
// command service and reads its reply. All of them block the calling thread
// for at most the pipe's wait plus the service's work.
#pragma once

#include <optional>
#include <string>

namespace vx {

// One exchange with the command service: the reply text, or nothing when the
// service could not be reached or the command does not fit a request.
std::optional<std::string> SendDeviceCommand(const char* command);

void NotifySoftwareStart();  // the hotkey program runs
void NotifySoftwareExit();   // the hotkey program is leaving

struct BitQuery;
// One device state read: true only when the service answered and the reply's
// number has the query's bit set.
bool IsBitOn(const BitQuery& query);

bool IsWirelessOn();
bool IsBluetoothOn();
bool IsWebcamOn();
bool Is3GOn();
bool IsTouchpadFlagSet();
bool IsEcoOn();
bool IsTurboOn();

// Switch one flag of System instance 1 on (1) or off (0) by read, modify,
// write. When the read gets no number the register is left untouched.
void SetEcoFlag(int on);
void SetTheaterFlag(int on);

// The firmware interface version text, or nothing when the service did not answer.
std::optional<std::string> ReadAslVersion();
// The BIOS version text, or nothing when the service did not answer.
std::optional<std::string> ReadBiosVersion();

}  // namespace vx
