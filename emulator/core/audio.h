// The emulated audio endpoints shared by every process of a run: playback
// and recording devices with master volume and mute, the default device of
// each data flow, and the notifications each change raises (event-queue
// batches of two classes beside the firmware's, core/event_class.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

inline constexpr std::uint32_t kAudioMagic = 0x31445541;  // "AUD1"
inline constexpr std::size_t kMaxAudioDevices = 8;
inline constexpr std::uint32_t kNoDevice = 0xFFFFFFFF;

// Event-queue classes: volume [device, volume bits (float), mute];
// device [change, device, flow, role].
inline constexpr std::uint32_t kAudioVolumeClass = 3;
inline constexpr std::uint32_t kAudioDeviceClass = 4;

enum class AudioFlow : std::uint32_t { Render = 0, Capture = 1 };
enum class DeviceChange : std::uint32_t { Added = 0, Removed = 1, DefaultChanged = 2 };
inline constexpr std::uint32_t kAudioRoles = 3;  // console, multimedia, communications

struct AudioDevice {
  std::uint32_t present;
  std::uint32_t flow;
  std::uint32_t mute;
  float volume;  // master volume scalar, 0 to 1
};

// Plain data of one fixed layout for both bitnesses.
struct AudioState {
  std::uint32_t magic;
  std::uint32_t count;             // device slots in use (removed ones stay, not present)
  std::uint32_t defaults[2];       // per flow: device index or kNoDevice
  AudioDevice devices[kMaxAudioDevices];
};
static_assert(sizeof(AudioState) == 16 + 16 * kMaxAudioDevices);

struct AudioRaise {
  std::uint32_t eventClass;
  std::vector<std::uint32_t> values;
};

// Speakers (playback, default, volume 0.5) and a microphone (recording,
// default, volume 0.75), neither muted.
AudioState defaultAudio();
bool validAudio(const AudioState& s);

// Endpoint ids: "{0.0.<flow>.00000000}.{emulated-<index>}".
std::string audioDeviceId(const AudioState& s, std::uint32_t index);
std::optional<std::uint32_t> findAudioDevice(const AudioState& s, std::string_view id);
bool audioPresent(const AudioState& s, std::uint32_t index);

// Every change returns what it raises; nothing when it was refused.
std::vector<AudioRaise> setAudioVolume(AudioState& s, std::uint32_t index, float scalar);
std::vector<AudioRaise> setAudioMute(AudioState& s, std::uint32_t index, bool mute);
std::vector<AudioRaise> addAudioDevice(AudioState& s, AudioFlow flow);
// A removed default is replaced by the first present device of its flow
// (or none), announced for every role.
std::vector<AudioRaise> removeAudioDevice(AudioState& s, std::uint32_t index);
std::vector<AudioRaise> setAudioDefault(AudioState& s, std::uint32_t index);

float volumeFromBits(std::uint32_t bits);
std::uint32_t volumeBits(float volume);

}  // namespace emu
