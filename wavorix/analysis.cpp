// The analysis step: which captured block to analyse, the measures, and the signal to the host.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "forms/bmove.h"
#include "forms/control.h"
#include "wavorix/fft.h"
#include "wavorix/messages.h"
#include "wavorix/state.h"
#include "wavorix/trail.h"

namespace wavorix::FFT {

using forms::RGB;

void InitAnalysis() {
    EngineState& st = engine();
    const std::int32_t samples = st.samples;
    const std::int32_t channels = st.channels;
    // Always 16 bits, whatever Bips says.
    st.format = platform::makePcmFormat(static_cast<std::uint32_t>(st.sampleRate), static_cast<std::uint16_t>(channels));

    st.records.redim(st.buffers);
    st.capture.redim(channels * samples, st.buffers);
    redim(st.specL, static_cast<std::int64_t>(samples) - 1);
    redim(st.recBlock, static_cast<std::int64_t>(channels) * samples - 1);
    for (auto& r : st.records.items()) redim(r.left, static_cast<std::int64_t>(samples) - 1);
    redim(st.waveL, static_cast<std::int64_t>(samples) - 1);
    if (channels == 2) {
        redim(st.specR, static_cast<std::int64_t>(samples) - 1);
        redim(st.waveR, static_cast<std::int64_t>(samples) - 1);
        for (auto& r : st.records.items()) redim(r.right, static_cast<std::int64_t>(samples) - 1);
    }
    redim(st.peaksL, 0);
    st.sequence.redim(100);
    if (st.analysisFlags != 0) {
        InitBitReverse(st.bitRev, samples, Log2Rounded(samples));
        st.bitRevN = samples;
    }
}

void CopyBufferData(std::int32_t blockNumber, std::int32_t bufferIndex) {
    EngineState& st = engine();
    BufferRecord& rec = st.records(bufferIndex);
    rec.blockNumber = blockNumber;
    rec.done = false;
    std::int16_t* col = st.capture.column(bufferIndex);
    if (st.channels == 1) {
        if (st.samples > st.capture.rows) platform::raise(9);
        vb::BMOVE(col, span(rec.left, 0, st.samples), st.samples * 2);
    } else {
        std::int64_t j = 0;
        for (std::int64_t k = 0; k + 1 <= st.capture.rows - 1; k += 2, ++j) {
            at(rec.left, j) = col[k];
            at(rec.right, j) = col[k + 1];
        }
    }
}

std::int32_t GetMaxAmplitude(const std::vector<std::int16_t>& data, std::int32_t count) {
    const std::int64_t ub = static_cast<std::int64_t>(data.size()) - 1;
    const std::int64_t last = std::min<std::int64_t>(count, ub);
    // Starts at 0: negative samples never count. A plain maximum, so that it is vectorised.
    std::int16_t best = 0;
    const std::int16_t* p = data.data();
    for (std::int64_t i = 0; i <= last; ++i) best = std::max(best, p[i]);
    return best;
}

std::int32_t GetMaxIndex(const std::vector<float>& data, std::int32_t first, std::int32_t last) {
    if (first > last) return 0;
    if (first < 0 || last >= static_cast<std::int64_t>(data.size())) platform::raise(9);
    // The first index of the largest value above 0 (values that compare with nothing, never):
    // the largest value in eight lanes, then the first place that holds it.
    typedef float v4f __attribute__((vector_size(16)));
    const float* p = data.data();
    std::int32_t i = first;
    float best = 0;
    if (last - first + 1 >= 8) {
        v4f lanes0 = {}, lanes1 = {};
        for (; i + 7 <= last; i += 8) {
            v4f v0, v1;
            std::memcpy(&v0, p + i, sizeof v0);
            std::memcpy(&v1, p + i + 4, sizeof v1);
            lanes0 = v0 > lanes0 ? v0 : lanes0;
            lanes1 = v1 > lanes1 ? v1 : lanes1;
        }
        for (int l = 0; l < 4; ++l) {
            if (lanes0[l] > best) best = lanes0[l];
            if (lanes1[l] > best) best = lanes1[l];
        }
    }
    for (; i <= last; ++i)
        if (p[i] > best) best = p[i];
    if (!(best > 0)) return 0;
    i = first;
    while (p[i] != best) ++i;
    return i;
}

std::int32_t GetPeaks(const std::vector<float>& spectrum, std::vector<float>& peaks) {
    EngineState& st = engine();
    st.peaksBusy = true;
    try {
        const std::int32_t ub = ubound(spectrum);
        redim(peaks, 2 * static_cast<std::int64_t>(ub));
        std::int32_t n = 0;
        for (std::int32_t i = 1; i <= ub; ++i) {
            const float v = spectrum[static_cast<std::size_t>(i)];
            if (static_cast<double>(v) > st.level) {
                ++n;
                peaks[static_cast<std::size_t>(2 * n - 1)] = static_cast<float>(-i);
                peaks[static_cast<std::size_t>(2 * n)] = v;
            }
        }
        redimPreserve(peaks, 2 * static_cast<std::int64_t>(n));
        st.peaksBusy = false;
        return n;
    } catch (...) {
        st.peaksBusy = false;
        reraise(currentError(), "Function GetPeaks in Wavorix");
    }
}

double ZeroCrossFrequency(const std::vector<std::int16_t>& wave, std::vector<std::int16_t>& crossings) {
    EngineState& st = engine();
    std::vector<std::int64_t> z;  // z(1 .. n) at z[0 .. n-1]
    const std::int64_t ub = static_cast<std::int64_t>(wave.size()) - 1;
    for (std::int64_t i = 0; i <= ub - 1 && z.size() < 1000; ++i) {
        const std::int16_t a = wave[static_cast<std::size_t>(i)];
        const std::int16_t b = wave[static_cast<std::size_t>(i + 1)];
        if ((b <= 0 && a >= 0) || (a <= 0 && b >= 0)) z.push_back(i);
    }
    const std::int64_t n = static_cast<std::int64_t>(z.size());
    if (n < 2) {
        redim(crossings, 0);
        return 0;
    }
    const double t = static_cast<double>(z[static_cast<std::size_t>(n - 1)] - z[0]) / static_cast<double>(n - 1) / 2.0;
    for (std::int64_t j = 1; j <= n; ++j) {
        for (std::int64_t m = 1; j + m <= n; ++m) {
            if (static_cast<double>(z[static_cast<std::size_t>(j + m - 1)] - z[static_cast<std::size_t>(j - 1)]) < t)
                z[static_cast<std::size_t>(j + m - 1)] = 0;
            else
                break;
        }
    }
    std::vector<std::int64_t> kept;
    for (auto v : z)
        if (v > 0) kept.push_back(v);
    redim(crossings, static_cast<std::int64_t>(kept.size()));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i] > 32767) platform::raise(6);  // the crossing list holds 16-bit positions
        crossings[i + 1] = static_cast<std::int16_t>(kept[i]);
    }
    const std::int64_t k = static_cast<std::int64_t>(kept.size());
    if (k < 2) return 0;
    const double spanSamples = static_cast<double>(crossings[static_cast<std::size_t>(k)] - crossings[1]);
    if (spanSamples == 0) return 0;
    return static_cast<double>(k - 1) * static_cast<double>(st.sampleRate) / spanSamples / 2.0;
}

void CopySpectrum(const std::vector<float>& source, std::vector<float>& target) {
    const std::int32_t half = engine().samples / 2;
    redim(target, static_cast<std::int64_t>(half) - 1);
    for (std::int32_t i = 0; i <= half - 1; ++i) target[static_cast<std::size_t>(i)] = at(source, i);
}

namespace {

// The measures of steps 9 to 14.
void measure(EngineState& st) {
    const std::int32_t samples = st.samples;
    const std::int32_t flags = st.analysisFlags;
    const bool stereo = st.channels == 2;
    if (flags & 1) {
        st.maxAmplitudeL = GetMaxAmplitude(st.waveL, samples);
        st.maxAmplitudeR = stereo ? GetMaxAmplitude(st.waveR, samples) : 0;
    } else {
        st.maxAmplitudeL = 0;
        st.maxAmplitudeR = 0;
    }
    if (flags & 2) {
        redim(st.specL, 2 * static_cast<std::int64_t>(samples));
        CalcFFT(st.waveL, st.specL, st.bitRev, samples);
        if (stereo) {
            redim(st.specR, 2 * static_cast<std::int64_t>(samples));
            CalcFFT(st.waveR, st.specR, st.bitRev, samples);
        }
        auto frequency = [&](std::int32_t amplitude, const std::vector<float>& spec) {
            if (amplitude > st.level && amplitude != 0)
                return GetMaxIndex(spec, 1, samples / 2 - 1) * (static_cast<double>(st.sampleRate) / samples);
            return 0.0;
        };
        st.maxFrequencyL = frequency(st.maxAmplitudeL, st.specL);
        if (stereo) st.maxFrequencyR = frequency(st.maxAmplitudeR, st.specR);
    } else {
        redim(st.specL, 1);
    }
    if ((flags & 18) == 18) {
        GetPeaks(st.specL, st.peaksL);
        if (stereo) GetPeaks(st.specR, st.peaksR);
    }
    if (flags & 32) {
        if (st.maxAmplitudeL >= st.level) {
            std::vector<std::int16_t> crossings;
            st.maxFrequencyL = ZeroCrossFrequency(st.waveL, crossings);
        } else {
            st.maxFrequencyL = 0;
        }
    }
    st.status.lastFrequency = st.maxFrequencyL;
}

// Which buffer the step analyses (0: none); false when this tick does nothing at all.
bool selectBuffer(EngineState& st, std::int32_t b, std::int32_t& buffer) {
    if (st.timerId == 0) {
        st.analysisSeq = b;
        return true;
    }
    const std::int32_t buffers = st.buffers;
    if (buffers == 1) {
        st.analysisSeq = b;
        buffer = 1;
        return true;
    }
    if (buffers == 3) {
        st.analysisSeq = b - 1;
    } else if (buffers >= 4) {
        if (st.analysisSeq == 0) {
            st.analysisSeq = b - st.analysisLag;
        } else {
            if (static_cast<std::int64_t>(st.blockCounter) - st.analysisSeq < st.minimumGap) return false;
            st.analysisSeq += 1;
        }
        if (st.analysisSeq < 1) return false;
    }
    buffer = 0;
    for (std::int32_t i = 1; i <= buffers; ++i) {
        if (st.records(i).blockNumber == st.analysisSeq) {
            buffer = i;
            break;
        }
    }
    if (buffer != 0 && st.records(buffer).done) buffer = 0;
    return true;
}

}  // namespace

void Analyze(std::int32_t blockNumber, std::int32_t bufferIndex) {
    EngineState& st = engine();
    st.busy = true;
    try {
        std::int32_t buffer = bufferIndex;
        if (!selectBuffer(st, blockNumber, buffer)) {
            st.busy = false;
            return;
        }
        // The history keeps the last 100 steps, oldest first.
        vb::BMOVE(&st.sequence(2), &st.sequence(1), 99 * 4);
        if (buffer == 0) {
            if (st.lamp) setLamp(st, 0xFFFF);
            st.analysisSeq = blockNumber - 1;
            st.busy = false;
            st.sequence(100) = 0;
            return;
        }
        BufferRecord& rec = st.records(buffer);
        st.sequence(100) = rec.blockNumber;
        vb::BMOVE(span(rec.left, 0, st.samples), span(st.waveL, 0, st.samples), st.samples * 2);
        if (st.channels == 2)
            vb::BMOVE(span(rec.right, 0, st.samples), span(st.waveR, 0, st.samples), st.samples * 2);
        if (st.analysisFlags != 0) measure(st);
        rec.done = true;
        st.status.lastBlock = rec.blockNumber;
        pumpEvents();
        switch (st.loopMode) {
        case 1:
        case 3:
            skip91([&] { blinkLamp(st, st.status.lampPhase, RGB(175, 0, 0), 0xFF); });
            st.lastCompletedBlock = blockNumber;
            SendKeyUp(st.msgWindow, 256 + buffer);
            if (st.triggerCount > 0) SendMsgText(st.msgWindow, st.maxAmplitudeL > st.level ? "triggers" : "triggersoff");
            break;
        case 0:
            skip91([&] { blinkLamp(st, st.status.lampPhase, RGB(0, 175, 0), 0xFF00); });
            break;
        default:
            break;
        }
        st.busy = false;
    } catch (...) {
        // The timer and the wave procedure analyse nothing while the flag is set.
        st.busy = false;
        reraise(currentError(), "Function Analyze in Wavorix");
    }
}

}  // namespace wavorix::FFT
