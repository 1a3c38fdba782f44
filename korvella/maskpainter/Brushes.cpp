#include "korvella/maskpainter/Brushes.h"

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "platform/error.h"
#include "platform/storage/files.h"
#include "player/movie_player.h"
#include "player/picture.h"

namespace korvella {

namespace {

struct P {
    double x, y;
};

bool inPolygon(const std::vector<P>& poly, double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if ((poly[i].y > y) != (poly[j].y > y) &&
            x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
            inside = !inside;
    }
    return inside;
}

std::vector<P> regular(int corners, double radius, double startDeg, double innerRadius = 0) {
    std::vector<P> poly;
    const int steps = innerRadius > 0 ? corners * 2 : corners;
    for (int i = 0; i < steps; ++i) {
        const double a = (startDeg + 360.0 * i / steps) * std::numbers::pi / 180;
        const double r = innerRadius > 0 && i % 2 ? innerRadius : radius;
        poly.push_back({100 + r * std::cos(a), 100 + r * std::sin(a)});
    }
    return poly;
}

double dist2(double x, double y, double cx, double cy) { return (x - cx) * (x - cx) + (y - cy) * (y - cy); }

// Whether the pixel centre (x, y) of a 200 x 200 picture is inked for a shape.
bool inked(int index, double x, double y) {
    switch (index) {
    case 0: return dist2(x, y, 100, 100) <= 90 * 90;
    case 1: return x >= 30 && x < 170 && y >= 30 && y < 170;
    case 2: {
        static const std::vector<P> star = regular(5, 95, -90, 38);
        return inPolygon(star, x, y);
    }
    case 3: {
        const double d = dist2(x, y, 100, 100);
        return d <= 90 * 90 && d >= 60 * 60;
    }
    case 4: return inPolygon({{100, 10}, {190, 180}, {10, 180}}, x, y);
    case 5: return inPolygon({{100, 5}, {195, 100}, {100, 195}, {5, 100}}, x, y);
    case 6: return static_cast<int>(y) / 20 % 2 == 0;
    case 7: return static_cast<int>(x) / 20 % 2 == 0;
    case 8: return (static_cast<int>(x) / 25 + static_cast<int>(y) / 25) % 2 == 0;
    case 9: return (x >= 75 && x < 125 && y >= 10 && y < 190) || (y >= 75 && y < 125 && x >= 10 && x < 190);
    case 10: return (x - 100) * (x - 100) / (95.0 * 95) + (y - 100) * (y - 100) / (50.0 * 50) <= 1;
    case 11: return inPolygon({{10, 75}, {120, 75}, {120, 30}, {190, 100}, {120, 170}, {120, 125}, {10, 125}}, x, y);
    case 12: {
        const double cx = std::floor(x / 40) * 40 + 20, cy = std::floor(y / 40) * 40 + 20;
        return dist2(x, y, cx, cy) <= 10 * 10;
    }
    case 13: return dist2(x, y, 100, 100) <= 90 * 90 && dist2(x, y, 140, 80) > 75 * 75;
    case 14: {
        static const std::vector<P> hexagon = regular(6, 92, 0);
        return inPolygon(hexagon, x, y);
    }
    case 15: {
        // (u^2 + v^2 - 1)^3 - u^2 v^3 <= 0, the heart curve, v pointing up.
        const double u = (x - 100) / 75, v = (105 - y) / 75;
        const double a = u * u + v * v - 1;
        return a * a * a - u * u * v * v * v <= 0;
    }
    default: return false;
    }
}

}  // namespace

platform::Bitmap builtInBrush(int index) {
    if (index < 0 || index >= kBrushShapes) return {};
    // Drawn once per run: every load of the window takes all sixteen.
    static const std::vector<platform::Bitmap> shapes = [] {
        std::vector<platform::Bitmap> all;
        for (int i = 0; i < kBrushShapes; ++i) {
            platform::Bitmap b(kBrushSide, kBrushSide, i == 2 ? platform::PixelFormat::Bgr24 : platform::PixelFormat::Bgra32);
            for (int y = 0; y < kBrushSide; ++y)
                for (int x = 0; x < kBrushSide; ++x) b.setPixel(x, y, inked(i, x + 0.5, y + 0.5) ? 0x000000 : 0xFFFFFF);
            all.push_back(std::move(b));
        }
        return all;
    }();
    return shapes[index];
}

platform::Bitmap LoadPicture(const std::string& path) {
    if (path.empty()) return {};
    // No larger than a picture the projector shows; pipes and devices are refused, not waited on.
    const std::vector<std::uint8_t> bytes =
        platform::readFileBytes(path, static_cast<std::size_t>(player::MoviePlayer::kMaxFileBytes));
    std::string why;
    const std::optional<player::Picture> pic = player::decodePicture(bytes.data(), bytes.size(), &why);
    if (!pic || pic->frames.empty() || pic->width <= 0 || pic->height <= 0) platform::raise(481, "Invalid picture");
    platform::Bitmap out(pic->width, pic->height, platform::PixelFormat::Bgra32);
    const std::vector<std::uint32_t>& px = pic->frames.front().pixels;
    for (int y = 0; y < pic->height; ++y) {
        for (int x = 0; x < pic->width; ++x) {
            const std::uint32_t w = px[static_cast<std::size_t>(y) * pic->width + x];
            const std::uint32_t a = w >> 24;
            // Straight alpha over white.
            auto over = [a](std::uint32_t c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            const std::uint32_t r = over((w >> 16) & 0xFF), g = over((w >> 8) & 0xFF), b = over(w & 0xFF);
            out.setPixel(x, y, r | (g << 8) | (b << 16));
        }
    }
    return out;
}

}  // namespace korvella
