// Builds the data delivered with the program into the folder given on the command line:
// Dimmer/0.swf .. Dimmer/25.swf (a black veil of n * 4 % opacity over the whole picture), a few
// sample effects in Effekts, the playlist Demo.bpl that shows them on kick-basses, and Demo.flac,
// a minute of a four-on-the-floor groove to play as the input where there is no sound card.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <vector>

#include <jpeglib.h>

#include "korvella/playlist/Form2.h"
#include "korvella/track.h"
#include "platform/error.h"
#include "platform/storage/files.h"
#include "platform/audio/wave_file.h"
#include "player/swf_writer.h"

namespace fs = std::filesystem;
using player::Affine;
using player::ColorTransform;
using player::Pt;
using player::Rgba;
using player::ShapeBuilder;
using player::SwfWriter;
using player::TimelineBuilder;

namespace {

constexpr int kWidth = 800, kHeight = 600;  // stage in pixels
constexpr int kW = kWidth * 20, kH = kHeight * 20;  // in twips

bool save(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::cerr << "cannot write " << path << "\n";
    return static_cast<bool>(out);
}

Affine rotationAbout(double degrees, double cx, double cy, double scale = 1) {
    const double r = degrees * std::numbers::pi / 180, c = std::cos(r) * scale, s = std::sin(r) * scale;
    return {c, s, -s, c, cx, cy};
}

// A circle of quadratic curves round (0, 0), filled on its right.
void circle(ShapeBuilder& s, int radius, int fill) {
    const int segments = 8;
    const double half = std::numbers::pi / segments;
    s.setStyles(0, fill, 0);
    s.moveTo(radius, 0);
    for (int i = 1; i <= segments; ++i) {
        const double a = 2 * half * i, ca = a - half;
        const double cr = radius / std::cos(half);
        s.curveTo(static_cast<int>(std::lround(cr * std::cos(ca))), static_cast<int>(std::lround(cr * std::sin(ca))),
                  static_cast<int>(std::lround(radius * std::cos(a))), static_cast<int>(std::lround(radius * std::sin(a))));
    }
}

// The veil reaches far past the stage so that it also covers the borders of a wider window.
std::vector<std::uint8_t> dimmer(int n) {
    SwfWriter w(kWidth, kHeight, 12);
    const auto alpha = static_cast<std::uint8_t>(std::lround(n * 4 * 255 / 100.0));
    const int id = w.defineRect(-2 * kW, -2 * kH, 3 * kW, 3 * kH, {0, 0, 0, alpha});
    w.place(1, id);
    w.showFrame();
    return w.finish();
}

// A disc that swells and shrinks with its brightness, 24 frames a beat-length loop.
std::vector<std::uint8_t> pulse() {
    SwfWriter w(kWidth, kHeight, 24);
    w.setBackground(0);
    ShapeBuilder s;
    circle(s, 4000, s.addFill({255, 40, 160, 255}));
    const int ring = s.addLine(200, {255, 220, 255, 255});
    s.setStyles(0, 0, ring);
    s.moveTo(4600, 0);
    s.curveTo(4600, 4600, 0, 4600);
    s.curveTo(-4600, 4600, -4600, 0);
    s.curveTo(-4600, -4600, 0, -4600);
    s.curveTo(4600, -4600, 4600, 0);
    const int id = w.defineShape(s);
    for (int f = 0; f < 24; ++f) {
        const double phase = std::sin(std::numbers::pi * f / 24);
        const double scale = 0.4 + 0.9 * phase;
        ColorTransform cx;
        cx.mr = cx.mg = cx.mb = static_cast<int>(96 + 160 * phase);
        const Affine m{scale, 0, 0, scale, kW / 2.0, kH / 2.0};
        if (f == 0)
            w.place(1, id, m, cx);
        else
            w.modify(1, m, cx);
        w.showFrame();
    }
    return w.finish(true);
}

// Four bars turning round the centre, 36 frames a turn of 90 degrees.
std::vector<std::uint8_t> bars() {
    SwfWriter w(kWidth, kHeight, 30);
    w.setBackground(0);
    ShapeBuilder s;
    const Rgba colours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 80, 255, 255}, {255, 255, 0, 255}};
    for (int i = 0; i < 4; ++i) {
        const int fill = s.addFill(colours[i]);
        const double a = i * std::numbers::pi / 2, c = std::cos(a), sn = std::sin(a);
        // A bar from the centre outwards, 900 twips wide.
        std::vector<Pt> bar = {{600, -450}, {9000, -450}, {9000, 450}, {600, 450}};
        for (Pt& p : bar) p = {p.x * c - p.y * sn, p.x * sn + p.y * c};
        s.polygon(bar, fill);
    }
    const int id = w.defineShape(s);
    for (int f = 0; f < 36; ++f) {
        const Affine m = rotationAbout(f * 2.5, kW / 2.0, kH / 2.0);
        if (f == 0)
            w.place(1, id, m);
        else
            w.modify(1, m);
        w.showFrame();
    }
    return w.finish(true);
}

// The whole picture running through the colour wheel in 60 frames.
std::vector<std::uint8_t> sweep() {
    SwfWriter w(kWidth, kHeight, 30);
    const int id = w.defineRect(-kW, -kH, 2 * kW, 2 * kH, {0, 0, 0, 255});
    for (int f = 0; f < 60; ++f) {
        const double h = f / 60.0 * 6;
        auto ch = [&](double offset) {
            double x = std::fmod(h + offset, 6.0);
            const double v = x < 1 ? x : x < 3 ? 1 : x < 4 ? 4 - x : 0;
            return static_cast<int>(std::lround(v * 255));
        };
        ColorTransform cx;
        cx.ar = ch(2);
        cx.ag = ch(0);
        cx.ab = ch(4);
        if (f == 0)
            w.place(1, id, {}, cx);
        else
            w.modify(1, std::nullopt, cx);
        w.showFrame();
    }
    return w.finish(true);
}

// Eight steps that each stop: every kick-bass plays it on by one step. A sprite spins in the
// middle all the while.
std::vector<std::uint8_t> steps() {
    SwfWriter w(kWidth, kHeight, 25);
    w.setBackground(0);
    ShapeBuilder wedge;
    const int fill = wedge.addFill({255, 255, 255, 255});
    const int edge = wedge.addLine(60, {255, 140, 0, 255});
    wedge.setStyles(0, fill, edge);
    wedge.moveTo(0, 0);
    wedge.lineTo(5600, -1400);
    wedge.curveTo(6000, 0, 5600, 1400);
    wedge.lineTo(0, 0);
    const int wedgeId = w.defineShape(wedge);

    ShapeBuilder star;
    circle(star, 700, star.addFill({255, 255, 255, 200}));
    const int starId = w.defineShape(star);
    TimelineBuilder spin;
    for (int f = 0; f < 12; ++f) {
        if (f == 0)
            spin.place(1, starId, Affine{1, 0, 0, 0.3, 0, 0});
        else
            spin.modify(1, rotationAbout(f * 15, 0, 0).after(Affine{1, 0, 0, 0.3, 0, 0}));
        spin.showFrame();
    }
    const int spinId = w.defineSprite(spin);

    for (int f = 0; f < 8; ++f) {
        ColorTransform cx;
        cx.mr = (f & 1) ? 256 : 64;
        cx.mg = (f & 2) ? 256 : 64;
        cx.mb = (f & 4) ? 256 : 64;
        const Affine m = rotationAbout(f * 45, kW / 2.0, kH / 2.0);
        if (f == 0) {
            w.place(1, wedgeId, m, cx);
            w.place(2, spinId, Affine::translation(kW / 2.0, kH / 2.0));
        } else {
            w.modify(1, m, cx);
        }
        w.stop();
        w.showFrame();
    }
    return w.finish(true);
}

// Rings of colour as a JPEG picture.
bool picture(const fs::path& path) {
    const int width = 800, height = 600;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - width / 2.0, dy = y - height / 2.0, r = std::sqrt(dx * dx + dy * dy);
            const double a = std::atan2(dy, dx);
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            p[0] = static_cast<std::uint8_t>(127 + 127 * std::sin(r / 18));
            p[1] = static_cast<std::uint8_t>(127 + 127 * std::sin(r / 25 + a * 3));
            p[2] = static_cast<std::uint8_t>(127 + 127 * std::cos(a * 2));
        }
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(f) == 0;
}

// The demo playlist in the editor's own format: each effect from the program folder's Effekts,
// held for a number of kick-basses in the three ways the editor offers.
bool demoPlaylist(const fs::path& path) {
    namespace pl = korvella::playlist;
    auto effect = [](const char* name, const char* file) { return std::string(name) + "_\\Effekts\\" + file; };
    auto kicks = [](const char* keyword, int n) { return std::string(keyword) + std::to_string(n) + "_"; };
    const std::vector<std::string> lines = {
        effect("Puls", "Puls.swf"),         kicks(pl::kWaitKicks, 8),
        effect("Schritte", "Schritte.swf"), kicks(pl::kPauseKicks, 16),
        effect("Balken", "Balken.swf"),     kicks(pl::kStartStopKicks, 8),
        effect("Farbkreis", "Farbkreis.swf"), kicks(pl::kWaitKicks, 8),
        effect("Ringe.jpg", "Ringe.jpg"),   kicks(pl::kWaitKicks, 8),
    };
    try {
        platform::writeTextLines(path.string(), lines);
        return true;
    } catch (const platform::VbError& e) {
        std::cerr << "cannot write " << path << ": " << e.description() << "\n";
        return false;
    }
}

// The groove the end-to-end tests count: 120 kick-basses a minute over a bass line and hi-hats.
bool demoTrack(const fs::path& path) {
    korvella_test::TrackSpec spec;
    spec.seconds = 60;
    const korvella_test::Track track = korvella_test::makeTrack(spec);
    std::string error;
    if (platform::writeSoundFile(path.string(), track.samples, 1, track.rate, &error)) return true;
    std::cerr << error << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
        return 2;
    }
    const fs::path out(argv[1]);
    std::error_code ec;
    fs::create_directories(out / "Dimmer", ec);
    fs::create_directories(out / "Effekts", ec);
    bool ok = true;
    for (int n = 0; n <= 25; ++n) ok &= save(out / "Dimmer" / (std::to_string(n) + ".swf"), dimmer(n));
    ok &= save(out / "Effekts" / "Puls.swf", pulse());
    ok &= save(out / "Effekts" / "Balken.swf", bars());
    ok &= save(out / "Effekts" / "Farbkreis.swf", sweep());
    ok &= save(out / "Effekts" / "Schritte.swf", steps());
    ok &= picture(out / "Effekts" / "Ringe.jpg");
    ok &= demoPlaylist(out / "Demo.bpl");
    ok &= demoTrack(out / "Demo.flac");
    return ok ? 0 : 1;
}
