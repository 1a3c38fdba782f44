// The machine's sound devices through PortAudio: looking for them is quiet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/audio/wave_portaudio.h"

namespace {

TEST(MachineSoundDevices, LookingForThemWritesNothingOnStderrAndStartsNoServer) {
    ::unsetenv("JACK_NO_START_SERVER");
    testing::internal::CaptureStderr();
    const auto inputs = platform::portAudioInputDevices();
    const auto outputs = platform::portAudioOutputDevices();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the probe of the sound system is held back";
    const char* noServer = std::getenv("JACK_NO_START_SERVER");
    EXPECT_EQ(std::string(noServer ? noServer : ""), "1");

    // Later looks find the same devices; stderr is the program's own again.
    EXPECT_EQ(platform::portAudioInputDevices().size(), inputs.size());
    EXPECT_EQ(platform::portAudioOutputDevices().size(), outputs.size());
    testing::internal::CaptureStderr();
    std::fputs("eigene Meldung\n", stderr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "eigene Meldung\n");
}

}  // namespace
