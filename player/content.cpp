#include "player/content.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "player/picture.h"
#include "player/swf_playback.h"

namespace player {

ContentKind detectContent(const std::uint8_t* data, std::size_t size) {
    auto starts = [&](const char* sig, std::size_t n) { return size >= n && std::memcmp(data, sig, n) == 0; };
    if (starts("FWS", 3) || starts("CWS", 3) || starts("ZWS", 3)) return ContentKind::Swf;
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return ContentKind::Gif;
    if (starts("\x89PNG\r\n\x1a\n", 8)) return ContentKind::Png;
    if (starts("\xFF\xD8\xFF", 3)) return ContentKind::Jpeg;
    if (starts("BM", 2)) return ContentKind::Bmp;
    return ContentKind::Unknown;
}

const char* contentKindName(ContentKind kind) {
    switch (kind) {
    case ContentKind::Swf: return "SWF";
    case ContentKind::Gif: return "GIF";
    case ContentKind::Png: return "PNG";
    case ContentKind::Jpeg: return "JPEG";
    case ContentKind::Bmp: return "BMP";
    default: return "unknown";
    }
}

namespace {

// One pixel of straight-alpha source over a 32-bit target pixel.
inline std::uint32_t over(std::uint32_t d, std::uint32_t s) {
    const std::uint32_t a = s >> 24, ia = 255 - a;
    std::uint32_t rb = (d & 0xFF00FF) * ia + (s & 0xFF00FF) * a + 0x800080;
    std::uint32_t ag = ((d >> 8) & 0xFF00FF) * ia + (((s >> 8) & 0xFF) | 0xFF0000) * a + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    ag = (ag + ((ag >> 8) & 0xFF00FF)) & 0xFF00FF00;
    return rb | ag;
}

// A still or animated picture. The frame scaled to the target is kept between renders, with the
// runs of opaque and translucent pixels of each row, so that a still picture costs only copies.
class PictureContent final : public Content {
public:
    PictureContent(Picture pic, ContentKind kind, std::int64_t nowNs)
        : pic_(std::move(pic)), kind_(kind), frameStart_(nowNs) {
        for (const auto& f : pic_.frames) cycleNs_ += delayNs(f);
    }

    ContentKind kind() const override { return kind_; }
    int totalFrames() const override { return static_cast<int>(pic_.frames.size()); }
    int currentFrame() const override { return current_; }
    bool playing() const override { return playing_; }

    void advanceTo(std::int64_t nowNs) override {
        const int n = totalFrames();
        if (!playing_ || n <= 1 || nowNs <= frameStart_) return;
        // Whole rounds of the animation end on the frame they began with.
        if (nowNs - frameStart_ > cycleNs_) frameStart_ += (nowNs - frameStart_) / cycleNs_ * cycleNs_ - cycleNs_;
        while (nowNs - frameStart_ >= delayNs(pic_.frames[current_])) {
            frameStart_ += delayNs(pic_.frames[current_]);
            current_ = (current_ + 1) % n;
        }
    }
    void play(std::int64_t nowNs) override {
        advanceTo(nowNs);
        if (!playing_) {
            playing_ = true;
            frameStart_ = nowNs;
        }
    }
    void stop(std::int64_t nowNs) override {
        advanceTo(nowNs);
        playing_ = false;
    }
    StageRect stage() const override { return {0, 0, static_cast<double>(pic_.width), static_cast<double>(pic_.height)}; }

    void render(platform::Bitmap& target, const Affine& m, std::vector<Span>* drawn = nullptr) override {
        if (pic_.frames.empty() || !(m.a > 0) || !(m.d > 0)) return;
        prepare(target.width(), target.height(), m);
        const bool wide = target.format() == platform::PixelFormat::Bgra32;
        for (int y = cache_.y0; y < cache_.y1; ++y) {
            const std::uint32_t* src = cache_.pixels.data() + static_cast<std::size_t>(y - cache_.y0) * cache_.width;
            for (int r = cache_.rowRuns[y - cache_.y0]; r < cache_.rowRuns[y - cache_.y0 + 1]; ++r) {
                const Run& run = cache_.runs[r];
                if (drawn) drawn->push_back({y, run.x0, run.x1});
                if (wide) {
                    std::uint32_t* dst = target.row32(y);
                    if (run.opaque)
                        std::memcpy(dst + run.x0, src + (run.x0 - cache_.x0), static_cast<std::size_t>(run.x1 - run.x0) * 4);
                    else
                        for (int x = run.x0; x < run.x1; ++x) dst[x] = over(dst[x], src[x - cache_.x0]);
                } else {
                    std::uint8_t* dst = target.row(y);
                    for (int x = run.x0; x < run.x1; ++x) {
                        std::uint8_t* p = dst + x * 3;
                        const std::uint32_t d = 0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0];
                        const std::uint32_t o = run.opaque ? src[x - cache_.x0] : over(d, src[x - cache_.x0]);
                        p[0] = static_cast<std::uint8_t>(o);
                        p[1] = static_cast<std::uint8_t>(o >> 8);
                        p[2] = static_cast<std::uint8_t>(o >> 16);
                    }
                }
            }
        }
    }

private:
    struct Run {
        int x0, x1;
        bool opaque;
    };
    struct Cache {
        bool valid = false;
        int frame = -1, targetW = 0, targetH = 0;
        double a = 0, d = 0, tx = 0, ty = 0;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 0;
        std::vector<std::uint32_t> pixels;
        std::vector<Run> runs;
        std::vector<int> rowRuns;  // runs of row y are [rowRuns[y], rowRuns[y + 1])
    };

    // Where a target pixel's centre falls in the picture: the source pixels either side and the
    // weight (0..256) of the second; without smoothing just the pixel under the centre.
    struct Sample {
        int i0, i1, w;
    };
    static Sample sample(int target, double offset, double scale, int size, bool smooth) {
        const double u = (target + 0.5 - offset) / scale;
        if (!smooth) {
            const int i = std::clamp(static_cast<int>(std::floor(u)), 0, size - 1);
            return {i, i, 0};
        }
        const double f = std::floor(u - 0.5);
        const int w = static_cast<int>(std::lround((u - 0.5 - f) * 256));
        const int i = static_cast<int>(std::clamp(f, -1.0, static_cast<double>(size)));
        return {std::clamp(i, 0, size - 1), std::clamp(i + 1, 0, size - 1), w};
    }
    // a + (b - a) * w / 256 on all four channels.
    static std::uint32_t lerp(std::uint32_t a, std::uint32_t b, int w) {
        const std::uint32_t wb = static_cast<std::uint32_t>(w), wa = 256 - wb;
        const std::uint32_t rb = (((a & 0xFF00FF) * wa + (b & 0xFF00FF) * wb) >> 8) & 0xFF00FF;
        const std::uint32_t ag = (((a >> 8) & 0xFF00FF) * wa + ((b >> 8) & 0xFF00FF) * wb) & 0xFF00FF00;
        return rb | ag;
    }

    static std::int64_t delayNs(const PictureFrame& f) { return static_cast<std::int64_t>(std::max(f.delayMs, 10)) * 1'000'000; }

    // Scales the current frame to the target, sampled at pixel centres.
    void prepare(int tw, int th, const Affine& m) {
        if (cache_.valid && cache_.frame == current_ && cache_.targetW == tw && cache_.targetH == th && cache_.a == m.a &&
            cache_.d == m.d && cache_.tx == m.tx && cache_.ty == m.ty)
            return;
        cache_.valid = true;
        cache_.frame = current_;
        cache_.targetW = tw;
        cache_.targetH = th;
        cache_.a = m.a;
        cache_.d = m.d;
        cache_.tx = m.tx;
        cache_.ty = m.ty;
        auto edge = [](double v, int limit) {
            return static_cast<int>(std::clamp(std::ceil(v - 0.5), 0.0, static_cast<double>(limit)));
        };
        cache_.x0 = edge(m.tx, tw);
        cache_.x1 = edge(m.tx + m.a * pic_.width, tw);
        cache_.y0 = edge(m.ty, th);
        cache_.y1 = edge(m.ty + m.d * pic_.height, th);
        cache_.width = cache_.x1 - cache_.x0;
        const int rows = cache_.y1 - cache_.y0;
        cache_.pixels.assign(static_cast<std::size_t>(std::max(cache_.width, 0)) * std::max(rows, 0), 0);
        cache_.runs.clear();
        cache_.rowRuns.assign(static_cast<std::size_t>(std::max(rows, 0)) + 1, 0);
        if (cache_.width <= 0 || rows <= 0) {
            cache_.rowRuns.assign(1, 0);
            cache_.y1 = cache_.y0;
            return;
        }
        const PictureFrame& frame = pic_.frames[current_];
        // Opaque photographs are smoothed (bilinear); pictures with transparency, such as masks,
        // keep hard edges (nearest pixel).
        const bool smooth = frame.opaque && kind_ != ContentKind::Gif;
        std::vector<Sample> cols(cache_.width);
        for (int x = 0; x < cache_.width; ++x) cols[x] = sample(cache_.x0 + x, m.tx, m.a, pic_.width, smooth);
        for (int y = 0; y < rows; ++y) {
            const Sample v = sample(cache_.y0 + y, m.ty, m.d, pic_.height, smooth);
            const std::uint32_t* src0 = frame.pixels.data() + static_cast<std::size_t>(v.i0) * pic_.width;
            const std::uint32_t* src1 = frame.pixels.data() + static_cast<std::size_t>(v.i1) * pic_.width;
            std::uint32_t* out = cache_.pixels.data() + static_cast<std::size_t>(y) * cache_.width;
            if (smooth) {
                for (int x = 0; x < cache_.width; ++x) {
                    const Sample& c = cols[x];
                    out[x] = lerp(lerp(src0[c.i0], src0[c.i1], c.w), lerp(src1[c.i0], src1[c.i1], c.w), v.w);
                }
            } else {
                for (int x = 0; x < cache_.width; ++x) out[x] = src0[cols[x].i0];
            }
            // Runs: fully opaque pixels copy, translucent ones blend, clear ones are skipped.
            int x = 0;
            while (x < cache_.width) {
                const std::uint32_t alpha = out[x] >> 24;
                int e = x + 1;
                if (alpha == 0) {
                    while (e < cache_.width && (out[e] >> 24) == 0) ++e;
                } else {
                    const bool opaque = alpha == 255;
                    while (e < cache_.width && (out[e] >> 24) != 0 && ((out[e] >> 24) == 255) == opaque) ++e;
                    cache_.runs.push_back({cache_.x0 + x, cache_.x0 + e, opaque});
                }
                x = e;
            }
            cache_.rowRuns[y + 1] = static_cast<int>(cache_.runs.size());
        }
    }

    Picture pic_;
    ContentKind kind_;
    int current_ = 0;
    bool playing_ = true;
    std::int64_t frameStart_;
    std::int64_t cycleNs_ = 0;
    Cache cache_;
};

}  // namespace

std::unique_ptr<Content> makeContent(const std::uint8_t* data, std::size_t size, std::int64_t nowNs, std::string* problem) {
    const ContentKind kind = detectContent(data, size);
    switch (kind) {
    case ContentKind::Swf: {
        std::shared_ptr<SwfMovie> movie = readSwf(data, size, problem);
        if (!movie) return nullptr;
        return std::make_unique<SwfPlayback>(std::move(movie), nowNs);
    }
    case ContentKind::Gif:
    case ContentKind::Png:
    case ContentKind::Jpeg:
    case ContentKind::Bmp: {
        auto pic = decodePicture(data, size, problem);
        if (!pic) return nullptr;
        return std::make_unique<PictureContent>(std::move(*pic), kind, nowNs);
    }
    default:
        if (problem) *problem = "neither a movie nor a picture";
        return nullptr;
    }
}

}  // namespace player
