// A 60 Hz sine in a WAV file captured through the sound-file device with the main program's
// settings and start-up sequence: Init, a 900 ms wait, Start.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "platform/audio/wave_file.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;

class EndToEndTest : public WavorixTest {
protected:
    std::string sineFile(double hz, double seconds, double amplitude) {
        const int rate = 50000;
        std::vector<std::int16_t> s(static_cast<std::size_t>(rate * seconds));
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        const auto path = tempPath("sine60.wav").string();
        std::string error;
        EXPECT_TRUE(platform::writeSoundFile(path, s, 1, rate, &error)) << error;
        return path;
    }
};

TEST_F(EndToEndTest, CompleteComesEvery20msAfterTheLagWithThePeakAt60Hz) {
    platform::addWaveInDevice(std::make_shared<platform::SoundFileWaveIn>(sineFile(60, 4, 12000)));
    create();
    programSettings();
    call(d::Init);
    ASSERT_NE(get(d::DeviceHandle).toInt32(), 0);
    advance(900);
    const double t0 = now();
    call(d::Start);
    advance(1000);

    const auto complete = sink.of(ev::Complete);
    // Blocks of 20.48 ms arrive from the start; the first tick that finds its block 4 behind the
    // newest comes after five blocks, then one per 20 ms tick.
    ASSERT_GE(complete.size(), 40u);
    EXPECT_DOUBLE_EQ(complete[0].t - t0, 120);
    for (std::size_t i = 1; i < 40; ++i) EXPECT_DOUBLE_EQ(complete[i].t - complete[i - 1].t, 20) << i;
    EXPECT_EQ(complete[0].args[0].toInt32(), 5);  // the newest block
    EXPECT_EQ(complete[0].args[1].toInt32(), 1);  // block 1 in buffer 1
    EXPECT_NEAR(complete[0].args[2].toDouble(), 0.1024, 0.0011);  // arrival of block 5
    EXPECT_EQ(get(d::MissedCount).toInt32(), 0);

    // 60 Hz lies in bin 1 of 48.828125 Hz: the strongest bin above 0.
    std::vector<float> spec;
    ASSERT_EQ(get(d::Spectrum, {Variant::byRef(spec), Variant(1)}).toInt32(), 512);
    std::size_t peak = 1;
    for (std::size_t i = 1; i < spec.size(); ++i)
        if (spec[i] > spec[peak]) peak = i;
    EXPECT_EQ(peak, 1u);
    EXPECT_GT(spec[1], 3000.0f);
    EXPECT_DOUBLE_EQ(get(d::MaxFrequencyL).toDouble(), 48.828125);
    EXPECT_NEAR(get(d::MaxAmplitudeL).toInt32(), 12000, 5);
    call(d::Reset);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
}

TEST_F(EndToEndTest, BadInputFilesGiveAClearErrorFromInit) {
    const auto notSound = tempPath("notes.txt");
    std::ofstream(notSound) << "this is not a sound file";
    const auto truncated = tempPath("cut.wav");
    {
        const auto good = sineFile(60, 0.5, 1000);
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, 30);
    }
    for (const auto& path : {tempPath("missing.wav"), notSound, truncated}) {
        platform::resetWaveDevices();
        platform::addWaveInDevice(std::make_shared<platform::SoundFileWaveIn>(path.string()));
        newForm();
        create();
        programSettings();
        try {
            call(d::Init);
            ADD_FAILURE() << path;
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), 1051);
            EXPECT_NE(e.description().find(path.filename().string()), std::string::npos) << e.description();
            EXPECT_NE(e.description().find("\r\nFunction InitX in clsVorix"), std::string::npos);
        }
        EXPECT_EQ(get(d::Status).toInt32(), 0);
    }
}

}  // namespace
}  // namespace wxtest
