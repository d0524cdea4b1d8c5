// The emulated audio state in the prefix's registry (64-bit view, value
// "Audio" of the emulator's key), changed under the event queue's lock
// together with the notifications the change raises.
#pragma once

#include <functional>

#include "audio.h"

namespace emu {

// The stored state, or the default one when none (or a foreign one) is stored.
bool loadAudio(AudioState& s);
bool storeAudio(const AudioState& s);
// Loads, applies change, stores and raises what it returns, as one step for
// every process. False when the change was refused or the store failed.
bool changeAudio(const std::function<std::vector<AudioRaise>(AudioState&)>& change);

}  // namespace emu
