// The transform's two code paths, for the tests that hold them to the same bits.
#pragma once
#include <cstdint>
#include <vector>

namespace wavorix::FFT::detail {

// Whether this processor has the 256-bit units (AVX2).
bool haveAvx2();

enum class Units { Plain, Avx2 };

// CalcFFT on the chosen units (Avx2 only where haveAvx2()); CalcFFT chooses the widest there are.
void CalcFFTWith(Units units, const std::vector<std::int16_t>& wave, std::vector<float>& spec,
                 const std::vector<std::int32_t>& bitRev, std::int32_t n);

}  // namespace wavorix::FFT::detail
