// The sound-file device's samples as the tests check them: generated content, the reference a
// one-shot conversion of the whole file gives, and a fixture that captures a file through the
// capture calls on the virtual clock, each test with its own folder and its own cache folder.
#pragma once
#include <gtest/gtest.h>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/loop/eventloop.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_file.h"
#include "platform/windows/windows.h"

namespace wave_file_test {

using namespace platform;
namespace fs = std::filesystem;

inline constexpr std::uint32_t kRate = 50000;
inline constexpr std::size_t kFrames = 1024;  // one capture buffer: 20.48 ms

// Float samples in [-1, 1): a chirp with noise, so that no two neighbouring outputs agree by luck.
inline std::vector<float> content(std::size_t frames, int channels, std::uint32_t seed) {
    std::vector<float> s(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<double>(seed >> 8) / (1u << 24) - 0.5;
            const double tone = std::sin(0.0003 * static_cast<double>(f * f) / (c + 1) + c);
            s[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<float>(0.6 * tone + 0.35 * noise);
        }
    }
    return s;
}

// What the device must deliver: the file read as floats, brought to the asked channels (the
// average for mono, a mono file doubled for stereo), converted in one call, then made 16-bit.
inline std::vector<std::int16_t> reference(const std::string& path, int channels) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return {};
    }
    const auto fch = static_cast<std::size_t>(info.channels);
    std::vector<float> raw(static_cast<std::size_t>(info.frames) * fch);
    const sf_count_t n = sf_readf_float(f, raw.data(), info.frames);
    sf_close(f);
    const auto frames = static_cast<std::size_t>(n);
    const auto ch = static_cast<std::size_t>(channels);
    std::vector<float> in(frames * ch);
    for (std::size_t i = 0; i < frames; ++i) {
        const float* src = raw.data() + i * fch;
        float* out = in.data() + i * ch;
        if (fch == ch) {
            std::copy(src, src + ch, out);
        } else if (fch == 1) {
            std::fill(out, out + ch, src[0]);
        } else if (ch == 1) {
            float sum = 0;
            for (std::size_t c = 0; c < fch; ++c) sum += src[c];
            out[0] = sum / static_cast<float>(fch);
        } else {
            out[0] = src[0];
            out[1] = src[1];
        }
    }
    std::vector<float> converted = in;
    if (static_cast<std::uint32_t>(info.samplerate) != kRate) {
        const double ratio = static_cast<double>(kRate) / info.samplerate;
        converted.assign((static_cast<std::size_t>(static_cast<double>(frames) * ratio) + 64) * ch, 0.0f);
        SRC_DATA d{};
        d.data_in = in.data();
        d.input_frames = static_cast<long>(frames);
        d.data_out = converted.data();
        d.output_frames = static_cast<long>(converted.size() / ch);
        d.src_ratio = ratio;
        d.end_of_input = 1;
        if (const int e = src_simple(&d, SRC_SINC_FASTEST, channels); e != 0) {
            ADD_FAILURE() << path << ": " << src_strerror(e);
            return {};
        }
        converted.resize(static_cast<std::size_t>(d.output_frames_gen) * ch);
    }
    std::vector<std::int16_t> out(converted.size());
    src_float_to_short_array(converted.data(), out.data(), static_cast<int>(out.size()));
    return out;
}

class WaveFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EventLoop::setCurrent(&loop);
        WindowRegistry::setCurrent(&reg);
        setSystemWaveDevices(false);
        resetWaveDevices();
        hwnd = reg.create("ThunderRT6TextBox", "", 0, [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        dir = fs::temp_directory_path() / ("korvella-wavesamples-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        if (const char* c = std::getenv("XDG_CACHE_HOME")) savedCache = c;
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    }
    void TearDown() override {
        resetWaveDevices();
        if (savedCache) ::setenv("XDG_CACHE_HOME", savedCache->c_str(), 1);
        else ::unsetenv("XDG_CACHE_HOME");
        std::error_code ec;
        fs::remove_all(dir, ec);
        WindowRegistry::setCurrent(nullptr);
        EventLoop::setCurrent(nullptr);
    }

    std::string write(const std::string& name, int format, int channels, int rate, const std::vector<float>& s) {
        const std::string path = (dir / name).string();
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = rate;
        info.format = format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
        if (!f) return path;
        EXPECT_EQ(sf_writef_float(f, s.data(), static_cast<sf_count_t>(s.size() / static_cast<std::size_t>(channels))),
                  static_cast<sf_count_t>(s.size() / static_cast<std::size_t>(channels)));
        sf_close(f);
        return path;
    }

    // Captures `frames` frames from the file through the capture calls, in 1024-frame buffers.
    std::vector<std::int16_t> capture(const std::string& path, int channels, std::size_t frames, bool looping = false) {
        resetWaveDevices();
        addWaveInDevice(std::make_shared<SoundFileWaveIn>(path, looping));
        const WAVEFORMATEX f = makePcmFormat(kRate, static_cast<std::uint16_t>(channels));
        HWAVEIN h = 0;
        EXPECT_EQ(waveInOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR)
            << waveLastErrorText();
        if (!h) return {};
        const std::size_t count = (frames + kFrames - 1) / kFrames;
        std::vector<std::vector<std::int16_t>> data(count, std::vector<std::int16_t>(kFrames * channels));
        std::vector<WAVEHDR> hdrs(count);
        for (std::size_t i = 0; i < count; ++i) {
            hdrs[i].lpData = reinterpret_cast<char*>(data[i].data());
            hdrs[i].dwBufferLength = static_cast<std::uint32_t>(data[i].size() * 2);
            EXPECT_EQ(waveInPrepareHeader(h, &hdrs[i], WAVEHDR_SIZE32), MMSYSERR_NOERROR);
            EXPECT_EQ(waveInAddBuffer(h, &hdrs[i], WAVEHDR_SIZE32), MMSYSERR_NOERROR);
        }
        waveInStart(h);
        loop.advance(static_cast<std::int64_t>(std::ceil(static_cast<double>(count * kFrames) * 1000.0 / kRate)) + 1);
        std::vector<std::int16_t> got;
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(hdrs[i].dwBytesRecorded, kFrames * 2 * channels) << "buffer " << i;
            got.insert(got.end(), data[i].begin(), data[i].end());
        }
        waveInReset(h);
        waveInClose(h);
        got.resize(frames * static_cast<std::size_t>(channels));
        return got;
    }

    // The captured samples are the reference's, then silence.
    void expectReference(const std::string& path, int channels) {
        // May be empty: a single frame at 96 kHz gives no frame at 50 kHz.
        const std::vector<std::int16_t> want = reference(path, channels);
        const std::size_t frames = want.size() / static_cast<std::size_t>(channels) + 3000;
        const std::vector<std::int16_t> got = capture(path, channels, frames);
        ASSERT_EQ(got.size(), frames * static_cast<std::size_t>(channels));
        std::size_t firstDiff = 0;
        while (firstDiff < want.size() && got[firstDiff] == want[firstDiff]) ++firstDiff;
        EXPECT_EQ(firstDiff, want.size()) << "first different sample of " << want.size();
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(want.size()), got.end(),
                                [](std::int16_t s) { return s == 0; }))
            << "silence after the file";
    }

    EventLoop loop{std::make_unique<VirtualClock>()};
    WindowRegistry reg;
    HWND hwnd = 0;
    fs::path dir;
    std::optional<std::string> savedCache;
};

}  // namespace wave_file_test
