// Built with floating-point contraction off: every product and sum is rounded on its own, so
// that spectra are identical on every build.
#include "wavorix/fft.h"

#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "platform/error.h"
#include "wavorix/arrays.h"

namespace wavorix::FFT {

std::int32_t Log2Rounded(double n) { return static_cast<std::int32_t>(std::nearbyint(std::log(n) / std::log(2.0))); }

namespace {

// The twiddle factors of every stage for n points (n a power of two), from the recurrence in
// the same order and so with the same values as the textbook loop: stage k (le2 = 2^(k-1))
// at [le2 - 1, 2 le2 - 1). They depend on n alone, so they are made once per size.
struct Twiddles {
    std::int32_t n = 0;
    std::vector<double> re, im;
};

const Twiddles& twiddlesFor(std::int32_t n, std::int32_t m) {
    thread_local Twiddles tw;
    if (tw.n == n) return tw;
    tw.n = 0;
    tw.re.assign(static_cast<std::size_t>(n > 1 ? n - 1 : 0), 0.0);
    tw.im.assign(tw.re.size(), 0.0);
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int32_t le2 = (1 << k) / 2;
        double ur = 1.0, ui = 0.0;
        const double wr = std::cos(kPi / le2);
        const double wi = -std::sin(kPi / le2);
        for (std::int32_t j = 0; j < le2; ++j) {
            tw.re[static_cast<std::size_t>(le2 - 1 + j)] = ur;
            tw.im[static_cast<std::size_t>(le2 - 1 + j)] = ui;
            const double t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
    }
    tw.n = n;
    return tw;
}

// One butterfly, rounded exactly as the textbook loop rounds it.
inline void butterfly(float* sr, float* si, float* pr, float* pi, double cr, double ci) {
    const double tr = static_cast<double>(*pr) * cr - static_cast<double>(*pi) * ci;
    const double ti = static_cast<double>(*pi) * cr + static_cast<double>(*pr) * ci;
    *pr = static_cast<float>(static_cast<double>(*sr) - tr);
    *pi = static_cast<float>(static_cast<double>(*si) - ti);
    *sr = static_cast<float>(static_cast<double>(*sr) + tr);
    *si = static_cast<float>(static_cast<double>(*si) + ti);
}

// Four values at a time, as floats (stored) and doubles (computed). The helpers are all inlined
// in this file, so how a vector would be passed between functions does not matter.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float v4f __attribute__((vector_size(16)));
typedef float v8f __attribute__((vector_size(32)));
typedef double v4d __attribute__((vector_size(32)));

template <class V>
inline V load(const void* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
inline void store(void* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// Four butterflies with their own twiddle factors, each value rounded as in butterfly().
inline void butterfly4(v4d& sr, v4d& si, v4d& pr, v4d& pi, v4d cr, v4d ci) {
    const v4d tr = pr * cr - pi * ci;
    const v4d ti = pi * cr + pr * ci;
    pr = sr - tr;
    pi = si - ti;
    sr = sr + tr;
    si = si + ti;
}

inline v4d widen(v4f v) { return __builtin_convertvector(v, v4d); }
inline v4f narrow(v4d v) { return __builtin_convertvector(v, v4f); }

// A stage whose halves are at least four values long (le2 >= 4).
void wideStage(float* spec, float* im, std::int32_t n, std::int32_t le2, const double* cr, const double* ci) {
    for (std::int32_t base = 0; base < n; base += 2 * le2) {
        float* sr = spec + base;
        float* si = im + base;
        float* pr = sr + le2;
        float* pi = si + le2;
        for (std::int32_t j = 0; j < le2; j += 4) {
            v4d a = widen(load<v4f>(sr + j)), b = widen(load<v4f>(si + j));
            v4d c = widen(load<v4f>(pr + j)), d = widen(load<v4f>(pi + j));
            butterfly4(a, b, c, d, load<v4d>(cr + j), load<v4d>(ci + j));
            store(sr + j, narrow(a));
            store(si + j, narrow(b));
            store(pr + j, narrow(c));
            store(pi + j, narrow(d));
        }
    }
}

// The same on the 256-bit units (no fused operations: the same bits), written out because the
// compiler splits these loads and conversions in two when left to itself.
__attribute__((target("avx2"))) void wideStageAvx2(float* spec, float* im, std::int32_t n, std::int32_t le2,
                                                   const double* cr, const double* ci) {
    for (std::int32_t base = 0; base < n; base += 2 * le2) {
        float* sr = spec + base;
        float* si = im + base;
        float* pr = sr + le2;
        float* pi = si + le2;
        for (std::int32_t j = 0; j < le2; j += 4) {
            const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(sr + j)), b = _mm256_cvtps_pd(_mm_loadu_ps(si + j));
            const __m256d c = _mm256_cvtps_pd(_mm_loadu_ps(pr + j)), d = _mm256_cvtps_pd(_mm_loadu_ps(pi + j));
            const __m256d wr = _mm256_loadu_pd(cr + j), wi = _mm256_loadu_pd(ci + j);
            const __m256d tr = _mm256_sub_pd(_mm256_mul_pd(c, wr), _mm256_mul_pd(d, wi));
            const __m256d ti = _mm256_add_pd(_mm256_mul_pd(d, wr), _mm256_mul_pd(c, wi));
            _mm_storeu_ps(pr + j, _mm256_cvtpd_ps(_mm256_sub_pd(a, tr)));
            _mm_storeu_ps(pi + j, _mm256_cvtpd_ps(_mm256_sub_pd(b, ti)));
            _mm_storeu_ps(sr + j, _mm256_cvtpd_ps(_mm256_add_pd(a, tr)));
            _mm_storeu_ps(si + j, _mm256_cvtpd_ps(_mm256_add_pd(b, ti)));
        }
    }
}

bool haveAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

// The butterflies on spec/im of n points (n a power of two, both arrays at least n long). Only
// the order of the (independent) butterflies of a stage differs from the textbook loop, and four
// run side by side; each value is rounded the same way (no fused operations), so the wider units
// of a newer processor give the same bits.
void butterflies(float* spec, float* im, std::int32_t n, std::int32_t m, const double* twr, const double* twi) {
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int32_t le = 1 << k;
        const std::int32_t le2 = le / 2;
        const double* cr = twr + (le2 - 1);
        const double* ci = twi + (le2 - 1);
        if (le2 < 4 && n < 8) {
            for (std::int32_t base = 0; base < n; base += le)
                for (std::int32_t j = 0; j < le2; ++j)
                    butterfly(spec + base + j, im + base + j, spec + base + le2 + j, im + base + le2 + j, cr[j], ci[j]);
            continue;
        }
        if (le2 < 4) {
            // Eight neighbouring values hold four butterflies: pairs (le2 1) or pairs of pairs (le2 2).
            const v4d wr = le2 == 1 ? v4d{cr[0], cr[0], cr[0], cr[0]} : v4d{cr[0], cr[1], cr[0], cr[1]};
            const v4d wi = le2 == 1 ? v4d{ci[0], ci[0], ci[0], ci[0]} : v4d{ci[0], ci[1], ci[0], ci[1]};
            for (std::int32_t base = 0; base < n; base += 8) {
                const v8f a = load<v8f>(spec + base), b = load<v8f>(im + base);
                v4f ar, ap, br, bp;
                if (le2 == 1) {
                    ar = __builtin_shufflevector(a, a, 0, 2, 4, 6);
                    ap = __builtin_shufflevector(a, a, 1, 3, 5, 7);
                    br = __builtin_shufflevector(b, b, 0, 2, 4, 6);
                    bp = __builtin_shufflevector(b, b, 1, 3, 5, 7);
                } else {
                    ar = __builtin_shufflevector(a, a, 0, 1, 4, 5);
                    ap = __builtin_shufflevector(a, a, 2, 3, 6, 7);
                    br = __builtin_shufflevector(b, b, 0, 1, 4, 5);
                    bp = __builtin_shufflevector(b, b, 2, 3, 6, 7);
                }
                v4d sr = widen(ar), pr = widen(ap), si = widen(br), pi = widen(bp);
                butterfly4(sr, si, pr, pi, wr, wi);
                const v4f s0 = narrow(sr), p0 = narrow(pr), s1 = narrow(si), p1 = narrow(pi);
                if (le2 == 1) {
                    store(spec + base, __builtin_shufflevector(s0, p0, 0, 4, 1, 5, 2, 6, 3, 7));
                    store(im + base, __builtin_shufflevector(s1, p1, 0, 4, 1, 5, 2, 6, 3, 7));
                } else {
                    store(spec + base, __builtin_shufflevector(s0, p0, 0, 1, 4, 5, 2, 3, 6, 7));
                    store(im + base, __builtin_shufflevector(s1, p1, 0, 1, 4, 5, 2, 3, 6, 7));
                }
            }
            continue;
        }
        if (haveAvx2())
            wideStageAvx2(spec, im, n, le2, cr, ci);
        else
            wideStage(spec, im, n, le2, cr, ci);
    }
}

// |X(k)| / n of the first n/2 points into spec. One body, compiled twice: for the wider units
// and for any processor. Chosen at run time by haveAvx2 rather than by an indirect function,
// whose resolver would run before a sanitizer's runtime is ready.
inline __attribute__((always_inline)) void magnitudesBody(float* __restrict s, const float* __restrict im,
                                                          std::int32_t n) {
    const double dn = n;
    for (std::int32_t i = 0; i <= n / 2 - 1; ++i) {
        const double re = s[i];
        const double imv = im[i];
        s[i] = static_cast<float>(std::sqrt(re * re + imv * imv) / dn);
    }
}

__attribute__((target("avx2"))) void magnitudesAvx2(float* __restrict s, const float* __restrict im, std::int32_t n) {
    magnitudesBody(s, im, n);
}

void magnitudesPlain(float* __restrict s, const float* __restrict im, std::int32_t n) { magnitudesBody(s, im, n); }

void magnitudes(float* s, const float* im, std::int32_t n) {
    if (haveAvx2())
        magnitudesAvx2(s, im, n);
    else
        magnitudesPlain(s, im, n);
}

// The same with every access checked, for a point count that is no power of two (where the
// stages run past the end and fail as the module does).
void butterfliesChecked(std::vector<float>& spec, std::vector<float>& im, std::int32_t n, std::int32_t m) {
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int64_t le = std::int64_t{1} << k;
        const std::int64_t le2 = le / 2;
        double ur = 1.0, ui = 0.0;
        const double wr = std::cos(kPi / static_cast<double>(le2));
        const double wi = -std::sin(kPi / static_cast<double>(le2));
        for (std::int64_t j = 1; j <= le2; ++j) {
            for (std::int64_t i = j - 1; i <= n - 1; i += le) {
                const std::int64_t ip = i + le2;
                const double tr = static_cast<double>(at(spec, ip)) * ur - static_cast<double>(at(im, ip)) * ui;
                const double ti = static_cast<double>(at(im, ip)) * ur + static_cast<double>(at(spec, ip)) * ui;
                at(spec, ip) = static_cast<float>(static_cast<double>(at(spec, i)) - tr);
                at(im, ip) = static_cast<float>(static_cast<double>(at(im, i)) - ti);
                at(spec, i) = static_cast<float>(static_cast<double>(at(spec, i)) + tr);
                at(im, i) = static_cast<float>(static_cast<double>(at(im, i)) + ti);
            }
            const double t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
    }
}

}  // namespace

void CalcFFT(const std::vector<std::int16_t>& wave, std::vector<float>& spec, const std::vector<std::int32_t>& bitRev,
             std::int32_t n) {
    if (n < 1) platform::raise(9);
    const std::int32_t m = Log2Rounded(n);
    thread_local std::vector<float> im;
    im.assign(static_cast<std::size_t>(n), 0.0f);
    const bool whole = m >= 0 && m < 31 && (std::int32_t{1} << m) == n && static_cast<std::int64_t>(spec.size()) >= n &&
                       static_cast<std::int64_t>(wave.size()) >= n && static_cast<std::int64_t>(bitRev.size()) >= n;
    // Input in bit-reversed order; no window, no mean removed.
    if (whole) {
        const auto size = static_cast<std::uint32_t>(spec.size());
        for (std::int32_t i = 0; i <= n - 1; ++i) {
            const auto r = static_cast<std::uint32_t>(bitRev[static_cast<std::size_t>(i)]);
            if (r >= size) platform::raise(9);
            spec[r] = static_cast<float>(wave[static_cast<std::size_t>(i)]);
        }
        const Twiddles& tw = twiddlesFor(n, m);
        butterflies(spec.data(), im.data(), n, m, tw.re.data(), tw.im.data());
    } else {
        for (std::int32_t i = 0; i <= n - 1; ++i) at(spec, at(bitRev, i)) = static_cast<float>(at(wave, i));
        butterfliesChecked(spec, im, n, m);
    }
    if (static_cast<std::int64_t>(spec.size()) < n / 2) platform::raise(9);
    magnitudes(spec.data(), im.data(), n);
    redimPreserve(spec, n / 2 - 1);
}

std::int32_t ReverseBits(std::int32_t v, std::uint8_t bits) {
    std::int32_t r = 0;
    for (int b = 0; b < bits; ++b) {
        r = 2 * r + (v & 1);
        v = v / 2;
    }
    return r;
}

void InitBitReverse(std::vector<std::int32_t>& table, std::int32_t n, std::int32_t bits) {
    if (bits == 0) bits = Log2Rounded(n);
    if (bits < 0 || bits > 255) platform::raise(6);
    redim(table, static_cast<std::int64_t>(n) - 1);
    for (std::int32_t i = 0; i <= n - 1; ++i) table[static_cast<std::size_t>(i)] = ReverseBits(i, static_cast<std::uint8_t>(bits));
}

std::int32_t CheckSamples(std::int32_t count, std::int32_t flags) {
    if (count == 0) count = 1024;
    if ((flags & 2) == 0) return count;
    if (count < 0) platform::raise(5);  // the logarithm of a negative count
    const std::int32_t m = Log2Rounded(count);
    if (m > 30) platform::raise(6);
    return std::int32_t{1} << m;
}

}  // namespace wavorix::FFT
