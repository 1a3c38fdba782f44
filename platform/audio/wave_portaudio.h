// The machine's sound devices through PortAudio. PortAudio is started on the first call and
// started again (reading the devices afresh) by portAudioRestart; while it cannot be started (no
// sound system at all) both lists are empty.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/wave.h"

namespace platform {

// Input devices (those with an input channel): the system's default input device first, then
// the others in PortAudio's order.
std::vector<std::shared_ptr<WaveInDevice>> portAudioInputDevices();
// Output devices (those with an output channel), the default one first likewise.
std::vector<std::shared_ptr<WaveOutDevice>> portAudioOutputDevices();
// Starts PortAudio again so that the next lists are read afresh; not while one of its streams
// is open (then nothing happens and false is returned).
bool portAudioRestart();
// Why the machine offers no capture device: no sound server and no card, no server, ...
std::string portAudioNoDeviceReason();

}  // namespace platform
