#include "player/picture.h"

#include <gif_lib.h>
#include <png.h>

#include <QImage>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "player/content.h"

namespace player {

namespace {

bool sizeAllowed(long long w, long long h) {
    return w > 0 && h > 0 && w <= PictureLimits::kMaxSide && h <= PictureLimits::kMaxSide &&
           static_cast<std::size_t>(w * h) <= PictureLimits::kMaxPixels;
}

bool allOpaque(const std::vector<std::uint32_t>& px) {
    return std::all_of(px.begin(), px.end(), [](std::uint32_t p) { return (p >> 24) == 0xFF; });
}

std::optional<Picture> fail(std::string* problem, const std::string& why) {
    if (problem) *problem = why;
    return std::nullopt;
}

// ---- PNG (libpng's simplified reader) ----

std::optional<Picture> decodePng(const std::uint8_t* data, std::size_t size, std::string* problem) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data, size)) return fail(problem, std::string("PNG: ") + img.message);
    if (!sizeAllowed(img.width, img.height)) {
        png_image_free(&img);
        return fail(problem, "PNG: picture too large");
    }
    img.format = PNG_FORMAT_BGRA;
    Picture pic;
    pic.width = static_cast<int>(img.width);
    pic.height = static_cast<int>(img.height);
    PictureFrame frame;
    frame.pixels.resize(static_cast<std::size_t>(pic.width) * pic.height);
    if (!png_image_finish_read(&img, nullptr, frame.pixels.data(), 0, nullptr)) {
        const std::string why = std::string("PNG: ") + img.message;
        png_image_free(&img);
        return fail(problem, why);
    }
    png_image_free(&img);
    frame.opaque = allOpaque(frame.pixels);
    pic.frames.push_back(std::move(frame));
    return pic;
}

// ---- JPEG (libjpeg) ----

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

// Progressive files with thousands of scans take ages to decode; no real picture has that many.
void jpegProgress(j_common_ptr info) {
    if (!info->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > 200) {
        auto* err = reinterpret_cast<JpegError*>(info->err);
        std::snprintf(err->message, sizeof err->message, "too many scans");
        std::longjmp(err->jump, 1);
    }
}

// Everything that lives across the long jump sits in this block, not in registers.
struct JpegJob {
    jpeg_decompress_struct info;
    JpegError err;
    jpeg_progress_mgr progress;
    Picture pic;
    std::vector<std::uint8_t> row;
    bool cmyk = false;
};

bool runJpeg(JpegJob& job, const std::uint8_t* data, std::size_t size) {
    job.info.err = jpeg_std_error(&job.err.mgr);
    job.err.mgr.error_exit = jpegFail;
    job.err.mgr.emit_message = jpegQuiet;
    job.err.message[0] = 0;
    if (setjmp(job.err.jump)) {
        jpeg_destroy_decompress(&job.info);
        return false;
    }
    jpeg_create_decompress(&job.info);
    job.progress.progress_monitor = jpegProgress;
    job.info.progress = &job.progress;
    job.info.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&job.info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&job.info, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(job.err.message, sizeof job.err.message, "no picture in the file");
        jpeg_destroy_decompress(&job.info);
        return false;
    }
    if (!sizeAllowed(job.info.image_width, job.info.image_height)) {
        std::snprintf(job.err.message, sizeof job.err.message, "picture too large");
        jpeg_destroy_decompress(&job.info);
        return false;
    }
    job.cmyk = job.info.jpeg_color_space == JCS_CMYK || job.info.jpeg_color_space == JCS_YCCK;
    job.info.out_color_space = job.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&job.info);
    const int w = static_cast<int>(job.info.output_width), h = static_cast<int>(job.info.output_height);
    job.pic.width = w;
    job.pic.height = h;
    job.pic.frames.resize(1);
    auto& px = job.pic.frames[0].pixels;
    px.assign(static_cast<std::size_t>(w) * h, 0xFF000000u);
    job.row.resize(static_cast<std::size_t>(w) * 4);
    while (job.info.output_scanline < job.info.output_height) {
        JSAMPROW rows[1] = {job.row.data()};
        const int y = static_cast<int>(job.info.output_scanline);
        if (jpeg_read_scanlines(&job.info, rows, 1) != 1) break;
        std::uint32_t* out = px.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* s = job.row.data() + x * 4;
            if (job.cmyk) {
                // Adobe writes CMYK inverted: each value is already 255 minus the ink.
                const unsigned k = s[3];
                const unsigned r = s[0] * k / 255, g = s[1] * k / 255, b = s[2] * k / 255;
                out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
            } else {
                out[x] = 0xFF000000u | (s[2] << 16) | (s[1] << 8) | s[0];
            }
        }
    }
    jpeg_finish_decompress(&job.info);
    jpeg_destroy_decompress(&job.info);
    return true;
}

std::optional<Picture> decodeJpeg(const std::uint8_t* data, std::size_t size, std::string* problem) {
    auto job = std::make_unique<JpegJob>();
    if (!runJpeg(*job, data, size)) return fail(problem, std::string("JPEG: ") + job->err.message);
    return std::move(job->pic);
}

// ---- BMP (Qt's reader) ----

std::uint32_t le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }

std::optional<Picture> decodeBmp(const std::uint8_t* data, std::size_t size, std::string* problem) {
    // Check the declared size first, so that a forged header allocates nothing.
    if (size < 26) return fail(problem, "BMP: header cut short");
    const std::uint32_t headerSize = le32(data + 14);
    long long w = 0, h = 0;
    if (headerSize == 12) {
        w = data[18] | (data[19] << 8);
        h = data[20] | (data[21] << 8);
    } else {
        w = static_cast<std::int32_t>(le32(data + 18));
        h = static_cast<std::int32_t>(le32(data + 22));
    }
    if (!sizeAllowed(std::llabs(w), std::llabs(h))) return fail(problem, "BMP: picture size out of range");
    QImage img;
    if (!img.loadFromData(data, static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF)), "BMP") || img.isNull())
        return fail(problem, "BMP: cannot decode");
    img = img.convertToFormat(QImage::Format_ARGB32);
    Picture pic;
    pic.width = img.width();
    pic.height = img.height();
    PictureFrame frame;
    frame.pixels.resize(static_cast<std::size_t>(pic.width) * pic.height);
    for (int y = 0; y < pic.height; ++y)
        std::memcpy(frame.pixels.data() + static_cast<std::size_t>(y) * pic.width, img.constScanLine(y),
                    static_cast<std::size_t>(pic.width) * 4);
    frame.opaque = allOpaque(frame.pixels);
    pic.frames.push_back(std::move(frame));
    return pic;
}

// ---- GIF (giflib), every frame composed onto the logical screen ----

struct GifSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

int gifRead(GifFileType* gif, GifByteType* buf, int len) {
    auto* src = static_cast<GifSource*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(len, 0)), src->size - src->pos);
    std::memcpy(buf, src->data + src->pos, n);
    src->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int err = 0;
        DGifCloseFile(gif, &err);
    }
};

std::optional<Picture> decodeGif(const std::uint8_t* data, std::size_t size, std::string* problem) {
    GifSource src{data, size};
    int err = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&src, gifRead, &err));
    if (!gif) return fail(problem, std::string("GIF: ") + (GifErrorString(err) ? GifErrorString(err) : "cannot open"));
    const int width = gif->SWidth, height = gif->SHeight;
    if (!sizeAllowed(width, height)) return fail(problem, "GIF: picture size out of range");

    Picture pic;
    pic.width = width;
    pic.height = height;
    const std::size_t area = static_cast<std::size_t>(width) * height;
    std::vector<std::uint32_t> canvas(area, 0), saved;
    std::vector<GifByteType> raster;
    GraphicsControlBlock gcb{0, false, 0, NO_TRANSPARENT_COLOR};
    std::string why;

    for (bool done = false; !done;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            why = "data cut short";
            break;
        }
        switch (type) {
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) {
                done = true;
                break;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) DGifExtensionToGCB(ext[0], ext + 1, &gcb);
            while (ext) {
                if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR) {
                    done = true;
                    break;
                }
            }
            break;
        }
        case IMAGE_DESC_RECORD_TYPE: {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
                done = true;
                break;
            }
            const GifImageDesc& d = gif->Image;
            const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
            if (d.Width <= 0 || d.Height <= 0 || !sizeAllowed(d.Width, d.Height)) {
                why = "frame size out of range";
                done = true;
                break;
            }
            raster.assign(static_cast<std::size_t>(d.Width) * d.Height, 0);
            std::vector<bool> rowRead(d.Height, false);
            bool cut = false;
            auto readRow = [&](int y) {
                if (cut) return;
                if (DGifGetLine(gif.get(), raster.data() + static_cast<std::size_t>(y) * d.Width, d.Width) == GIF_ERROR)
                    cut = true;
                else
                    rowRead[y] = true;
            };
            if (d.Interlace) {
                static const int start[4] = {0, 4, 2, 1}, stepBy[4] = {8, 8, 4, 2};
                for (int pass = 0; pass < 4; ++pass)
                    for (int y = start[pass]; y < d.Height; y += stepBy[pass]) readRow(y);
            } else {
                for (int y = 0; y < d.Height; ++y) readRow(y);
            }
            if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
            // Draw the frame's opaque pixels onto the screen; rows lost to a cut file stay as they were.
            for (int y = 0; y < d.Height; ++y) {
                const long long sy = static_cast<long long>(d.Top) + y;
                if (!rowRead[y] || sy < 0 || sy >= height) continue;
                for (int x = 0; x < d.Width; ++x) {
                    const long long sx = static_cast<long long>(d.Left) + x;
                    if (sx < 0 || sx >= width) continue;
                    const int index = raster[static_cast<std::size_t>(y) * d.Width + x];
                    if (index == gcb.TransparentColor || !map || index >= map->ColorCount) continue;
                    const GifColorType& c = map->Colors[index];
                    canvas[static_cast<std::size_t>(sy) * width + sx] =
                        0xFF000000u | (c.Red << 16) | (c.Green << 8) | c.Blue;
                }
            }
            PictureFrame frame;
            frame.pixels = canvas;
            frame.delayMs = gcb.DelayTime <= 1 ? 100 : gcb.DelayTime * 10;  // as browsers do
            frame.opaque = allOpaque(frame.pixels);
            pic.frames.push_back(std::move(frame));
            // Prepare the screen for the next frame.
            if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
                for (int y = std::max(0, d.Top); y < std::min(height, d.Top + d.Height); ++y)
                    for (int x = std::max(0, d.Left); x < std::min(width, d.Left + d.Width); ++x)
                        canvas[static_cast<std::size_t>(y) * width + x] = 0;
            } else if (gcb.DisposalMode == DISPOSE_PREVIOUS && saved.size() == canvas.size()) {
                canvas = saved;
            }
            gcb = {0, false, 0, NO_TRANSPARENT_COLOR};
            if (cut) {
                why = "data cut short";
                done = true;
            }
            if (static_cast<int>(pic.frames.size()) >= PictureLimits::kMaxFrames ||
                pic.frames.size() * area * 4 >= PictureLimits::kMaxDecodedBytes)
                done = true;
            break;
        }
        case TERMINATE_RECORD_TYPE: done = true; break;
        default: done = true; break;
        }
    }
    if (pic.frames.empty()) return fail(problem, "GIF: no frame" + (why.empty() ? std::string() : " (" + why + ")"));
    return pic;
}

}  // namespace

std::optional<Picture> decodePicture(const std::uint8_t* data, std::size_t size, std::string* problem) {
    switch (detectContent(data, size)) {
    case ContentKind::Png: return decodePng(data, size, problem);
    case ContentKind::Jpeg: return decodeJpeg(data, size, problem);
    case ContentKind::Bmp: return decodeBmp(data, size, problem);
    case ContentKind::Gif: return decodeGif(data, size, problem);
    default: return fail(problem, "not a picture");
    }
}

}  // namespace player
