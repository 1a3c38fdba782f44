// Generated dance tracks for the end-to-end runs: kick drums at known times over a bass line and
// hi-hats, deterministic for a seed.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace korvella_test {

struct TrackSpec {
    double bpm = 120;
    double seconds = 20;
    int rate = 44100;
    double firstKickMs = 500;
    double kickLevel = 0.85;   // of full scale
    double bassLevel = 0.30;
    double hatLevel = 0.15;
    unsigned seed = 1;
};

struct Track {
    std::vector<std::int16_t> samples;  // mono
    std::vector<double> kickMs;         // onset of every kick, ms from the file's start
    int rate = 44100;
};

inline Track makeTrack(const TrackSpec& spec) {
    Track t;
    t.rate = spec.rate;
    const auto frames = static_cast<std::size_t>(spec.seconds * spec.rate);
    std::vector<double> mix(frames, 0.0);
    const double beatMs = 60000.0 / spec.bpm;
    auto at = [&](double ms) { return static_cast<std::size_t>(ms * spec.rate / 1000.0); };

    // Kick: a sine falling from about 150 Hz to 50 Hz within the first 40 ms, 1 ms attack,
    // decaying over about 150 ms.
    for (double ms = spec.firstKickMs; ms < spec.seconds * 1000 - 200; ms += beatMs) {
        t.kickMs.push_back(ms);
        double phase = 0;
        const std::size_t start = at(ms);
        for (std::size_t i = 0; i < at(250) && start + i < frames; ++i) {
            const double s = static_cast<double>(i) / spec.rate;
            const double f = 50 + 100 * std::exp(-s / 0.02);
            phase += 2 * M_PI * f / spec.rate;
            const double env = std::min(1.0, s / 0.001) * std::exp(-s / 0.06);
            mix[start + i] += spec.kickLevel * env * std::sin(phase);
        }
    }
    // Bass line: off-beat notes between the kicks, low (41 to 55 Hz), held for a third of a beat.
    const double notes[] = {41.2, 55.0, 49.0, 55.0};
    int n = 0;
    for (double ms = spec.firstKickMs + beatMs / 2; ms < spec.seconds * 1000; ms += beatMs, ++n) {
        const double f = notes[n % 4];
        const std::size_t start = at(ms), len = at(beatMs / 3);
        for (std::size_t i = 0; i < len && start + i < frames; ++i) {
            const double s = static_cast<double>(i) / spec.rate;
            const double env = std::min(1.0, s / 0.005) * std::min(1.0, static_cast<double>(len - i) / (0.005 * spec.rate));
            mix[start + i] += spec.bassLevel * env * std::sin(2 * M_PI * f * s);
        }
    }
    // Hi-hats: bright noise bursts on every eighth note.
    std::mt19937 rng(spec.seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (double ms = spec.firstKickMs; ms < spec.seconds * 1000; ms += beatMs / 2) {
        const std::size_t start = at(ms);
        double prev = 0;
        for (std::size_t i = 0; i < at(40) && start + i < frames; ++i) {
            const double s = static_cast<double>(i) / spec.rate;
            const double w = noise(rng);
            mix[start + i] += spec.hatLevel * std::exp(-s / 0.01) * (w - prev) / 2;  // first difference: highs only
            prev = w;
        }
    }
    t.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i)
        t.samples[i] = static_cast<std::int16_t>(std::lround(std::clamp(mix[i], -1.0, 1.0) * 32767));
    return t;
}

}  // namespace korvella_test
