// Helpers of the player tests: a scratch folder, pictures written with the same libraries the
// player reads them with, and small movies.
#pragma once
#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/graphics/graphics.h"
#include "player/swf_writer.h"

namespace player::test {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/korvella-player-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const Bytes& bytes) const {
        const auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

private:
    std::filesystem::path path_;
};

inline Bytes readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One solid BGRA picture as PNG.
inline Bytes pngBytes(int w, int h, std::uint32_t argb) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, argb);
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&img, nullptr, &size, 0, px.data(), 0, nullptr);
    Bytes out(size);
    png_image_write_to_memory(&img, out.data(), &size, 0, px.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// A JPEG of w x h pixels, rgb(x, y) giving each pixel's red, green and blue.
inline Bytes jpegBytes(int w, int h, const std::function<std::array<std::uint8_t, 3>(int, int)>& rgb) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buf, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < w; ++x) {
            const auto c = rgb(x, y);
            std::copy(c.begin(), c.end(), row.begin() + x * 3);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buf, buf + size);
    std::free(buf);
    return out;
}

inline Bytes jpegBytes(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return jpegBytes(w, h, [=](int, int) { return std::array<std::uint8_t, 3>{r, g, b}; });
}

// A 24-bit bottom-up BMP; colours &HBBGGRR row by row from the top.
inline Bytes bmpBytes(int w, int h, const std::vector<std::uint32_t>& colours) {
    const int rowSize = (w * 3 + 3) & ~3;
    const std::uint32_t dataSize = rowSize * h, fileSize = 54 + dataSize;
    Bytes out(fileSize, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, fileSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    out[26] = 1;
    out[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colours[static_cast<std::size_t>(h - 1 - y) * w + x];
            std::uint8_t* p = out.data() + 54 + y * rowSize + x * 3;
            p[0] = static_cast<std::uint8_t>(c >> 16);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c);
        }
    return out;
}

inline Bytes bmpBytes(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return bmpBytes(w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, r | (g << 8) | (b << 16)));
}

struct GifFrame {
    int delayCs;                      // hundredths of a second
    std::vector<std::uint8_t> index;  // w * h palette indexes
    int transparent = -1;
};

// A GIF with a 4-colour palette: 0 white, 1 red, 2 green, 3 blue.
inline Bytes gifBytes(int w, int h, const std::vector<GifFrame>& frames) {
    Bytes out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, [](GifFileType* g, const GifByteType* data, int len) {
        auto* o = static_cast<Bytes*>(g->UserData);
        o->insert(o->end(), data, data + len);
        return len;
    }, &err);
    GifColorType colours[4] = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 2, 0, map);
    for (const auto& f : frames) {
        GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, f.delayCs, f.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        for (int y = 0; y < h; ++y)
            EGifPutLine(gif, const_cast<GifPixelType*>(f.index.data() + static_cast<std::size_t>(y) * w), w);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

inline GifFrame solidGifFrame(int w, int h, std::uint8_t index, int delayCs, int transparent = -1) {
    return {delayCs, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h, index), transparent};
}

// A movie of the given frame count: one full-stage rectangle of the colour; each frame may stop.
inline Bytes simpleMovie(int frames, double rate, Rgba colour = {255, 0, 0, 255}, bool stopEachFrame = false,
                         int stageW = 400, int stageH = 300) {
    SwfWriter w(stageW, stageH, rate);
    const int id = w.defineRect(0, 0, stageW * 20, stageH * 20, colour);
    w.place(1, id);
    for (int f = 0; f < frames; ++f) {
        if (stopEachFrame) w.stop();
        w.showFrame();
    }
    return w.finish();
}

inline std::uint32_t px(const platform::Bitmap& b, int x, int y) { return b.pixel(x, y); }

// &HBBGGRR from channels.
constexpr std::uint32_t rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) | (static_cast<std::uint32_t>(b) << 16);
}

}  // namespace player::test
