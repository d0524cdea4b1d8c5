#include "audio.h"

#include <cstring>

namespace emu {
namespace {

std::vector<AudioRaise> defaultChanged(const AudioState& s, std::uint32_t flow) {
  std::vector<AudioRaise> out;
  for (std::uint32_t role = 0; role < kAudioRoles; ++role)
    out.push_back({kAudioDeviceClass,
                   {static_cast<std::uint32_t>(DeviceChange::DefaultChanged), s.defaults[flow], flow, role}});
  return out;
}

AudioRaise volumeRaise(const AudioState& s, std::uint32_t index) {
  return {kAudioVolumeClass, {index, volumeBits(s.devices[index].volume), s.devices[index].mute}};
}

}  // namespace

float volumeFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

std::uint32_t volumeBits(float volume) {
  std::uint32_t bits;
  std::memcpy(&bits, &volume, sizeof bits);
  return bits;
}

AudioState defaultAudio() {
  AudioState s{};
  s.magic = kAudioMagic;
  s.count = 2;
  s.devices[0] = {1, static_cast<std::uint32_t>(AudioFlow::Render), 0, 0.5f};
  s.devices[1] = {1, static_cast<std::uint32_t>(AudioFlow::Capture), 0, 0.75f};
  s.defaults[0] = 0;
  s.defaults[1] = 1;
  return s;
}

bool validAudio(const AudioState& s) {
  if (s.magic != kAudioMagic || s.count > kMaxAudioDevices) return false;
  for (std::uint32_t d : s.defaults)
    if (d != kNoDevice && d >= s.count) return false;
  return true;
}

bool audioPresent(const AudioState& s, std::uint32_t index) { return index < s.count && s.devices[index].present; }

std::string audioDeviceId(const AudioState& s, std::uint32_t index) {
  const std::uint32_t flow = index < s.count ? s.devices[index].flow : 0;
  return "{0.0." + std::to_string(flow) + ".00000000}.{emulated-" + std::to_string(index) + "}";
}

std::optional<std::uint32_t> findAudioDevice(const AudioState& s, std::string_view id) {
  for (std::uint32_t i = 0; i < s.count; ++i)
    if (audioDeviceId(s, i) == id) return i;
  return std::nullopt;
}

std::vector<AudioRaise> setAudioVolume(AudioState& s, std::uint32_t index, float scalar) {
  if (!audioPresent(s, index) || !(scalar >= 0.0f && scalar <= 1.0f)) return {};
  s.devices[index].volume = scalar;
  return {volumeRaise(s, index)};
}

std::vector<AudioRaise> setAudioMute(AudioState& s, std::uint32_t index, bool mute) {
  if (!audioPresent(s, index)) return {};
  s.devices[index].mute = mute ? 1 : 0;
  return {volumeRaise(s, index)};
}

std::vector<AudioRaise> addAudioDevice(AudioState& s, AudioFlow flow) {
  if (s.count >= kMaxAudioDevices) return {};
  const std::uint32_t index = s.count++;
  s.devices[index] = {1, static_cast<std::uint32_t>(flow), 0, 0.5f};
  return {{kAudioDeviceClass, {static_cast<std::uint32_t>(DeviceChange::Added), index,
                               static_cast<std::uint32_t>(flow), 0}}};
}

std::vector<AudioRaise> removeAudioDevice(AudioState& s, std::uint32_t index) {
  if (!audioPresent(s, index)) return {};
  s.devices[index].present = 0;
  const std::uint32_t flow = s.devices[index].flow;
  std::vector<AudioRaise> out = {
      {kAudioDeviceClass, {static_cast<std::uint32_t>(DeviceChange::Removed), index, flow, 0}}};
  if (s.defaults[flow] == index) {
    s.defaults[flow] = kNoDevice;
    for (std::uint32_t i = 0; i < s.count; ++i)
      if (s.devices[i].present && s.devices[i].flow == flow) {
        s.defaults[flow] = i;
        break;
      }
    for (auto& r : defaultChanged(s, flow)) out.push_back(std::move(r));
  }
  return out;
}

std::vector<AudioRaise> setAudioDefault(AudioState& s, std::uint32_t index) {
  if (!audioPresent(s, index)) return {};
  const std::uint32_t flow = s.devices[index].flow;
  s.defaults[flow] = index;
  return defaultChanged(s, flow);
}

}  // namespace emu
