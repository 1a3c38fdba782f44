// The sound-file device's samples, exactly: what it delivers through the capture calls equals a
// one-shot conversion of the whole file with libsamplerate on one thread (the reference the
// streaming pass must keep to), for every sample format, both channel counts, several rates and
// odd lengths; and files cut short or holding a partial frame still get a clear outcome.
#include <fstream>
#include <iterator>
#include <limits>

#include "wave_file_fixture.h"

using namespace wave_file_test;
using WaveFileSamplesTest = WaveFileFixture;

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
