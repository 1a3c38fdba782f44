// The graphics library steps the mask export walks through, as status-returning calls: start-up
// and shut-down, bitmaps from a picture box image, an area clone, bit locking with the caller's
// buffer, 8-bit palettes, the list of image encoders and saving through one of them. The one
// encoder is GIF (written with giflib); a palette entry with alpha 0 becomes the GIF's
// transparent colour.
//
// Every call but GdiplusStartup answers GdiplusNotInitialized while the library is not started.
// Images are numbered handles; 0 and unknown numbers are InvalidParameter, never a crash.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/graphics/graphics.h"

namespace korvella::gdiplus {

using GpStatus = std::int32_t;
inline constexpr GpStatus Ok = 0;
inline constexpr GpStatus GenericError = 1;
inline constexpr GpStatus InvalidParameter = 2;
inline constexpr GpStatus OutOfMemory = 3;
inline constexpr GpStatus ObjectBusy = 4;
inline constexpr GpStatus InsufficientBuffer = 5;
inline constexpr GpStatus NotImplemented = 6;
inline constexpr GpStatus Win32Error = 7;
inline constexpr GpStatus WrongState = 8;
inline constexpr GpStatus Aborted = 9;
inline constexpr GpStatus FileNotFound = 10;
inline constexpr GpStatus ValueOverflow = 11;
inline constexpr GpStatus AccessDenied = 12;
inline constexpr GpStatus UnknownImageFormat = 13;
inline constexpr GpStatus UnsupportedGdiplusVersion = 17;
inline constexpr GpStatus GdiplusNotInitialized = 18;

inline constexpr std::int32_t PixelFormat8bppIndexed = 0x30803;
inline constexpr std::int32_t PixelFormat24bppRGB = 0x21808;
inline constexpr std::int32_t PixelFormat32bppRGB = 0x22009;

inline constexpr std::uint32_t ImageLockModeRead = 1;
inline constexpr std::uint32_t ImageLockModeWrite = 2;
inline constexpr std::uint32_t ImageLockModeUserInputBuf = 4;

inline constexpr std::uint32_t PaletteFlagsHasAlpha = 1;

// An image (bitmap) handle; 0 is none.
using GpImage = std::uint32_t;

struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    std::int32_t SuppressBackgroundThread = 0;
    std::int32_t SuppressExternalCodecs = 0;
};

struct GpRect {
    std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

struct BitmapData {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::int32_t Stride = 0;
    std::int32_t PixelFormat = 0;
    void* Scan0 = nullptr;
    std::uintptr_t Reserved = 0;
};

struct ColorPalette {
    std::uint32_t Flags = 0;
    std::uint32_t Count = 0;
    std::array<std::uint32_t, 256> Entries{};  // 0xAARRGGBB: byte 0 blue, 1 green, 2 red, 3 alpha
};

struct CLSID {
    std::array<std::uint8_t, 16> bytes;
    bool operator==(const CLSID&) const = default;
};

// One encoder's description. GdipGetImageEncoders writes the records one after another, followed
// by the texts they point to.
struct ImageCodecInfo {
    CLSID Clsid;
    CLSID FormatID;
    const char16_t* CodecName;
    const char16_t* DllName;
    const char16_t* FormatDescription;
    const char16_t* FilenameExtension;
    const char16_t* MimeType;
    std::uint32_t Flags;
    std::uint32_t Version;
    std::uint32_t SigCount;
    std::uint32_t SigSize;
    const std::uint8_t* SigPattern;
    const std::uint8_t* SigMask;
};

// The GIF encoder's class identifier.
CLSID gifEncoderClsid();

// Version 1 only (else UnsupportedGdiplusVersion). Starting again while started is allowed; each
// start gives its own token, and the library stops when the last one is shut down.
GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(std::uintptr_t token);

// A 32-bit copy of the bitmap; an empty bitmap is InvalidParameter.
GpStatus GdipCreateBitmapFromHBITMAP(const platform::Bitmap* hbm, void* hpal, GpImage* bitmap);
GpStatus GdipGetImageDimension(GpImage image, float* width, float* height);
// The area must lie inside the source; formats 24-bit RGB and 32-bit RGB.
GpStatus GdipCloneBitmapArea(float x, float y, float width, float height, std::int32_t format, GpImage src,
                             GpImage* dst);
// With ImageLockModeUserInputBuf the caller's Scan0 and Stride are used: read mode fills the
// buffer now, write mode takes it back at the unlock. Without it the library lends a buffer.
// The lock format must be the bitmap's own, or 24-bit RGB from a 32-bit bitmap.
GpStatus GdipBitmapLockBits(GpImage bitmap, const GpRect* rect, std::uint32_t flags, std::int32_t format,
                            BitmapData* locked);
GpStatus GdipBitmapUnlockBits(GpImage bitmap, BitmapData* locked);
// Stride and scan0 must be 0 and null (a zeroed bitmap is made); a side of 0 or less is
// InvalidParameter, more than 256 M pixels OutOfMemory.
GpStatus GdipCreateBitmapFromScan0(std::int32_t width, std::int32_t height, std::int32_t stride, std::int32_t format,
                                   std::uint8_t* scan0, GpImage* bitmap);
// Indexed bitmaps only; Count from 1 to 256.
GpStatus GdipSetImagePalette(GpImage image, const ColorPalette* palette);
GpStatus GdipGetImageEncodersSize(std::uint32_t* numEncoders, std::uint32_t* size);
// buffer must hold at least the size GdipGetImageEncodersSize gave (else InsufficientBuffer).
GpStatus GdipGetImageEncoders(std::uint32_t numEncoders, std::uint32_t size, void* buffer);
// Writes through the encoder (UnknownImageFormat for an unknown one); 8-bit indexed images only
// (else NotImplemented). The file is replaced whole or not at all: a folder that refuses the
// write is AccessDenied, a missing folder FileNotFound, a full disk or another failure Win32Error.
GpStatus GdipSaveImageToFile(GpImage image, const char16_t* filename, const CLSID* encoder, const void* params);
GpStatus GdipDisposeImage(GpImage image);

// For tests: forget every image and token; make the next `times` calls of a named function
// ("GdipCloneBitmapArea", "GdiplusStartup", ...) answer a status; hide the GIF encoder or give it
// another MIME type text.
void resetForTests();
void failCall(const std::string& function, GpStatus status, int times = 1);
void setGifEncoderAvailable(bool available);
void setGifMimeType(const std::u16string& mime);
bool started();
int liveImages();

}  // namespace korvella::gdiplus
