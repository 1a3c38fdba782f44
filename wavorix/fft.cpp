// Built with floating-point contraction off: every product and sum is rounded on its own, so
// that spectra are identical on every build.
#include "wavorix/fft.h"

#include <cmath>

#include "platform/error.h"
#include "wavorix/arrays.h"

namespace wavorix::FFT {

std::int32_t Log2Rounded(double n) { return static_cast<std::int32_t>(std::nearbyint(std::log(n) / std::log(2.0))); }

namespace {

// The butterflies on spec/im of n points (n a power of two, both arrays at least n long). The
// twiddle factors of a stage come from the recurrence, in the same order and so with the same
// values as the textbook loop; only the order of the (independent) butterflies of a stage
// differs, so that the inner loop runs over neighbouring values.
void butterflies(float* spec, float* im, std::int32_t n, std::int32_t m) {
    thread_local std::vector<double> twr, twi;
    twr.resize(static_cast<std::size_t>(n / 2));
    twi.resize(static_cast<std::size_t>(n / 2));
    for (std::int32_t k = 1; k <= m; ++k) {
        const std::int32_t le = 1 << k;
        const std::int32_t le2 = le / 2;
        double ur = 1.0, ui = 0.0;
        const double wr = std::cos(kPi / le2);
        const double wi = -std::sin(kPi / le2);
        for (std::int32_t j = 0; j < le2; ++j) {
            twr[static_cast<std::size_t>(j)] = ur;
            twi[static_cast<std::size_t>(j)] = ui;
            const double t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
        const double* cr = twr.data();
        const double* ci = twi.data();
        for (std::int32_t base = 0; base < n; base += le) {
            float* sr = spec + base;
            float* si = im + base;
            float* pr = sr + le2;
            float* pi = si + le2;
            for (std::int32_t j = 0; j < le2; ++j) {
                const double tr = static_cast<double>(pr[j]) * cr[j] - static_cast<double>(pi[j]) * ci[j];
                const double ti = static_cast<double>(pi[j]) * cr[j] + static_cast<double>(pr[j]) * ci[j];
                pr[j] = static_cast<float>(static_cast<double>(sr[j]) - tr);
                pi[j] = static_cast<float>(static_cast<double>(si[j]) - ti);
                sr[j] = static_cast<float>(static_cast<double>(sr[j]) + tr);
                si[j] = static_cast<float>(static_cast<double>(si[j]) + ti);
            }
        }
    }
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
        butterflies(spec.data(), im.data(), n, m);
    } else {
        for (std::int32_t i = 0; i <= n - 1; ++i) at(spec, at(bitRev, i)) = static_cast<float>(at(wave, i));
        butterfliesChecked(spec, im, n, m);
    }
    if (static_cast<std::int64_t>(spec.size()) < n / 2) platform::raise(9);
    float* s = spec.data();
    for (std::int32_t i = 0; i <= n / 2 - 1; ++i) {
        const double re = s[i];
        const double imv = im[static_cast<std::size_t>(i)];
        s[i] = static_cast<float>(std::sqrt(re * re + imv * imv) / n);
    }
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
