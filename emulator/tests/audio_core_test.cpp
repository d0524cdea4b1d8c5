#include "audio.h"

#include <gtest/gtest.h>

using namespace emu;

TEST(AudioCore, ChangesAndWhatTheyRaise) {
  AudioState s = defaultAudio();
  ASSERT_TRUE(validAudio(s));
  EXPECT_EQ(findAudioDevice(s, audioDeviceId(s, 1)), 1u);
  EXPECT_EQ(findAudioDevice(s, "{0.0.0.00000000}.{nope}"), std::nullopt);

  auto r = setAudioVolume(s, 0, 0.994f);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].eventClass, kAudioVolumeClass);
  EXPECT_EQ(volumeFromBits(r[0].values[1]), 0.994f);
  EXPECT_TRUE(setAudioVolume(s, 0, 1.5f).empty());
  r = setAudioMute(s, 0, true);
  EXPECT_EQ(r[0].values, (std::vector<std::uint32_t>{0, volumeBits(0.994f), 1}));

  r = addAudioDevice(s, AudioFlow::Render);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].values, (std::vector<std::uint32_t>{0, 2, 0, 0}));
  // Removing the default playback device makes the added one default, for every role.
  r = removeAudioDevice(s, 0);
  ASSERT_EQ(r.size(), 1u + kAudioRoles);
  EXPECT_EQ(r[0].values, (std::vector<std::uint32_t>{1, 0, 0, 0}));
  for (std::uint32_t role = 0; role < kAudioRoles; ++role)
    EXPECT_EQ(r[1 + role].values, (std::vector<std::uint32_t>{2, 2, 0, role}));
  EXPECT_TRUE(setAudioVolume(s, 0, 0.5f).empty());  // gone
  // The last playback device removed: no default is left.
  r = removeAudioDevice(s, 2);
  EXPECT_EQ(s.defaults[0], kNoDevice);
  EXPECT_EQ(r.back().values[1], kNoDevice);
  // A default change of the recording device.
  addAudioDevice(s, AudioFlow::Capture);
  r = setAudioDefault(s, 3);
  ASSERT_EQ(r.size(), kAudioRoles);
  EXPECT_EQ(r[0].values, (std::vector<std::uint32_t>{2, 3, 1, 0}));
  for (int i = 0; i < 8; ++i) addAudioDevice(s, AudioFlow::Render);
  EXPECT_EQ(s.count, kMaxAudioDevices);
  EXPECT_TRUE(validAudio(s));
}
