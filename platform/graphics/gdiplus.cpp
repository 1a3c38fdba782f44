#include "platform/graphics/gdiplus.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/error.h"
#include "platform/storage/files.h"

namespace korvella::gdiplus {

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::int32_t format = 0;
    int stride = 0;
    std::vector<std::uint8_t> bits;
    ColorPalette palette;
    // The lock in force, if any.
    bool locked = false;
    GpRect lockRect;
    std::uint32_t lockFlags = 0;
    std::int32_t lockFormat = 0;
    std::uint8_t* lockScan0 = nullptr;
    std::int32_t lockStride = 0;
    std::vector<std::uint8_t> lent;
};

struct Fault {
    GpStatus status = Ok;
    int times = 0;
};

struct State {
    std::map<GpImage, Image> images;
    GpImage nextImage = 1;
    std::set<std::uintptr_t> tokens;
    std::uintptr_t nextToken = 0x1000;
    std::map<std::string, Fault> faults;
    bool gifAvailable = true;
    std::u16string gifMime = u"image/gif";
};

State& state() {
    static State s;
    return s;
}

constexpr std::size_t kMaxPixels = 256u << 20;

int bytesPerPixel(std::int32_t format) {
    switch (format) {
    case PixelFormat8bppIndexed: return 1;
    case PixelFormat24bppRGB: return 3;
    case PixelFormat32bppRGB: return 4;
    default: return 0;
    }
}

int strideFor(int width, std::int32_t format) { return (width * bytesPerPixel(format) + 3) & ~3; }

// A scripted failure, then the started check.
GpStatus enter(const char* function) {
    State& s = state();
    auto f = s.faults.find(function);
    if (f != s.faults.end() && f->second.times > 0) {
        const GpStatus status = f->second.status;
        if (--f->second.times == 0) s.faults.erase(f);
        return status;
    }
    return s.tokens.empty() ? GdiplusNotInitialized : Ok;
}

Image* find(GpImage handle) {
    auto it = state().images.find(handle);
    return it == state().images.end() ? nullptr : &it->second;
}

GpImage store(Image image) {
    State& s = state();
    const GpImage handle = s.nextImage++;
    s.images.emplace(handle, std::move(image));
    return handle;
}

Image makeImage(int width, int height, std::int32_t format) {
    Image img;
    img.width = width;
    img.height = height;
    img.format = format;
    img.stride = strideFor(width, format);
    img.bits.assign(static_cast<std::size_t>(img.stride) * height, 0);
    if (format == PixelFormat8bppIndexed) {
        img.palette.Count = 256;
        img.palette.Entries.fill(0xFF000000);
    }
    return img;
}

// Copies a rectangle between the bitmap's rows and another buffer's rows, converting between the
// 24- and 32-bit layouts (indexed only to indexed).
void copyRect(const std::uint8_t* from, int fromStride, std::int32_t fromFormat, std::uint8_t* to, int toStride,
              std::int32_t toFormat, int width, int height) {
    const int fb = bytesPerPixel(fromFormat), tb = bytesPerPixel(toFormat);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* f = from + static_cast<std::ptrdiff_t>(y) * fromStride;
        std::uint8_t* t = to + static_cast<std::ptrdiff_t>(y) * toStride;
        if (fb == tb) {
            std::memcpy(t, f, static_cast<std::size_t>(width) * fb);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            t[x * tb] = f[x * fb];
            t[x * tb + 1] = f[x * fb + 1];
            t[x * tb + 2] = f[x * fb + 2];
            if (tb == 4) t[x * tb + 3] = 0xFF;
        }
    }
}

bool convertible(std::int32_t from, std::int32_t to) {
    if (from == to) return bytesPerPixel(from) != 0;
    const auto rgb = [](std::int32_t f) { return f == PixelFormat24bppRGB || f == PixelFormat32bppRGB; };
    return rgb(from) && rgb(to);
}

std::string utf8Of(const char16_t* text) {
    std::string out;
    for (std::size_t i = 0; text[i]; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// ---- GIF encoder ----

const CLSID kGifEncoder{{0x02, 0xF4, 0x7C, 0x55, 0x04, 0x1A, 0xD3, 0x11, 0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kGifFormat{{0x6A, 0xE2, 0xB3, 0xB9, 0x8E, 0x72, 0xD3, 0x11, 0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The picture as a GIF89a: one colour table of the palette's size rounded up to a power of two,
// the first entry with alpha 0 (when the palette says its entries carry alpha) as the
// transparent colour, one image.
bool encodeGif(const Image& img, std::vector<std::uint8_t>& out) {
    int error = 0;
    GifFileType* raw = EGifOpen(&out, appendBytes, &error);
    if (!raw) return false;
    std::unique_ptr<GifFileType, GifCloser> gif(raw);
    EGifSetGifVersion(gif.get(), true);

    const int count = static_cast<int>(std::clamp<std::uint32_t>(img.palette.Count, 1, 256));
    int tableSize = 2;
    while (tableSize < count) tableSize *= 2;
    std::unique_ptr<ColorMapObject, MapFree> map(GifMakeMapObject(tableSize, nullptr));
    if (!map) return false;
    int transparent = -1;
    for (int i = 0; i < tableSize; ++i) {
        const std::uint32_t e = i < count ? img.palette.Entries[i] : 0;
        map->Colors[i].Red = static_cast<GifByteType>(e >> 16);
        map->Colors[i].Green = static_cast<GifByteType>(e >> 8);
        map->Colors[i].Blue = static_cast<GifByteType>(e);
        if (transparent < 0 && i < count && (img.palette.Flags & PaletteFlagsHasAlpha) && (e >> 24) == 0) transparent = i;
    }
    if (EGifPutScreenDesc(gif.get(), img.width, img.height, 8, 0, map.get()) == GIF_ERROR) return false;
    if (transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.UserInputFlag = false;
        gcb.DelayTime = 0;
        gcb.TransparentColor = transparent;
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_ERROR) return false;
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, img.width, img.height, false, nullptr) == GIF_ERROR) return false;
    std::vector<GifPixelType> line(static_cast<std::size_t>(img.width));
    for (int y = 0; y < img.height; ++y) {
        const std::uint8_t* row = img.bits.data() + static_cast<std::size_t>(y) * img.stride;
        // An index beyond the colour table would make a broken file.
        for (int x = 0; x < img.width; ++x) line[x] = static_cast<GifPixelType>(std::min<int>(row[x], tableSize - 1));
        if (EGifPutLine(gif.get(), line.data(), img.width) == GIF_ERROR) return false;
    }
    GifFileType* done = gif.release();
    return EGifCloseFile(done, &error) == GIF_OK;
}

struct EncoderTexts {
    std::u16string codecName = u"Built-in GIF Codec";
    std::u16string description = u"GIF";
    std::u16string extension = u"*.GIF";
};

std::size_t textBytes(const std::u16string& s) { return (s.size() + 1) * sizeof(char16_t); }

std::uint32_t encodersSize() {
    const State& s = state();
    if (!s.gifAvailable) return 0;
    EncoderTexts t;
    return static_cast<std::uint32_t>(sizeof(ImageCodecInfo) + textBytes(t.codecName) + textBytes(t.description) +
                                      textBytes(t.extension) + textBytes(s.gifMime) + 2 * 6 /* two signatures */ +
                                      2 * 6 /* their masks */);
}

}  // namespace

CLSID gifEncoderClsid() { return kGifEncoder; }

GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* /*output*/) {
    State& s = state();
    auto f = s.faults.find("GdiplusStartup");
    if (f != s.faults.end() && f->second.times > 0) {
        const GpStatus status = f->second.status;
        if (--f->second.times == 0) s.faults.erase(f);
        return status;
    }
    if (!token || !input) return InvalidParameter;
    if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
    *token = s.nextToken++;
    s.tokens.insert(*token);
    return Ok;
}

void GdiplusShutdown(std::uintptr_t token) {
    State& s = state();
    if (s.tokens.erase(token) && s.tokens.empty()) s.images.clear();
}

GpStatus GdipCreateBitmapFromHBITMAP(const platform::Bitmap* hbm, void* /*hpal*/, GpImage* bitmap) {
    if (GpStatus st = enter("GdipCreateBitmapFromHBITMAP")) return st;
    if (!bitmap || !hbm || hbm->empty()) return InvalidParameter;
    Image img = makeImage(hbm->width(), hbm->height(), PixelFormat32bppRGB);
    for (int y = 0; y < img.height; ++y) {
        std::uint8_t* row = img.bits.data() + static_cast<std::size_t>(y) * img.stride;
        for (int x = 0; x < img.width; ++x) {
            const std::uint32_t c = hbm->pixel(x, y);
            row[4 * x] = static_cast<std::uint8_t>(c >> 16);
            row[4 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[4 * x + 2] = static_cast<std::uint8_t>(c);
            row[4 * x + 3] = 0xFF;
        }
    }
    *bitmap = store(std::move(img));
    return Ok;
}

GpStatus GdipGetImageDimension(GpImage image, float* width, float* height) {
    if (GpStatus st = enter("GdipGetImageDimension")) return st;
    const Image* img = find(image);
    if (!img || !width || !height) return InvalidParameter;
    *width = static_cast<float>(img->width);
    *height = static_cast<float>(img->height);
    return Ok;
}

GpStatus GdipCloneBitmapArea(float x, float y, float width, float height, std::int32_t format, GpImage src,
                             GpImage* dst) {
    if (GpStatus st = enter("GdipCloneBitmapArea")) return st;
    const Image* from = find(src);
    if (!from || !dst) return InvalidParameter;
    if (format != PixelFormat24bppRGB && format != PixelFormat32bppRGB) return InvalidParameter;
    if (!convertible(from->format, format)) return InvalidParameter;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height)) return InvalidParameter;
    const long long ix = std::lround(x), iy = std::lround(y), w = std::lround(width), h = std::lround(height);
    if (w <= 0 || h <= 0 || ix < 0 || iy < 0 || ix + w > from->width || iy + h > from->height) return InvalidParameter;
    Image img = makeImage(static_cast<int>(w), static_cast<int>(h), format);
    const int fb = bytesPerPixel(from->format);
    copyRect(from->bits.data() + iy * from->stride + ix * fb, from->stride, from->format, img.bits.data(), img.stride,
             format, img.width, img.height);
    *dst = store(std::move(img));
    return Ok;
}

GpStatus GdipBitmapLockBits(GpImage bitmap, const GpRect* rect, std::uint32_t flags, std::int32_t format,
                            BitmapData* locked) {
    if (GpStatus st = enter("GdipBitmapLockBits")) return st;
    Image* img = find(bitmap);
    if (!img || !locked) return InvalidParameter;
    if (img->locked) return ObjectBusy;
    const GpRect r = rect ? *rect : GpRect{0, 0, img->width, img->height};
    if (r.Width <= 0 || r.Height <= 0 || r.X < 0 || r.Y < 0 || r.X + r.Width > img->width || r.Y + r.Height > img->height)
        return InvalidParameter;
    if (!(flags & (ImageLockModeRead | ImageLockModeWrite))) return InvalidParameter;
    if (!convertible(img->format, format)) return InvalidParameter;
    const int rowBytes = r.Width * bytesPerPixel(format);

    std::uint8_t* scan0 = nullptr;
    std::int32_t stride = 0;
    if (flags & ImageLockModeUserInputBuf) {
        scan0 = static_cast<std::uint8_t*>(locked->Scan0);
        stride = locked->Stride;
        if (!scan0 || std::abs(stride) < rowBytes) return InvalidParameter;
    } else {
        stride = (rowBytes + 3) & ~3;
        img->lent.assign(static_cast<std::size_t>(stride) * r.Height, 0);
        scan0 = img->lent.data();
    }
    if (flags & ImageLockModeRead) {
        const int fb = bytesPerPixel(img->format);
        copyRect(img->bits.data() + static_cast<std::size_t>(r.Y) * img->stride + static_cast<std::size_t>(r.X) * fb,
                 img->stride, img->format, scan0, stride, format, r.Width, r.Height);
    }
    img->locked = true;
    img->lockRect = r;
    img->lockFlags = flags;
    img->lockFormat = format;
    img->lockScan0 = scan0;
    img->lockStride = stride;
    locked->Width = static_cast<std::uint32_t>(r.Width);
    locked->Height = static_cast<std::uint32_t>(r.Height);
    locked->Stride = stride;
    locked->PixelFormat = format;
    locked->Scan0 = scan0;
    return Ok;
}

GpStatus GdipBitmapUnlockBits(GpImage bitmap, BitmapData* locked) {
    if (GpStatus st = enter("GdipBitmapUnlockBits")) return st;
    Image* img = find(bitmap);
    if (!img || !locked) return InvalidParameter;
    if (!img->locked) return WrongState;
    if (img->lockFlags & ImageLockModeWrite) {
        const GpRect& r = img->lockRect;
        const int fb = bytesPerPixel(img->format);
        copyRect(img->lockScan0, img->lockStride, img->lockFormat,
                 img->bits.data() + static_cast<std::size_t>(r.Y) * img->stride + static_cast<std::size_t>(r.X) * fb,
                 img->stride, img->format, r.Width, r.Height);
    }
    img->locked = false;
    img->lockScan0 = nullptr;
    img->lent.clear();
    return Ok;
}

GpStatus GdipCreateBitmapFromScan0(std::int32_t width, std::int32_t height, std::int32_t stride, std::int32_t format,
                                   std::uint8_t* scan0, GpImage* bitmap) {
    if (GpStatus st = enter("GdipCreateBitmapFromScan0")) return st;
    if (!bitmap || width <= 0 || height <= 0 || stride != 0 || scan0 || bytesPerPixel(format) == 0) return InvalidParameter;
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > kMaxPixels) return OutOfMemory;
    *bitmap = store(makeImage(width, height, format));
    return Ok;
}

GpStatus GdipSetImagePalette(GpImage image, const ColorPalette* palette) {
    if (GpStatus st = enter("GdipSetImagePalette")) return st;
    Image* img = find(image);
    if (!img || !palette || img->format != PixelFormat8bppIndexed) return InvalidParameter;
    if (palette->Count < 1 || palette->Count > 256) return InvalidParameter;
    img->palette = *palette;
    return Ok;
}

GpStatus GdipGetImageEncodersSize(std::uint32_t* numEncoders, std::uint32_t* size) {
    if (GpStatus st = enter("GdipGetImageEncodersSize")) return st;
    if (!numEncoders || !size) return InvalidParameter;
    *numEncoders = state().gifAvailable ? 1 : 0;
    *size = encodersSize();
    return Ok;
}

GpStatus GdipGetImageEncoders(std::uint32_t numEncoders, std::uint32_t size, void* buffer) {
    if (GpStatus st = enter("GdipGetImageEncoders")) return st;
    const State& s = state();
    const std::uint32_t have = s.gifAvailable ? 1 : 0;
    if (!buffer || numEncoders != have) return InvalidParameter;
    if (size < encodersSize()) return InsufficientBuffer;
    if (have == 0) return Ok;

    auto* base = static_cast<std::uint8_t*>(buffer);
    std::size_t at = sizeof(ImageCodecInfo);
    auto putText = [&](const std::u16string& text) {
        auto* p = reinterpret_cast<char16_t*>(base + at);
        std::memcpy(p, text.c_str(), textBytes(text));
        at += textBytes(text);
        return static_cast<const char16_t*>(p);
    };
    EncoderTexts t;
    ImageCodecInfo info{};
    info.Clsid = kGifEncoder;
    info.FormatID = kGifFormat;
    info.CodecName = putText(t.codecName);
    info.FormatDescription = putText(t.description);
    info.FilenameExtension = putText(t.extension);
    info.MimeType = putText(s.gifMime);
    info.Flags = 0x00010007;  // built in, encoder, decoder, supports bitmap
    info.Version = 1;
    info.SigCount = 2;
    info.SigSize = 6;
    static const std::uint8_t patterns[12] = {'G', 'I', 'F', '8', '9', 'a', 'G', 'I', 'F', '8', '7', 'a'};
    std::memcpy(base + at, patterns, sizeof patterns);
    info.SigPattern = base + at;
    at += sizeof patterns;
    std::memset(base + at, 0xFF, 12);
    info.SigMask = base + at;
    std::memcpy(base, &info, sizeof info);
    return Ok;
}

GpStatus GdipSaveImageToFile(GpImage image, const char16_t* filename, const CLSID* encoder, const void* /*params*/) {
    if (GpStatus st = enter("GdipSaveImageToFile")) return st;
    const Image* img = find(image);
    if (!img || !filename || !encoder) return InvalidParameter;
    if (!state().gifAvailable || !(*encoder == kGifEncoder)) return UnknownImageFormat;
    if (img->locked) return ObjectBusy;
    if (img->format != PixelFormat8bppIndexed) return NotImplemented;
    std::vector<std::uint8_t> bytes;
    if (!encodeGif(*img, bytes)) return GenericError;
    try {
        platform::writeFileBytes(utf8Of(filename), bytes);
    } catch (const platform::VbError& e) {
        switch (e.number()) {
        case 70:
        case 75: return AccessDenied;
        case 53:
        case 76: return FileNotFound;
        default: return Win32Error;  // a full disk (61) among them
        }
    }
    return Ok;
}

GpStatus GdipDisposeImage(GpImage image) {
    if (GpStatus st = enter("GdipDisposeImage")) return st;
    if (!state().images.erase(image)) return InvalidParameter;
    return Ok;
}

void resetForTests() { state() = State{}; }

void failCall(const std::string& function, GpStatus status, int times) {
    if (times > 0) state().faults[function] = Fault{status, times};
}

void setGifEncoderAvailable(bool available) { state().gifAvailable = available; }
void setGifMimeType(const std::u16string& mime) { state().gifMime = mime; }
bool started() { return !state().tokens.empty(); }
int liveImages() { return static_cast<int>(state().images.size()); }

}  // namespace korvella::gdiplus
