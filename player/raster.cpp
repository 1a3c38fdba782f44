#include "player/raster.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace player {

namespace {
// Beyond this a coordinate is nonsense from a broken matrix; clamping keeps the arithmetic sane.
constexpr double kCoordLimit = 1e7;

double sane(double v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }
}  // namespace

#if defined(__x86_64__) && defined(__GNUC__)
namespace {
// Eight pixels a store where the processor has AVX2 (decided once, at run time).
__attribute__((target("avx2"))) void fillWordsAvx2(std::uint32_t* p, int n, std::uint32_t word) {
    int i = 0;
    const __m256i w = _mm256_set1_epi32(static_cast<int>(word));
    for (; i + 16 <= n; i += 16) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), w);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 8), w);
    }
    if (i + 8 <= n) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), w);
        i += 8;
    }
    if (i + 4 <= n) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm256_castsi256_si128(w));
        i += 4;
    }
    for (; i < n; ++i) p[i] = word;
}
const bool kAvx2 = [] {
    __builtin_cpu_init();  // this runs among the library's constructors
    return __builtin_cpu_supports("avx2") != 0;
}();
}  // namespace
#endif

void fillWords(std::uint32_t* p, int n, std::uint32_t word) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (kAvx2 && n >= 8) {
        fillWordsAvx2(p, n, word);
        return;
    }
#endif
    int i = 0;
#if defined(__SSE2__)
    const __m128i w = _mm_set1_epi32(static_cast<int>(word));
    for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), w);
#endif
    for (; i < n; ++i) p[i] = word;
}

namespace {
// One pixel of the blend below.
inline std::uint32_t blendWord(std::uint32_t d, std::uint32_t ia, std::uint32_t srb, std::uint32_t sag) {
    std::uint32_t rb = (d & 0xFF00FF) * ia + srb;
    std::uint32_t ag = ((d >> 8) & 0xFF00FF) * ia + sag;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    ag = (ag + ((ag >> 8) & 0xFF00FF)) & 0xFF00FF00;
    return rb | ag;
}
#if defined(__x86_64__) && defined(__GNUC__)
// The blend of blendSpan eight pixels at a time (a veil over the whole picture is mostly this);
// returns the first pixel not blended.
__attribute__((target("avx2"))) int blendWordsAvx2(std::uint32_t* p, int x, int x1, std::uint32_t ia, std::uint32_t srb,
                                                   std::uint32_t sag) {
    const __m256i low = _mm256_set1_epi16(0x00FF), high = _mm256_set1_epi16(static_cast<short>(0xFF00));
    const __m256i vi = _mm256_set1_epi16(static_cast<short>(ia));
    const __m256i vrb = _mm256_set1_epi32(static_cast<int>(srb)), vag = _mm256_set1_epi32(static_cast<int>(sag));
    for (; x + 8 <= x1; x += 8) {
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
        __m256i rb = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(d, low), vi), vrb);
        __m256i ag = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(d, 8), vi), vag);
        rb = _mm256_srli_epi16(_mm256_add_epi16(rb, _mm256_srli_epi16(rb, 8)), 8);
        ag = _mm256_and_si256(_mm256_add_epi16(ag, _mm256_srli_epi16(ag, 8)), high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + x), _mm256_or_si256(rb, ag));
    }
    return x;
}
#endif
}  // namespace

void blendSpan(platform::Bitmap& target, int y, int x0, int x1, Rgba c) {
    if (c.a == 0 || x0 >= x1) return;
    const std::uint32_t a = c.a, ia = 255 - a;
    if (target.format() == platform::PixelFormat::Bgra32) {
        std::uint32_t* p = target.row32(y);
        const std::uint32_t src = 0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
        if (a == 255) {
            fillWords(p + x0, x1 - x0, src);
            return;
        }
        // Two channels per multiply; (v + 128) * 257 >> 16 is v / 255 rounded, for v <= 255 * 255.
        // Each channel's sum stays below 65536, so the same arithmetic in 16-bit lanes gives the
        // same bits, four (or, with AVX2, eight) pixels at a time (a veil over the whole picture is one
        // such pass a row).
        const std::uint32_t srb = (src & 0xFF00FF) * a + 0x800080, sag = ((src >> 8) & 0xFF00FF) * a + 0x800080;
        int x = x0;
#if defined(__x86_64__) && defined(__GNUC__)
        if (kAvx2 && x1 - x0 >= 8) x = blendWordsAvx2(p, x, x1, ia, srb, sag);
#endif
#if defined(__SSE2__)
        const __m128i low = _mm_set1_epi16(0x00FF), high = _mm_set1_epi16(static_cast<short>(0xFF00));
        const __m128i vi = _mm_set1_epi16(static_cast<short>(ia));
        const __m128i vrb = _mm_set1_epi32(static_cast<int>(srb)), vag = _mm_set1_epi32(static_cast<int>(sag));
        for (; x + 4 <= x1; x += 4) {
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
            __m128i rb = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(d, low), vi), vrb);
            __m128i ag = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(d, 8), vi), vag);
            rb = _mm_srli_epi16(_mm_add_epi16(rb, _mm_srli_epi16(rb, 8)), 8);
            ag = _mm_and_si128(_mm_add_epi16(ag, _mm_srli_epi16(ag, 8)), high);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x), _mm_or_si128(rb, ag));
        }
#endif
        for (; x < x1; ++x) p[x] = blendWord(p[x], ia, srb, sag);
        return;
    }
    std::uint8_t* p = target.row(y) + x0 * 3;
    const std::uint32_t sb = c.b * a + 128, sg = c.g * a + 128, sr = c.r * a + 128;
    auto mix = [&](std::uint8_t d, std::uint32_t s) {
        const std::uint32_t v = d * ia + s;
        return static_cast<std::uint8_t>((v + (v >> 8)) >> 8);
    };
    for (int x = x0; x < x1; ++x, p += 3) {
        p[0] = mix(p[0], sb);
        p[1] = mix(p[1], sg);
        p[2] = mix(p[2], sr);
    }
}

void ScanFiller::addEdge(Pt from, Pt to) {
    if (!std::isfinite(from.x) || !std::isfinite(from.y) || !std::isfinite(to.x) || !std::isfinite(to.y)) return;
    from = {sane(from.x), sane(from.y)};
    to = {sane(to.x), sane(to.y)};
    if (from.y == to.y) return;
    const int dir = to.y > from.y ? 1 : -1;
    const Pt& top = dir > 0 ? from : to;
    const Pt& bottom = dir > 0 ? to : from;
    // A row belongs to the edge when its centre lies in [top, bottom).
    const int first = static_cast<int>(std::ceil(top.y - 0.5));
    const int end = static_cast<int>(std::ceil(bottom.y - 0.5));
    if (first >= end) return;
    edges_.push_back({top.x, top.y, (bottom.x - top.x) / (bottom.y - top.y), first, end, dir});
}

void ScanFiller::addPolygon(const std::vector<Pt>& points) {
    for (std::size_t i = 0; i < points.size(); ++i) addEdge(points[i], points[(i + 1) % points.size()]);
}

void ScanFiller::fill(platform::Bitmap& target, Rgba colour, std::vector<Span>* drawn) {
    const int width = target.width(), height = target.height();
    if (colour.a == 0 || width <= 0 || height <= 0) {
        reset();
        return;
    }
    std::size_t kept = 0;
    for (const Edge& e : edges_) {
        Edge c = e;
        c.rowFirst = std::max(c.rowFirst, 0);
        c.rowEnd = std::min(c.rowEnd, height);
        if (c.rowFirst < c.rowEnd) edges_[kept++] = c;
    }
    edges_.resize(kept);
    if (edges_.empty()) return;
    std::sort(edges_.begin(), edges_.end(), [](const Edge& l, const Edge& r) { return l.rowFirst < r.rowFirst; });

    active_.clear();
    std::size_t next = 0;
    int row = edges_.front().rowFirst;
    while (row < height) {
        if (active_.empty()) {
            if (next >= edges_.size()) break;
            row = std::max(row, edges_[next].rowFirst);
        }
        while (next < edges_.size() && edges_[next].rowFirst <= row) active_.push_back(static_cast<int>(next++));
        std::erase_if(active_, [&](int i) { return edges_[i].rowEnd <= row; });
        if (active_.empty()) continue;

        const double yc = row + 0.5;
        crossings_.clear();
        for (int i : active_) {
            const Edge& e = edges_[i];
            crossings_.push_back({e.x0 + (yc - e.y0) * e.slope, e.dir});
        }
        // A row crosses few edges, mostly already in order from the row before: insertion sort.
        // Crossings that compare equal are equal in every field, so any sort gives the same row.
        const auto before = [](const Crossing& l, const Crossing& r) { return l.x < r.x || (l.x == r.x && l.dir < r.dir); };
        if (crossings_.size() <= 32) {
            for (std::size_t i = 1; i < crossings_.size(); ++i) {
                const Crossing c = crossings_[i];
                std::size_t j = i;
                for (; j > 0 && before(c, crossings_[j - 1]); --j) crossings_[j] = crossings_[j - 1];
                crossings_[j] = c;
            }
        } else {
            std::sort(crossings_.begin(), crossings_.end(), before);
        }
        int winding = 0;
        double start = 0;
        for (const Crossing& c : crossings_) {
            const int before = winding;
            winding += c.dir;
            if (before == 0 && winding != 0) {
                start = c.x;
            } else if (before != 0 && winding == 0) {
                // Pixels whose centres lie in [start, end).
                const int x0 = static_cast<int>(std::clamp(std::ceil(start - 0.5), 0.0, static_cast<double>(width)));
                const int x1 = static_cast<int>(std::clamp(std::ceil(c.x - 0.5), 0.0, static_cast<double>(width)));
                if (record_) {
                    if (x0 < x1) record_->push_back({row, x0, x1, colour});
                    continue;
                }
                blendSpan(target, row, x0, x1, colour);
                if (drawn && x0 < x1) drawn->push_back({row, x0, x1});
            }
        }
        ++row;
    }
    reset();
}

bool paintRuns(std::vector<Run>& row, const Paint* paints, std::size_t count, std::vector<Run>& scratch,
               std::size_t maxRuns) {
    const auto put = [&](int x1, std::uint32_t word) {
        if (!scratch.empty() && scratch.back().word == word)
            scratch.back().x1 = x1;
        else
            scratch.push_back({x1, word});
    };
    for (std::size_t k = 0; k < count; ++k) {
        const Paint& p = paints[k];
        const Rgba c = p.colour;
        if (c.a == 0 || p.x0 >= p.x1) continue;
        // The words of blendSpan for a 32-bit target.
        const std::uint32_t a = c.a, ia = 255 - a;
        const std::uint32_t src = 0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
        const std::uint32_t srb = (src & 0xFF00FF) * a + 0x800080, sag = ((src >> 8) & 0xFF00FF) * a + 0x800080;
        // The runs before the paint and after it stay as they are (already joined).
        std::size_t i = 0;
        while (row[i].x1 <= p.x0) ++i;
        scratch.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(i));
        int start = i ? row[i - 1].x1 : 0;
        for (; i < row.size() && start < p.x1; ++i) {
            const Run& r = row[i];
            const int lo = std::max(start, p.x0), hi = std::min(r.x1, p.x1);
            if (start < lo) put(lo, r.word);
            put(hi, a == 255 ? src : blendWord(r.word, ia, srb, sag));
            if (hi < r.x1) put(r.x1, r.word);
            start = r.x1;
        }
        if (i < row.size()) {
            put(row[i].x1, row[i].word);
            scratch.insert(scratch.end(), row.begin() + static_cast<std::ptrdiff_t>(i) + 1, row.end());
        }
        if (scratch.size() > maxRuns) return false;
        row.swap(scratch);
    }
    return true;
}

const std::vector<Pt>& ScanFiller::unitCircle(int k) {
    // The same cosines and sines as computed for each corner, once per corner count.
    if (circleK_ != k) {
        unitCircle_.resize(static_cast<std::size_t>(k));
        for (int j = 0; j < k; ++j) {
            const double t = -2 * std::numbers::pi * j / k;
            unitCircle_[static_cast<std::size_t>(j)] = {std::cos(t), std::sin(t)};
        }
        circleK_ = k;
    }
    return unitCircle_;
}

void addStroke(ScanFiller& filler, const std::vector<Pt>& points, double width) {
    const double hw = std::max(width, 1.0) / 2;
    std::vector<Pt>& quad = filler.scratch();
    quad.resize(4);
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Pt p = points[i - 1], q = points[i];
        const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
        if (!(len > 0) || !std::isfinite(len)) continue;
        const double nx = -dy / len * hw, ny = dx / len * hw;
        quad[0] = {p.x + nx, p.y + ny};
        quad[1] = {q.x + nx, q.y + ny};
        quad[2] = {q.x - nx, q.y - ny};
        quad[3] = {p.x - nx, p.y - ny};
        filler.addPolygon(quad);
    }
    if (hw < 1.5) return;  // corners of hairlines do not show
    // Round joins and caps, turning the same way as the bands so that overlaps add up.
    const int k = std::clamp(static_cast<int>(std::ceil(std::numbers::pi * std::sqrt(2 * hw))), 8, 64);
    const std::vector<Pt>& unit = filler.unitCircle(k);
    std::vector<Pt>& circle = filler.scratch();
    circle.resize(static_cast<std::size_t>(k));
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0 && points[i].x == points[i - 1].x && points[i].y == points[i - 1].y) continue;
        for (int j = 0; j < k; ++j) circle[j] = {points[i].x + hw * unit[j].x, points[i].y + hw * unit[j].y};
        filler.addPolygon(circle);
    }
}

}  // namespace player
