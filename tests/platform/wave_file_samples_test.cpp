// The sound-file device's samples, exactly: what it delivers through the capture calls equals a
// one-shot conversion of the whole file with libsamplerate on one thread (the reference the
// streaming pass must keep to), for every sample format, both channel counts, several rates and
// odd lengths; and files cut short or holding a partial frame still get a clear outcome.
#include <gtest/gtest.h>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/eventloop.h"
#include "platform/wave.h"
#include "platform/wave_file.h"
#include "platform/windows.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRate = 50000;
constexpr std::size_t kFrames = 1024;  // one capture buffer: 20.48 ms

// Float samples in [-1, 1): a chirp with noise, so that no two neighbouring outputs agree by luck.
std::vector<float> content(std::size_t frames, int channels, std::uint32_t seed) {
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
std::vector<std::int16_t> reference(const std::string& path, int channels) {
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

class WaveFileSamplesTest : public ::testing::Test {
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
    }
    void TearDown() override {
        resetWaveDevices();
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
    std::vector<std::int16_t> capture(const std::string& path, int channels, std::size_t frames) {
        resetWaveDevices();
        addWaveInDevice(std::make_shared<SoundFileWaveIn>(path));
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
};

}  // namespace

TEST_F(WaveFileSamplesTest, DeliveredSamplesEqualAOneShotConversionForEveryFormatRateAndLength) {
    struct Format {
        const char* name;
        int format;
    };
    const Format formats[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},   {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},  {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},   {"s24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"s16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    const int rates[] = {8000, 22050, 44100, 48000, 50000, 96000};
    // Odd lengths around the reader's 4096-frame chunks, and a single frame.
    const std::size_t lengths[] = {1, 4095, 4097, 12289};
    std::uint32_t seed = 1;
    for (const Format& format : formats) {
        for (const int fileChannels : {1, 2}) {
            for (const int rate : rates) {
                for (const std::size_t length : lengths) {
                    // Every format at 44.1 kHz; the other rates with a rotating pick of formats.
                    if (rate != 44100 && (seed++ % 3) != 0) continue;
                    const std::string name =
                        std::to_string(rate) + "-" + std::to_string(fileChannels) + "-" + std::to_string(length) + "-" +
                        format.name;
                    const std::string path = write(name, format.format, fileChannels, rate,
                                                   content(length, fileChannels, seed));
                    for (const int channels : {1, 2}) {
                        SCOPED_TRACE(name + " captured with " + std::to_string(channels) + " channel(s)");
                        expectReference(path, channels);
                    }
                }
            }
        }
    }
}

// Float files hold what 16 bits cannot: beyond full scale, infinities, NaN, halves between two
// steps. They come out as libsamplerate makes them 16-bit, at the asked rate and converted.
TEST_F(WaveFileSamplesTest, FloatSamplesBeyondSixteenBitsAreMadeSixteenBitAsTheLibraryDoes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> s = {0.0f, -0.0f, 1.0f, -1.0f, 1.5f, -1.5f, 1e30f, -1e30f, inf, -inf, nan,
                            32767.0f / 32768, 32766.5f / 32768, -32767.5f / 32768, 1e-40f, -1e-40f};
    for (int k = -40; k <= 40; ++k) s.push_back((static_cast<float>(k) + 0.5f) / 32768);  // ties to even
    for (int k = 0; k < 3000; ++k) s.push_back(std::ldexp(static_cast<float>(k % 97) - 48.3f, -(k % 23)));
    const std::string atRate = write("extreme.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, kRate, s);
    expectReference(atRate, 1);
    expectReference(atRate, 2);
    // Converted: infinities and NaN spread over their neighbours, as the library spreads them.
    expectReference(write("extreme44.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, s), 1);
}

// 10 s at 44.1 kHz: the converting thread runs into its read-ahead limit and waits several times.
TEST_F(WaveFileSamplesTest, LongFileConvertedAheadEqualsTheOneShotConversion) {
    const std::string path = write("long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, content(44100 * 10 + 7, 1, 9));
    expectReference(path, 1);
}

// A data chunk of an odd byte count (half a sample at its end) and a stereo file whose last frame
// is cut in two play their whole frames, converted or not; a file cut inside a sample is refused
// as truncated, naming it.
TEST_F(WaveFileSamplesTest, PartialLastFramePlaysTheWholeFramesAndACutFileIsRefused) {
    auto rewriteWithExtraBytes = [&](const std::string& from, const std::string& to, std::size_t extra) {
        std::ifstream in(from, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The data chunk is the file's last: its size field sits just after its name.
        auto put32 = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        const std::size_t chunk = bytes.rfind("data");
        EXPECT_NE(chunk, std::string::npos);
        bytes.append(extra, '\x11');
        put32(4, static_cast<std::uint32_t>(bytes.size() - 8));
        put32(chunk + 4, static_cast<std::uint32_t>(bytes.size() - chunk - 8));
        std::ofstream(to, std::ios::binary) << bytes;
        return to;
    };
    for (const int rate : {44100, 50000}) {
        SCOPED_TRACE(rate);
        const std::string r = std::to_string(rate);
        const std::string mono = write("m" + r + ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate, content(3001, 1, 4));
        const std::string stereo =
            write("s" + r + ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, rate, content(2999, 2, 5));
        const std::string oddMono = rewriteWithExtraBytes(mono, (dir / ("odd-m" + r + ".wav")).string(), 1);
        const std::string halfFrame = rewriteWithExtraBytes(stereo, (dir / ("half-s" + r + ".wav")).string(), 3);
        for (const auto& [path, whole] : {std::pair{oddMono, mono}, std::pair{halfFrame, stereo}}) {
            SCOPED_TRACE(path);
            std::string error;
            ASSERT_EQ(SoundFileWaveIn(path).check(error), MMSYSERR_NOERROR) << error;
            const std::vector<std::int16_t> want = reference(whole, 1);
            ASSERT_FALSE(want.empty());
            EXPECT_EQ(reference(path, 1), want) << "the partial frame is not a frame";
            expectReference(path, 1);
        }

        // Cut inside a sample, a third of the way in: the header promises more than the file holds.
        std::ifstream in(mono, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string cut = (dir / ("cut" + r + ".wav")).string();
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.rfind("data") + 8 + 2001);
        resetWaveDevices();
        addWaveInDevice(std::make_shared<SoundFileWaveIn>(cut));
        const WAVEFORMATEX f = makePcmFormat(kRate, 1);
        HWAVEIN h = 77;
        EXPECT_EQ(waveInOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_ERROR);
        EXPECT_EQ(h, 0);
        const std::string text = waveLastErrorText();
        EXPECT_NE(text.find("truncated"), std::string::npos) << text;
        EXPECT_NE(text.find(cut), std::string::npos) << text;
    }
}
