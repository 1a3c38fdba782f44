// What a capture callback makes of the device's float frames: 16-bit samples, the channels the
// program asked for, and the program's rate when the device forces another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include "platform/audio/capture_convert.h"

namespace {

// Mono frames through the converter in callbacks of chunkFrames.
std::vector<std::int16_t> run(platform::CaptureConverter& c, const std::vector<float>& in, std::size_t chunkFrames) {
    std::vector<std::int16_t> out;
    for (std::size_t f = 0; f < in.size(); f += chunkFrames)
        c.convert(in.data() + f, std::min(chunkFrames, in.size() - f),
                  [&](const std::int16_t* s, std::size_t n) { out.insert(out.end(), s, s + n); });
    return out;
}

TEST(CaptureConverter, FloatBecomes16BitAndChannelsAreFedOrMixed) {
    // Mono capture from a mono device at the same rate: scaled, rounded, clipped; no converter.
    platform::CaptureConverter mono(1, 1, 50000, 50000);
    ASSERT_TRUE(mono.ok());
    EXPECT_FALSE(mono.converts());
    EXPECT_EQ(run(mono, {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.7f, -3.0f, 0.25f}, 3),
              (std::vector<std::int16_t>{0, 16384, -16384, 32767, -32768, 32767, -32768, 8192}));

    // A mono device feeds both sides of a stereo capture.
    std::vector<std::int16_t> both;
    platform::CaptureConverter stereo(2, 1, 50000, 50000);
    stereo.convert(std::vector<float>{0.5f, -0.25f}.data(), 2,
                   [&](const std::int16_t* s, std::size_t n) { both.insert(both.end(), s, s + n * 2); });
    EXPECT_EQ(both, (std::vector<std::int16_t>{16384, 16384, -8192, -8192}));

    // A stereo device into a mono capture: the two sides mixed.
    std::vector<std::int16_t> mixed;
    platform::CaptureConverter down(1, 2, 50000, 50000);
    down.convert(std::vector<float>{0.5f, 0.0f, 1.0f, -1.0f}.data(), 2,
                 [&](const std::int16_t* s, std::size_t n) { mixed.insert(mixed.end(), s, s + n); });
    EXPECT_EQ(mixed, (std::vector<std::int16_t>{8192, 0}));
}

TEST(CaptureConverter, ADeviceAt48kHzIsConvertedTo50kHzWithoutLosingFramesOrPitch) {
    // The sound server runs at 48 kHz; the program asks 50 kHz. Ten seconds in 10 ms callbacks.
    constexpr int kDeviceRate = 48000, kRate = 50000, kSeconds = 10;
    std::vector<float> in(static_cast<std::size_t>(kDeviceRate * kSeconds));
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / kDeviceRate));
    platform::CaptureConverter c(1, 1, kRate, kDeviceRate);
    ASSERT_TRUE(c.ok()) << c.error();
    EXPECT_TRUE(c.converts());
    const std::vector<std::int16_t> out = run(c, in, 480);

    // All of it arrives, but for the converter's own delay of a few dozen frames.
    EXPECT_NEAR(static_cast<double>(out.size()), kRate * kSeconds, 100.0);
    // Still 1 kHz at the new rate, still half of full scale.
    int crossings = 0, peak = 0;
    for (std::size_t i = 1000; i < out.size(); ++i) {
        if ((out[i - 1] < 0) != (out[i] < 0)) ++crossings;
        peak = std::max(peak, std::abs(static_cast<int>(out[i])));
    }
    const double seconds = static_cast<double>(out.size() - 1000) / kRate;
    EXPECT_NEAR(crossings / seconds, 2000.0, 5.0);
    EXPECT_NEAR(peak, 16384, 400);
}

}  // namespace
