// Points, affine matrices, colours and colour transforms of the player.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace player {

struct Pt {
    double x = 0;
    double y = 0;
};

// x' = a*x + c*y + tx, y' = b*x + d*y + ty (a movie's MATRIX: a, d scale; b, c rotate and skew).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Pt apply(Pt p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // This transform applied after `inner`.
    Affine after(const Affine& inner) const {
        return {a * inner.a + c * inner.b,       b * inner.a + d * inner.b,       a * inner.c + c * inner.d,
                b * inner.c + d * inner.d,       a * inner.tx + c * inner.ty + tx, b * inner.tx + d * inner.ty + ty};
    }
    // How much a length grows on average (for line widths and curve tolerances).
    double scale() const { return std::sqrt(std::fabs(a * d - b * c)); }
    static Affine scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
};

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// A colour transform: each channel times mult/256 plus add, clamped to 0..255.
struct ColorTransform {
    int mr = 256, mg = 256, mb = 256, ma = 256;
    int ar = 0, ag = 0, ab = 0, aa = 0;

    bool identity() const {
        return mr == 256 && mg == 256 && mb == 256 && ma == 256 && ar == 0 && ag == 0 && ab == 0 && aa == 0;
    }
    Rgba apply(Rgba c) const {
        auto ch = [](int v, int m, int add) {
            const long long r = static_cast<long long>(v) * m / 256 + add;
            return static_cast<std::uint8_t>(std::clamp<long long>(r, 0, 255));
        };
        return {ch(c.r, mr, ar), ch(c.g, mg, ag), ch(c.b, mb, ab), ch(c.a, ma, aa)};
    }
    // This transform applied after `inner`.
    ColorTransform after(const ColorTransform& inner) const {
        auto clampTerm = [](long long v) { return static_cast<int>(std::clamp<long long>(v, -65536, 65536)); };
        ColorTransform t;
        t.mr = clampTerm(static_cast<long long>(mr) * inner.mr / 256);
        t.mg = clampTerm(static_cast<long long>(mg) * inner.mg / 256);
        t.mb = clampTerm(static_cast<long long>(mb) * inner.mb / 256);
        t.ma = clampTerm(static_cast<long long>(ma) * inner.ma / 256);
        t.ar = clampTerm(static_cast<long long>(inner.ar) * mr / 256 + ar);
        t.ag = clampTerm(static_cast<long long>(inner.ag) * mg / 256 + ag);
        t.ab = clampTerm(static_cast<long long>(inner.ab) * mb / 256 + ab);
        t.aa = clampTerm(static_cast<long long>(inner.aa) * ma / 256 + aa);
        return t;
    }
};

}  // namespace player
