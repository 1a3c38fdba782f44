// The analysis module: the magnitude spectrum of a block of 16-bit samples (an in-place radix-2
// decimation-in-time transform whose results are the same on every build), the bit-reversal
// table it reads, the sample-count rule, and the analysis step that turns one captured block
// into the published measures.
#pragma once
#include <cstdint>
#include <vector>

namespace wavorix::FFT {

inline constexpr double kPi = 3.14159265358979;

// Spec(0 .. N/2-1) := |X(k)| / N of Wave(0 .. N-1); Spec must hold at least N values on entry
// and holds exactly N/2 after. 9 when Wave, Spec or the table are too short.
void CalcFFT(const std::vector<std::int16_t>& wave, std::vector<float>& spec, const std::vector<std::int32_t>& bitRev,
             std::int32_t n);
// table(0 .. N-1) := ReverseBits(i, bits); bits 0 means log2 N rounded.
void InitBitReverse(std::vector<std::int32_t>& table, std::int32_t n, std::int32_t bits);
std::int32_t ReverseBits(std::int32_t v, std::uint8_t bits);
// The sample count to use: 0 becomes 1024; with flag 2 the nearest power of two.
std::int32_t CheckSamples(std::int32_t count, std::int32_t flags);
// log2 n rounded to the nearest integer, as the module computes it.
std::int32_t Log2Rounded(double n);

// ---- The analysis step (on the engine state of the calling thread) ----

void InitAnalysis();
void CopyBufferData(std::int32_t blockNumber, std::int32_t bufferIndex);
void Analyze(std::int32_t blockNumber, std::int32_t bufferIndex);
std::int32_t GetMaxAmplitude(const std::vector<std::int16_t>& data, std::int32_t count);
std::int32_t GetMaxIndex(const std::vector<float>& data, std::int32_t first, std::int32_t last);
std::int32_t GetPeaks(const std::vector<float>& spectrum, std::vector<float>& peaks);
double ZeroCrossFrequency(const std::vector<std::int16_t>& wave, std::vector<std::int16_t>& crossings);
void CopySpectrum(const std::vector<float>& source, std::vector<float>& target);

}  // namespace wavorix::FFT
