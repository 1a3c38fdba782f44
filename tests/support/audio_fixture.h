// A test with the audio control on virtual time: a settings store of its own in a temporary
// folder, only the capture devices the test adds, and the control library registered from the
// build (WAVORIX_LIBRARY names it).
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/component.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave.h"
#include "support/fixture.h"
#include "wavorix/state.h"

namespace testsupport {

class AudioTest : public VirtualTest {
protected:
    explicit AudioTest(const std::string& folderPrefix,
                       forms::Runtime::ClockKind clock = forms::Runtime::ClockKind::Virtual)
        : VirtualTest(clock) {
        ::unsetenv("KORVELLA_INPUT_FILE");
        static int counter = 0;
        configDir_ = std::filesystem::temp_directory_path() /
                     (folderPrefix + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(configDir_);
        platform::setConfigDir(configDir_.string());
        platform::setSystemWaveDevices(false);
        platform::resetWaveDevices();
        wavorix::resetEngineState();
        EXPECT_EQ(platform::com::callRegistrationEntry(WAVORIX_LIBRARY, false), platform::com::S_OK);
    }

    ~AudioTest() override {
        platform::resetWaveDevices();
        wavorix::resetEngineState();
        platform::setConfigDir("");
        std::error_code ec;
        std::filesystem::remove_all(configDir_, ec);
    }

    std::filesystem::path tempPath(const std::string& name) const { return configDir_ / name; }

private:
    std::filesystem::path configDir_;
};

}  // namespace testsupport
