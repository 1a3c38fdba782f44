// The machine's sound devices through PortAudio. PortAudio is initialised on the first call;
// when it cannot be (no sound system at all) both lists are empty.
#pragma once
#include <memory>
#include <vector>

#include "platform/audio/wave.h"

namespace platform {

// Input devices (those with an input channel), in PortAudio's order.
std::vector<std::shared_ptr<WaveInDevice>> portAudioInputDevices();
// Output devices (those with an output channel), in PortAudio's order.
std::vector<std::shared_ptr<WaveOutDevice>> portAudioOutputDevices();

}  // namespace platform
