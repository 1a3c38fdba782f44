// Built with floating-point contraction off: every product and sum is rounded on its own, so
// that spectra are identical on every build.
#include "wavorix/fft.h"

#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "platform/error.h"
#include "wavorix/arrays.h"
#include "wavorix/fft_internal.h"

namespace wavorix::FFT {

std::int32_t Log2Rounded(double n) { return static_cast<std::int32_t>(std::nearbyint(std::log(n) / std::log(2.0))); }

namespace {

// The twiddle factors of every stage for n points (n a power of two), from the recurrence in
// the same order and so with the same values as the textbook loop: stage k (le2 = 2^(k-1)) at
// [le2, 2 le2), so that from le2 = 4 on a stage's factors start on a 32-byte boundary. They
// depend on n alone, so they are made once per size.
struct Twiddles {
    struct alignas(32) Quad {
        double v[4];
    };
    std::int32_t n = 0;
    std::vector<Quad> reQuads, imQuads;
    // ReverseBits(i, log2 n) for every i: a caller's table equal to it lets the transform read
    // the samples in groups instead of through the table.
    std::vector<std::int32_t> bitRev;
    const double* re() const { return reQuads.data()->v; }
    const double* im() const { return imQuads.data()->v; }
};

const Twiddles& twiddlesFor(std::int32_t n, std::int32_t m) {
    thread_local Twiddles tw;
    if (tw.n == n) return tw;
    tw.n = 0;
    tw.reQuads.assign(static_cast<std::size_t>(n + 3) / 4, Twiddles::Quad{});
    tw.imQuads.assign(tw.reQuads.size(), Twiddles::Quad{});
    double* re = tw.reQuads.data()->v;
    double* im = tw.imQuads.data()->v;
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int32_t le2 = (1 << k) / 2;
        double ur = 1.0, ui = 0.0;
        const double wr = std::cos(kPi / le2);
        const double wi = -std::sin(kPi / le2);
        for (std::int32_t j = 0; j < le2; ++j) {
            re[le2 + j] = ur;
            im[le2 + j] = ui;
            const double t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
    }
    tw.bitRev.resize(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        tw.bitRev[static_cast<std::size_t>(i)] = ReverseBits(i, static_cast<std::uint8_t>(m));
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
// in this file, so how a vector would be passed between functions does not matter; they take
// 32-byte vectors by reference all the same, since GCC notes such a parameter's calling
// convention even where the warning about it is off.
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
inline void store(void* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Four butterflies with their own twiddle factors, each value rounded as in butterfly().
inline void butterfly4(v4d& sr, v4d& si, v4d& pr, v4d& pi, const v4d& cr, const v4d& ci) {
    const v4d tr = pr * cr - pi * ci;
    const v4d ti = pi * cr + pr * ci;
    pr = sr - tr;
    pi = si - ti;
    sr = sr + tr;
    si = si + ti;
}

inline v4d widen(v4f v) { return __builtin_convertvector(v, v4d); }
inline v4f narrow(const v4d& v) { return __builtin_convertvector(v, v4f); }

// A stage whose halves are at least four values long (le2 >= 4). Butterfly i (of n/2) has factor
// j = i mod le2 and its lower value at 2 le2 (i div le2) + j.
void wideStage(float* spec, float* im, std::int32_t n, std::int32_t le2, const double* cr, const double* ci) {
    for (std::int32_t i = 0; i < n / 2; i += 4) {
        const std::int32_t j = i & (le2 - 1);
        float* sr = spec + 2 * (i - j) + j;
        float* si = im + 2 * (i - j) + j;
        v4d a = widen(load<v4f>(sr)), b = widen(load<v4f>(si));
        v4d c = widen(load<v4f>(sr + le2)), d = widen(load<v4f>(si + le2));
        butterfly4(a, b, c, d, load<v4d>(cr + j), load<v4d>(ci + j));
        store(sr, narrow(a));
        store(si, narrow(b));
        store(sr + le2, narrow(c));
        store(si + le2, narrow(d));
    }
}

// The butterflies on spec/im of n points (n a power of two, both arrays at least n long). Only
// the order of the (independent) butterflies of a stage differs from the textbook loop, and four
// run side by side; each value is rounded the same way (no fused operations), so that any
// processor gives the same bits.
void butterflies(float* spec, float* im, std::int32_t n, std::int32_t m, const double* twr, const double* twi) {
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int32_t le = 1 << k;
        const std::int32_t le2 = le / 2;
        const double* cr = twr + le2;
        const double* ci = twi + le2;
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
        wideStage(spec, im, n, le2, cr, ci);
    }
}

// |X(k)| / n of the first n/2 points into spec.
void magnitudes(float* __restrict s, const float* __restrict im, std::int32_t n) {
    const double dn = n;
    for (std::int32_t i = 0; i <= n / 2 - 1; ++i) {
        const double re = s[i];
        const double imv = im[i];
        s[i] = static_cast<float>(std::sqrt(re * re + imv * imv) / dn);
    }
}

// ---- The transform on the 256-bit units, for n >= 32 and the standard bit-reversal table ----
//
// The same butterflies with the same roundings as above, arranged to need fewer conversions:
// - The first three stages run on groups of eight samples wave[b + k n/8] (k = 0..7), whose
//   places after the bit reversal are the eight neighbours at bitRev[b]; four groups side by
//   side. Their factors 1 and the still-zero imaginary parts give exact sums of integers, and
//   only the other products go through doubles; each value is rounded to a float where the
//   butterfly rounds it. (Only zeros may come out with the other sign, and the magnitudes
//   square every sign away.)
// - The wide stages: four butterflies a step.
// - The last two stages run together; the last computes only the lower half, the one the
//   magnitudes are taken of, and takes them at once; |X| / n as |X| * (1/n), the same for a
//   power of two.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace avx {

inline __m256d widen(__m128 v) { return _mm256_cvtps_pd(v); }
inline __m128 narrow(__m256d v) { return _mm256_cvtpd_ps(v); }
inline __m256d add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
inline __m256d sub(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }
inline __m256d mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
inline __m256d neg(__m256d a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
inline __m128 neg(__m128 a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }

// Four samples as 32-bit integers.
inline __m128i samples4(const std::int16_t* p) {
    return _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// Rows r0..r3 of four values each written as the columns: dst[l][0..3] = r0[l], r1[l], r2[l], r3[l].
inline void storeColumns(float* const dst[4], std::int32_t offset, __m128 r0, __m128 r1, __m128 r2, __m128 r3) {
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _mm_storeu_ps(dst[0] + offset, r0);
    _mm_storeu_ps(dst[1] + offset, r1);
    _mm_storeu_ps(dst[2] + offset, r2);
    _mm_storeu_ps(dst[3] + offset, r3);
}

// Stages 1 to 3 from the samples into re/im in bit-reversed order.
void firstStages(const std::int16_t* wave, float* re, float* im, std::int32_t n, const double* twr,
                 const double* twi, const std::int32_t* bitRev) {
    const std::int32_t q = n / 8;
    // Stage 2's factor 1 and stage 3's factors 1 to 3 (stage k's at [le2, 2 le2)).
    const __m256d c1 = _mm256_set1_pd(twr[3]), s1 = _mm256_set1_pd(twi[3]);
    const __m256d d1r = _mm256_set1_pd(twr[5]), d1i = _mm256_set1_pd(twi[5]);
    const __m256d d2r = _mm256_set1_pd(twr[6]), d2i = _mm256_set1_pd(twi[6]);
    const __m256d d3r = _mm256_set1_pd(twr[7]), d3i = _mm256_set1_pd(twi[7]);
    const __m128 zero = _mm_setzero_ps();
    for (std::int32_t b = 0; b < q; b += 4) {
        // x[t] = wave[b + rev3(t) q], the group's values in bit-reversed order.
        const __m128i x0 = samples4(wave + b), x1 = samples4(wave + b + 4 * q);
        const __m128i x2 = samples4(wave + b + 2 * q), x3 = samples4(wave + b + 6 * q);
        const __m128i x4 = samples4(wave + b + q), x5 = samples4(wave + b + 5 * q);
        const __m128i x6 = samples4(wave + b + 3 * q), x7 = samples4(wave + b + 7 * q);
        // Stage 1: factor 1 on real values.
        const __m128i a0 = _mm_add_epi32(x0, x1), a1 = _mm_sub_epi32(x0, x1);
        const __m128i a2 = _mm_add_epi32(x2, x3), a3 = _mm_sub_epi32(x2, x3);
        const __m128i a4 = _mm_add_epi32(x4, x5), a5 = _mm_sub_epi32(x4, x5);
        const __m128i a6 = _mm_add_epi32(x6, x7), a7 = _mm_sub_epi32(x6, x7);
        // Stage 2: factor 1 on (0, 2) and (4, 6); (c1, s1) on the real values 3 and 7.
        const __m128i b0 = _mm_add_epi32(a0, a2), b2 = _mm_sub_epi32(a0, a2);
        const __m128i b4 = _mm_add_epi32(a4, a6), b6 = _mm_sub_epi32(a4, a6);
        const __m256d a1d = _mm256_cvtepi32_pd(a1), a3d = _mm256_cvtepi32_pd(a3);
        const __m256d a5d = _mm256_cvtepi32_pd(a5), a7d = _mm256_cvtepi32_pd(a7);
        const __m256d t3 = mul(a3d, c1), u3 = mul(a3d, s1), t7 = mul(a7d, c1), u7 = mul(a7d, s1);
        const __m128 b1 = narrow(add(a1d, t3)), b3 = narrow(sub(a1d, t3)), b1i = narrow(u3);  // b3i = -b1i
        const __m128 b5 = narrow(add(a5d, t7)), b7 = narrow(sub(a5d, t7)), b5i = narrow(u7);  // b7i = -b5i
        // Stage 3: factor 1 on (0, 4); the others through doubles.
        const __m128 c0 = _mm_cvtepi32_ps(_mm_add_epi32(b0, b4)), c4 = _mm_cvtepi32_ps(_mm_sub_epi32(b0, b4));
        const __m256d B1 = widen(b1), B1i = widen(b1i), B5 = widen(b5), B5i = widen(b5i);
        const __m256d tr1 = sub(mul(B5, d1r), mul(B5i, d1i)), ti1 = add(mul(B5i, d1r), mul(B5, d1i));
        const __m128 c1r = narrow(add(B1, tr1)), c1i = narrow(add(B1i, ti1));
        const __m128 c5r = narrow(sub(B1, tr1)), c5i = narrow(sub(B1i, ti1));
        const __m256d B2 = _mm256_cvtepi32_pd(b2), B6 = _mm256_cvtepi32_pd(b6);
        const __m256d tr2 = mul(B6, d2r), ti2 = mul(B6, d2i);
        const __m128 c2r = narrow(add(B2, tr2)), c6r = narrow(sub(B2, tr2)), c2i = narrow(ti2), c6i = neg(c2i);
        const __m256d B3 = widen(b3), B3i = neg(B1i), B7 = widen(b7), B7i = neg(B5i);
        const __m256d tr3 = sub(mul(B7, d3r), mul(B7i, d3i)), ti3 = add(mul(B7i, d3r), mul(B7, d3i));
        const __m128 c3r = narrow(add(B3, tr3)), c3i = narrow(add(B3i, ti3));
        const __m128 c7r = narrow(sub(B3, tr3)), c7i = narrow(sub(B3i, ti3));
        float* const dre[4] = {re + bitRev[b], re + bitRev[b + 1], re + bitRev[b + 2], re + bitRev[b + 3]};
        float* const dim[4] = {im + bitRev[b], im + bitRev[b + 1], im + bitRev[b + 2], im + bitRev[b + 3]};
        storeColumns(dre, 0, c0, c1r, c2r, c3r);
        storeColumns(dre, 4, c4, c5r, c6r, c7r);
        storeColumns(dim, 0, zero, c1i, c2i, c3i);
        storeColumns(dim, 4, zero, c5i, c6i, c7i);
    }
}

// Four butterflies at sr/si (upper pr/pi) with the factors at cr/ci.
inline void butterfly4(float* sr, float* si, float* pr, float* pi, const double* cr, const double* ci) {
    const __m256d a = widen(_mm_loadu_ps(sr)), b = widen(_mm_loadu_ps(si));
    const __m256d c = widen(_mm_loadu_ps(pr)), d = widen(_mm_loadu_ps(pi));
    const __m256d wr = _mm256_load_pd(cr), wi = _mm256_load_pd(ci);
    const __m256d tr = sub(mul(c, wr), mul(d, wi));
    const __m256d ti = add(mul(d, wr), mul(c, wi));
    _mm_storeu_ps(pr, narrow(sub(a, tr)));
    _mm_storeu_ps(pi, narrow(sub(b, ti)));
    _mm_storeu_ps(sr, narrow(add(a, tr)));
    _mm_storeu_ps(si, narrow(add(b, ti)));
}

// A stage with le2 >= 8; cr/ci its factors, 32-byte aligned.
void wideStage(float* re, float* im, std::int32_t n, std::int32_t le2, const double* cr, const double* ci) {
    for (std::int32_t base = 0; base < n; base += 2 * le2) {
        float* sr = re + base;
        float* si = im + base;
        for (std::int32_t j = 0; j < le2; j += 4) butterfly4(sr + j, si + j, sr + le2 + j, si + le2 + j, cr + j, ci + j);
    }
}

// The values rounded to floats, as storing and loading them again does.
inline __m256d rounded(__m256d v) { return widen(narrow(v)); }

// The last two stages (le2 n/4 and n/2), four groups of four points a step: the next to last in
// full, the last only for its lower half, and |X| / n of that into re[0 .. n/2 - 1]. Done
// together so that the square roots run beside the conversions.
void lastStagesMagnitudes(float* re, const float* im, std::int32_t n, const double* cr1, const double* ci1,
                          const double* cr2, const double* ci2) {
    const std::int32_t q = n / 4, h = n / 2;
    const __m256d scale = _mm256_set1_pd(1.0 / n);
    auto load = [](const float* p) { return widen(_mm_loadu_ps(p)); };
    for (std::int32_t j = 0; j < q; j += 4) {
        const __m256d a0 = load(re + j), a0i = load(im + j), a1 = load(re + j + q), a1i = load(im + j + q);
        const __m256d a2 = load(re + h + j), a2i = load(im + h + j);
        const __m256d a3 = load(re + h + j + q), a3i = load(im + h + j + q);
        // Next to last: (j, j + q) and (h + j, h + j + q), both with factor j.
        const __m256d w = _mm256_load_pd(cr1 + j), wi = _mm256_load_pd(ci1 + j);
        const __m256d t = sub(mul(a1, w), mul(a1i, wi)), ti = add(mul(a1i, w), mul(a1, wi));
        const __m256d u = sub(mul(a3, w), mul(a3i, wi)), ui = add(mul(a3i, w), mul(a3, wi));
        const __m256d b0 = rounded(add(a0, t)), b0i = rounded(add(a0i, ti));
        const __m256d b1 = rounded(sub(a0, t)), b1i = rounded(sub(a0i, ti));
        const __m256d b2 = rounded(add(a2, u)), b2i = rounded(add(a2i, ui));
        const __m256d b3 = rounded(sub(a2, u)), b3i = rounded(sub(a2i, ui));
        // Last: the lower values of (j, h + j) with factor j and (j + q, h + j + q) with factor j + q.
        const __m256d v = _mm256_load_pd(cr2 + j), vi = _mm256_load_pd(ci2 + j);
        const __m256d x = _mm256_load_pd(cr2 + j + q), xi = _mm256_load_pd(ci2 + j + q);
        const __m256d r0 = rounded(add(b0, sub(mul(b2, v), mul(b2i, vi))));
        const __m256d r0i = rounded(add(b0i, add(mul(b2i, v), mul(b2, vi))));
        const __m256d r1 = rounded(add(b1, sub(mul(b3, x), mul(b3i, xi))));
        const __m256d r1i = rounded(add(b1i, add(mul(b3i, x), mul(b3, xi))));
        _mm_storeu_ps(re + j, narrow(mul(_mm256_sqrt_pd(add(mul(r0, r0), mul(r0i, r0i))), scale)));
        _mm_storeu_ps(re + j + q, narrow(mul(_mm256_sqrt_pd(add(mul(r1, r1), mul(r1i, r1i))), scale)));
    }
}

}  // namespace avx

// Magnitudes of the first n/2 points into spec[0 .. n/2 - 1]; im scratch of n values.
void transformAvx2(const std::int16_t* wave, float* spec, float* im, std::int32_t n, std::int32_t m,
                   const Twiddles& tw) {
    const double* cr = tw.re();
    const double* ci = tw.im();
    avx::firstStages(wave, spec, im, n, cr, ci, tw.bitRev.data());
    for (std::int32_t k = 4; k < m - 1; ++k) {
        const std::int32_t le2 = std::int32_t{1} << (k - 1);
        avx::wideStage(spec, im, n, le2, cr + le2, ci + le2);
    }
    avx::lastStagesMagnitudes(spec, im, n, cr + n / 4, ci + n / 4, cr + n / 2, ci + n / 2);
}

#pragma GCC pop_options

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

bool detail::haveAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

void CalcFFT(const std::vector<std::int16_t>& wave, std::vector<float>& spec, const std::vector<std::int32_t>& bitRev,
             std::int32_t n) {
    detail::CalcFFTWith(detail::haveAvx2() ? detail::Units::Avx2 : detail::Units::Plain, wave, spec, bitRev, n);
}

void detail::CalcFFTWith(Units units, const std::vector<std::int16_t>& wave, std::vector<float>& spec,
                         const std::vector<std::int32_t>& bitRev, std::int32_t n) {
    if (n < 1) platform::raise(9);
    const std::int32_t m = Log2Rounded(n);
    thread_local std::vector<float> im;
    const bool whole = m >= 0 && m < 31 && (std::int32_t{1} << m) == n && static_cast<std::int64_t>(spec.size()) >= n &&
                       static_cast<std::int64_t>(wave.size()) >= n && static_cast<std::int64_t>(bitRev.size()) >= n;
    if (whole && units == Units::Avx2 && m >= 5) {
        const Twiddles& tw = twiddlesFor(n, m);
        if (std::memcmp(bitRev.data(), tw.bitRev.data(), static_cast<std::size_t>(n) * sizeof(std::int32_t)) == 0) {
            // Every value of im is written before it is read.
            if (im.size() < static_cast<std::size_t>(n)) im.resize(static_cast<std::size_t>(n));
            transformAvx2(wave.data(), spec.data(), im.data(), n, m, tw);
            redimPreserve(spec, n / 2 - 1);
            return;
        }
    }
    im.assign(static_cast<std::size_t>(n), 0.0f);
    // Input in bit-reversed order; no window, no mean removed.
    if (whole) {
        const auto size = static_cast<std::uint32_t>(spec.size());
        for (std::int32_t i = 0; i <= n - 1; ++i) {
            const auto r = static_cast<std::uint32_t>(bitRev[static_cast<std::size_t>(i)]);
            if (r >= size) platform::raise(9);
            spec[r] = static_cast<float>(wave[static_cast<std::size_t>(i)]);
        }
        const Twiddles& tw = twiddlesFor(n, m);
        butterflies(spec.data(), im.data(), n, m, tw.re(), tw.im());
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
