// The transform and the measures of the analysis step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "wavorix/fft.h"
#include "wavorix/fft_internal.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using namespace wavorix::FFT;

std::vector<float> spectrumOf(const std::vector<std::int16_t>& wave) {
    const auto n = static_cast<std::int32_t>(wave.size());
    std::vector<std::int32_t> table;
    InitBitReverse(table, n, 0);
    std::vector<float> spec(2 * wave.size() + 1, 0.0f);
    CalcFFT(wave, spec, table, n);
    return spec;
}

std::vector<std::int16_t> sine(std::size_t n, double cyclesPerBlock, double amplitude) {
    std::vector<std::int16_t> w(n);
    for (std::size_t i = 0; i < n; ++i)
        w[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * cyclesPerBlock * i / n)));
    return w;
}

TEST(FftTest, ZeroConstantAndSineBlocks) {
    auto zero = spectrumOf(std::vector<std::int16_t>(1024, 0));
    ASSERT_EQ(zero.size(), 512u);
    for (float v : zero) EXPECT_EQ(v, 0.0f);

    auto constant = spectrumOf(std::vector<std::int16_t>(1024, -100));
    ASSERT_EQ(constant.size(), 512u);
    EXPECT_EQ(constant[0], 100.0f);
    for (std::size_t i = 1; i < constant.size(); ++i) EXPECT_EQ(constant[i], 0.0f) << i;

    // A full-scale sine centred on bin 37 gives about half its amplitude there.
    auto s = spectrumOf(sine(1024, 37, 32767));
    ASSERT_EQ(s.size(), 512u);
    EXPECT_NEAR(s[37], 32767 / 2.0, 2.0);
    for (std::size_t i = 0; i < s.size(); ++i)
        if (i != 37) {
            EXPECT_LT(s[i], 1.0f) << i;
        }
}

// A fixed pseudo-random block of n samples.
std::vector<std::int16_t> noiseBlock(std::size_t n) {
    std::vector<std::int16_t> w(n);
    std::uint32_t x = 12345;
    for (auto& v : w) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::int16_t>(x >> 16);
    }
    return w;
}

std::uint64_t bitsHash(const std::vector<float>& s) {
    std::uint64_t h = 1469598103934665603ull;
    for (float v : s) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        h = (h ^ bits) * 1099511628211ull;
    }
    return h;
}

TEST(FftTest, ResultsAreTheSameOnEveryBuild) {
    // A fixed block; the hash of the spectrum's bits pins the rounding of every step.
    const auto s = spectrumOf(noiseBlock(1024));
    EXPECT_EQ(bitsHash(s), 0x4aafe9ad7a3b7148ull) << std::hex << bitsHash(s);
}

TEST(FftTest, ResultsAreTheSameForEverySizeInAnyOrder) {
    // Every size has its own factors; sizes taken in turn must not disturb one another.
    const std::vector<std::pair<std::size_t, std::uint64_t>> pinned = {
        {2, 0xbfdd2b6a38045799ull},   {4, 0xf21664e450ff047aull},   {8, 0x2151c315a57349a6ull},
        {16, 0xb98f11390069acb6ull},  {64, 0x66896f20d9b9d9c5ull},  {512, 0x631d2851080f45d2ull},
        {4096, 0xa0b27cae39a7d22cull}};
    for (int round = 0; round < 2; ++round)
        for (const auto& [n, hash] : pinned) {
            const auto s = spectrumOf(noiseBlock(n));
            EXPECT_EQ(bitsHash(s), hash) << n << ": 0x" << std::hex << bitsHash(s);
        }
    const auto s = spectrumOf(noiseBlock(1024));
    EXPECT_EQ(bitsHash(s), 0x4aafe9ad7a3b7148ull);
}

TEST(FftTest, SpectrumAgreesWithADirectTransform) {
    // |X(k)| / N by the definition, in long double, against the transform: within a millionth
    // of the largest value, for a music-like block and for noise.
    constexpr std::size_t n = 1024;
    std::vector<std::int16_t> music(n);
    const auto noise = noiseBlock(n);
    for (std::size_t i = 0; i < n; ++i)
        music[i] = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 3 * i / n) +
                                                         3000 * std::sin(2 * M_PI * 57.3 * i / n) + noise[i] / 64));
    std::vector<long double> cosine(n), sines(n);
    for (std::size_t m = 0; m < n; ++m) {
        const long double a = 2.0L * 3.14159265358979323846264338327950288L * static_cast<long double>(m) / n;
        cosine[m] = std::cos(a);
        sines[m] = std::sin(a);
    }
    for (const auto& block : {music, noise}) {
        const auto s = spectrumOf(block);
        ASSERT_EQ(s.size(), n / 2);
        std::vector<long double> direct(n / 2);
        long double largest = 0;
        for (std::size_t k = 0; k < n / 2; ++k) {
            long double re = 0, im = 0;
            for (std::size_t i = 0; i < n; ++i) {
                re += block[i] * cosine[(k * i) % n];
                im -= block[i] * sines[(k * i) % n];
            }
            direct[k] = std::sqrt(re * re + im * im) / n;
            largest = std::max(largest, direct[k]);
        }
        ASSERT_GT(largest, 0);
        for (std::size_t k = 0; k < n / 2; ++k)
            EXPECT_LE(std::fabs(static_cast<long double>(s[k]) - direct[k]), 1e-6L * largest) << k;
    }
}

TEST(FftTest, WideUnitsGiveTheSameBitsAsThePlainOnes) {
    if (!wavorix::FFT::detail::haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    using wavorix::FFT::detail::CalcFFTWith;
    using wavorix::FFT::detail::Units;
    std::mt19937 rng(20240611);
    auto run = [](Units units, const std::vector<std::int16_t>& wave, const std::vector<std::int32_t>& table,
                  std::int32_t n) {
        std::vector<float> spec(2 * static_cast<std::size_t>(n) + 1, 0.0f);
        CalcFFTWith(units, wave, spec, table, n);
        return spec;
    };
    auto sameBits = [](const std::vector<float>& a, const std::vector<float>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    };
    for (std::int32_t n = 2; n <= 8192; n *= 2) {
        std::vector<std::int32_t> table;
        InitBitReverse(table, n, 0);
        // Noise, full-scale square noise, sparse impulses (exact zeros and the tiny remainders of
        // the factors that are almost 0), small values, and the most negative sample.
        for (int kind = 0; kind < 5; ++kind)
            for (int trial = 0; trial < 4; ++trial) {
                std::vector<std::int16_t> wave(static_cast<std::size_t>(n));
                for (std::size_t i = 0; i < wave.size(); ++i) {
                    const std::uint32_t r = rng();
                    switch (kind) {
                    case 0: wave[i] = static_cast<std::int16_t>(r); break;
                    case 1: wave[i] = r % 2 ? 32767 : -32768; break;
                    case 2: wave[i] = r % 16 == 0 ? static_cast<std::int16_t>(r >> 8) : 0; break;
                    case 3: wave[i] = static_cast<std::int16_t>(static_cast<int>(r % 7) - 3); break;
                    default: wave[i] = i % 3 == 0 ? -32768 : static_cast<std::int16_t>(r % 100); break;
                    }
                }
                EXPECT_TRUE(sameBits(run(Units::Plain, wave, table, n), run(Units::Avx2, wave, table, n)))
                    << "n " << n << ", kind " << kind << ", trial " << trial;
            }
        // A table that is not the bit reversal: the samples land where it says on both units.
        if (n >= 4) {
            std::swap(table[1], table[2]);
            const auto wave = noiseBlock(static_cast<std::size_t>(n));
            const auto plain = run(Units::Plain, wave, table, n);
            EXPECT_TRUE(sameBits(plain, run(Units::Avx2, wave, table, n))) << "n " << n;
            std::swap(table[1], table[2]);
            EXPECT_FALSE(sameBits(plain, run(Units::Plain, wave, table, n))) << "n " << n;
        }
    }
}

TEST(FftTest, MaximaAreTheFirstOfTheLargest) {
    // Against the plain definitions, on lengths and ranges around the vector widths, with equal
    // maxima, values at or below zero and values that compare with nothing.
    std::mt19937 rng(7);
    auto maxIndex = [](const std::vector<float>& d, std::int32_t first, std::int32_t last) {
        std::int32_t index = 0;
        float best = 0;
        for (std::int32_t i = first; i <= last; ++i)
            if (d[static_cast<std::size_t>(i)] > best) {
                best = d[static_cast<std::size_t>(i)];
                index = i;
            }
        return index;
    };
    for (std::size_t size = 1; size <= 40; ++size)
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<float> d(size);
            std::vector<std::int16_t> w(size);
            for (std::size_t i = 0; i < size; ++i) {
                const std::uint32_t r = rng();
                d[i] = static_cast<float>(static_cast<int>(r % 9) - 3);  // ties and non-positive values
                if (r % 23 == 0) d[i] = std::numeric_limits<float>::quiet_NaN();
                if (r % 29 == 0) d[i] = -0.0f;
                w[i] = static_cast<std::int16_t>(static_cast<int>(r % 2001) - 1000);
            }
            const auto last = static_cast<std::int32_t>(size) - 1;
            for (std::int32_t first = 0; first <= std::min(last, 9); ++first)
                EXPECT_EQ(GetMaxIndex(d, first, last), maxIndex(d, first, last)) << size << " " << first;
            const std::int16_t largest = *std::max_element(w.begin(), w.end());
            EXPECT_EQ(GetMaxAmplitude(w, static_cast<std::int32_t>(size)), std::max<std::int32_t>(largest, 0));
        }
    std::vector<float> d(20, 1.0f);
    EXPECT_EQ(GetMaxIndex(d, 5, 4), 0);  // an empty range, whatever its bounds
    EXPECT_EQ(GetMaxIndex(d, 25, 24), 0);
    EXPECT_THROW(GetMaxIndex(d, -1, 10), platform::VbError);
    EXPECT_THROW(GetMaxIndex(d, 0, 20), platform::VbError);
}

TEST(FftTest, SpectrumHasHalfTheSizeWhateverItHadBefore) {
    std::vector<std::int32_t> table;
    InitBitReverse(table, 256, 0);
    std::vector<float> spec(10000, 1.0f);
    CalcFFT(std::vector<std::int16_t>(256, 0), spec, table, 256);
    EXPECT_EQ(spec.size(), 128u);
    // Too few samples: subscript out of range.
    std::vector<float> small(512);
    EXPECT_THROW(CalcFFT(std::vector<std::int16_t>(200, 0), small, table, 256), platform::VbError);
}

TEST(FftTest, BitReversalAndSampleCounts) {
    EXPECT_EQ(ReverseBits(1, 10), 512);
    EXPECT_EQ(ReverseBits(3, 3), 6);
    EXPECT_EQ(ReverseBits(6, 3), 3);
    std::vector<std::int32_t> t;
    InitBitReverse(t, 8, 0);
    EXPECT_EQ(t, (std::vector<std::int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));

    EXPECT_EQ(CheckSamples(0, 0), 1024);
    EXPECT_EQ(CheckSamples(1000, 0), 1000);
    EXPECT_EQ(CheckSamples(0, 3), 1024);
    EXPECT_EQ(CheckSamples(1024, 3), 1024);
    EXPECT_EQ(CheckSamples(1000, 3), 1024);
    EXPECT_EQ(CheckSamples(1100, 3), 1024);
    EXPECT_EQ(CheckSamples(1500, 3), 2048);
    EXPECT_EQ(CheckSamples(724, 3), 512);
    EXPECT_EQ(CheckSamples(1, 3), 1);
    EXPECT_EQ(CheckSamples(1000, 1), 1000);  // bit 2 alone decides
}

TEST(FftTest, MeasuresOfABlock) {
    wavorix::resetEngineState();
    auto& st = wavorix::engine();
    // Only negative samples: no amplitude.
    EXPECT_EQ(GetMaxAmplitude(std::vector<std::int16_t>(16, -500), 16), 0);
    EXPECT_EQ(GetMaxAmplitude({1, 9, 3, 50}, 2), 9);  // indexes 0 to the count
    EXPECT_EQ(GetMaxAmplitude({}, 10), 0);

    EXPECT_EQ(GetMaxIndex({0, 5, 9, 9, 2}, 1, 4), 2);  // the first of equal maxima
    EXPECT_EQ(GetMaxIndex({3, 0, 0}, 1, 2), 0);       // nothing above 0

    st.level = 10;
    std::vector<float> peaks;
    EXPECT_EQ(GetPeaks({100, 5, 10, 3}, peaks), 0);
    EXPECT_EQ(peaks, std::vector<float>{0});
    EXPECT_EQ(GetPeaks({100, 11, 10, 30}, peaks), 2);
    EXPECT_EQ(peaks, (std::vector<float>{0, -1, 11, -3, 30}));
    EXPECT_FALSE(st.peaksBusy);

    st.sampleRate = 50000;
    std::vector<std::int16_t> crossings;
    EXPECT_EQ(ZeroCrossFrequency(std::vector<std::int16_t>(100, 7), crossings), 0.0);
    std::vector<std::int16_t> oneChange(100, 7);
    for (int i = 50; i < 100; ++i) oneChange[static_cast<std::size_t>(i)] = -7;
    EXPECT_EQ(ZeroCrossFrequency(oneChange, crossings), 0.0);
    // A 500 Hz sine at 50000/s: 100 samples a period.
    const double f = ZeroCrossFrequency(sine(1024, 10.24, 10000), crossings);
    EXPECT_NEAR(f, 500.0, 10.0);
    EXPECT_GE(crossings.size(), 2u);
    EXPECT_EQ(crossings[0], 0);
    wavorix::resetEngineState();
}

class DoFftTest : public WavorixTest {};

TEST_F(DoFftTest, TooFewSamplesChangeSamplesThenFail) {
    create();
    put(d::Samples, 512);
    sink.events.clear();
    site.changed.clear();
    std::vector<std::int16_t> wave(1000, 0);
    std::vector<float> spec;
    try {
        call(d::DoFFT, {Variant::byRef(wave), Variant::byRef(spec)});
        FAIL();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number(), 9);
    }
    EXPECT_EQ(get(d::Samples).toInt32(), 1024);
    ASSERT_EQ(sink.of(ev::ChangedSamples).size(), 1u);
    EXPECT_EQ(sink.of(ev::ChangedSamples)[0].args[0].toInt32(), 512);
    EXPECT_EQ(site.changed, std::vector<std::string>{"Samples"});
}

TEST_F(DoFftTest, ExtraSamplesAreLeftOutAndTheStrongestBinIsReturned) {
    create();
    auto wave = sine(1024, 21, 20000);
    wave.resize(1100, 30000);  // beyond the transform: ignored
    std::vector<float> spec;
    EXPECT_EQ(call(d::DoFFT, {Variant::byRef(wave), Variant::byRef(spec)}).toInt32(), 21);
    EXPECT_EQ(spec.size(), 512u);
    EXPECT_NEAR(spec[21], 10000, 2);
    EXPECT_TRUE(sink.of(ev::ChangedSamples).empty());
}

TEST_F(DoFftTest, AnalysisTimeRunsOnAZeroBlock) {
    create();
    put(d::Samples, 256);
    EXPECT_EQ(call(d::AnalysisTime, {Variant(10)}).toFloat(), 0.0f);  // virtual time does not move
    std::vector<std::int16_t> wave;
    get(d::WaveData, {Variant::byRef(wave), Variant(1)});
    EXPECT_EQ(wave, std::vector<std::int16_t>(257, 0));
    std::vector<float> spec;
    EXPECT_EQ(get(d::Spectrum, {Variant::byRef(spec), Variant(1)}).toInt32(), 128);
}

class StepTest : public WavorixTest {
protected:
    void start(std::int32_t analysis, std::uint16_t channels = 1) {
        dev = addManualDevice(channels);
        create();
        programSettings(1);
        put(d::Channels, static_cast<std::int16_t>(channels));
        put(d::Analysis, analysis);
        call(d::Init);
        call(d::Start);
    }
    void arrive(const std::vector<std::int16_t>& samples) {
        dev->push(samples);
        loop().doEvents();
    }
    std::shared_ptr<platform::ScriptedWaveIn> dev;
};

TEST_F(StepTest, StereoIsSplitIntoEvenAndOddPositions) {
    start(wavorix::FFT_, 2);
    std::vector<std::int16_t> frames(2048);
    for (std::size_t i = 0; i < 1024; ++i) {
        frames[2 * i] = static_cast<std::int16_t>(i);
        frames[2 * i + 1] = static_cast<std::int16_t>(-static_cast<int>(i));
    }
    arrive(frames);
    std::vector<std::int16_t> left, right;
    EXPECT_EQ(get(d::WaveData, {Variant::byRef(left), Variant(1)}).toInt32(), 1024);
    EXPECT_EQ(get(d::WaveData, {Variant::byRef(right), Variant(2)}).toInt32(), 1024);
    EXPECT_EQ(left[10], 10);
    EXPECT_EQ(right[10], -10);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 1023);
    EXPECT_EQ(get(d::MaxAmplitudeR).toInt32(), 0);
    EXPECT_EQ(get(d::MaxFrequencyR).toDouble(), 0.0);  // no amplitude, no frequency
    std::vector<float> spec;
    EXPECT_EQ(get(d::Spectrum, {Variant::byRef(spec), Variant(2)}).toInt32(), 512);
    std::vector<std::int16_t> raw;
    EXPECT_EQ(get(d::RawData, {Variant::byRef(raw), Variant(1)}).toInt32(), 2048);
    EXPECT_EQ(raw, frames);
    EXPECT_EQ(get(d::RawData, {Variant::byRef(raw), Variant(2)}).toInt32(), 0);
}

TEST_F(StepTest, AmplitudeEqualToTheLevelGivesNoFftFrequencyButAZeroCrossingOne) {
    // Level 960 (Threshold 3); a square wave of exactly 960, 100 samples a period.
    start(35);
    std::vector<std::int16_t> square(1024);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 50) % 2 ? -960 : 960;
    call(d::AddTrigger, {Variant(1), Variant(0.0), Variant(1000.0), Variant(0.0f)});
    call(d::Reset);
    call(d::Init);
    call(d::Start);
    arrive(square);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 960);
    EXPECT_NEAR(get(d::MaxFrequencyL).toDouble(), 500.0, 10.0);  // from the crossings
    EXPECT_TRUE(sink.of(ev::FrequencyTrigger).empty());
    // One sample above the level: the FFT maximum, then replaced by the crossings.
    square[3] = 961;
    arrive(square);
    EXPECT_EQ(sink.of(ev::FrequencyTrigger).size(), 1u);
}

TEST_F(StepTest, ReducedSpectrumListsThePeaksAndHandsThemOverOnce) {
    start(wavorix::ReducedSpectrum);
    arrive(sine(1024, 100, 20000));
    std::vector<float> peaks;
    EXPECT_EQ(get(d::Peaks, {Variant::byRef(peaks), Variant(1)}).toInt32(), 0);
    ASSERT_EQ(peaks.size(), 3u);
    EXPECT_EQ(peaks[1], -100.0f);
    EXPECT_NEAR(peaks[2], 10000, 2);
    get(d::Peaks, {Variant::byRef(peaks), Variant(1)});
    EXPECT_EQ(peaks, (std::vector<float>{0, 0}));  // emptied by the first read
    // A block with no amplitude has no frequency.
    arrive(block(-300));
    EXPECT_EQ(get(d::MaxFrequencyL).toDouble(), 0.0);
    // ExportData copies the left spectrum.
    call(d::ExportData);
    EXPECT_EQ(wavorix::engine().exportData.size(), 512u);
    EXPECT_EQ(wavorix::engine().exportData[0], 300.0f);
}

}  // namespace
}  // namespace wxtest
