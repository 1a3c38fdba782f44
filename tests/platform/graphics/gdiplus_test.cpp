// The graphics-library steps behind the mask export: start-up, images, locks, palettes,
// encoders and saving, each answering a status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/graphics/gdiplus.h"
#include "platform/storage/files.h"
#include "player/picture.h"

using namespace korvella::gdiplus;

namespace {

class GdiPlusTest : public ::testing::Test {
protected:
    GdiPlusTest() {
        resetForTests();
        GdiplusStartupInput in;
        EXPECT_EQ(GdiplusStartup(&token, &in, nullptr), Ok);
        dir = std::filesystem::temp_directory_path() / ("korvella-gdiplus-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    ~GdiPlusTest() override {
        resetForTests();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    GpImage indexed(int w, int h, const std::vector<std::uint8_t>& rows, int stride) {
        GpImage img = 0;
        EXPECT_EQ(GdipCreateBitmapFromScan0(w, h, 0, PixelFormat8bppIndexed, nullptr, &img), Ok);
        BitmapData d;
        d.Stride = stride;
        d.Scan0 = const_cast<std::uint8_t*>(rows.data());
        const GpRect r{0, 0, w, h};
        EXPECT_EQ(GdipBitmapLockBits(img, &r, ImageLockModeWrite | ImageLockModeUserInputBuf, PixelFormat8bppIndexed, &d), Ok);
        EXPECT_EQ(GdipBitmapUnlockBits(img, &d), Ok);
        return img;
    }

    std::uintptr_t token = 0;
    std::filesystem::path dir;
};

TEST(GdiPlusStartup, TokensVersionsAndTheNotStartedState) {
    resetForTests();
    platform::Bitmap canvas(2, 2);
    GpImage img = 0;
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(&canvas, nullptr, &img), GdiplusNotInitialized);
    EXPECT_EQ(GdipDisposeImage(1), GdiplusNotInitialized);

    GdiplusStartupInput in;
    std::uintptr_t a = 0, b = 0;
    in.GdiplusVersion = 2;
    EXPECT_EQ(GdiplusStartup(&a, &in, nullptr), UnsupportedGdiplusVersion);
    EXPECT_EQ(GdiplusStartup(&a, nullptr, nullptr), InvalidParameter);
    EXPECT_FALSE(started());
    in.GdiplusVersion = 1;
    ASSERT_EQ(GdiplusStartup(&a, &in, nullptr), Ok);
    ASSERT_EQ(GdiplusStartup(&b, &in, nullptr), Ok);
    EXPECT_NE(a, b);
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(&canvas, nullptr, &img), Ok);
    GdiplusShutdown(a);
    EXPECT_TRUE(started());
    EXPECT_EQ(liveImages(), 1);
    GdiplusShutdown(12345);  // an unknown token changes nothing
    GdiplusShutdown(b);
    EXPECT_FALSE(started());
    EXPECT_EQ(liveImages(), 0);  // stopping drops what was left
    resetForTests();
}

TEST_F(GdiPlusTest, HandlesThatAreNoImagesAreInvalidParameters) {
    platform::Bitmap empty;
    GpImage img = 0;
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(&empty, nullptr, &img), InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(nullptr, nullptr, &img), InvalidParameter);
    EXPECT_EQ(GdipDisposeImage(0), InvalidParameter);
    float w = 0, h = 0;
    EXPECT_EQ(GdipGetImageDimension(777, &w, &h), InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromScan0(0, 5, 0, PixelFormat8bppIndexed, nullptr, &img), InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromScan0(5, 5, 0, 0x12345, nullptr, &img), InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromScan0(100000, 100000, 0, PixelFormat8bppIndexed, nullptr, &img), OutOfMemory);

    platform::Bitmap canvas(3, 2);
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(&canvas, nullptr, &img), Ok);
    EXPECT_EQ(GdipDisposeImage(img), Ok);
    EXPECT_EQ(GdipDisposeImage(img), InvalidParameter);
    EXPECT_EQ(liveImages(), 0);
}

TEST_F(GdiPlusTest, CloneAndReadLockGiveTheCanvasAsPaddedBgrRows) {
    platform::Bitmap canvas(5, 2);
    canvas.clear(0x030201);
    canvas.setPixel(4, 1, 0xCCBBAA);
    GpImage src = 0, clone = 0;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(&canvas, nullptr, &src), Ok);
    float w = 0, h = 0;
    ASSERT_EQ(GdipGetImageDimension(src, &w, &h), Ok);
    EXPECT_EQ(w, 5.0f);
    EXPECT_EQ(h, 2.0f);
    EXPECT_EQ(GdipCloneBitmapArea(0, 0, 6, 2, PixelFormat24bppRGB, src, &clone), InvalidParameter);
    EXPECT_EQ(GdipCloneBitmapArea(0, 0, 5, 2, PixelFormat8bppIndexed, src, &clone), InvalidParameter);
    ASSERT_EQ(GdipCloneBitmapArea(0, 0, w, h, PixelFormat24bppRGB, src, &clone), Ok);

    std::vector<std::uint8_t> buf(16 * 2, 0x77);
    BitmapData d;
    d.Stride = 16;
    d.Scan0 = buf.data();
    const GpRect all{0, 0, 5, 2};
    ASSERT_EQ(GdipBitmapLockBits(clone, &all, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat24bppRGB, &d), Ok);
    EXPECT_EQ(buf[0], 0x03);  // blue, green, red
    EXPECT_EQ(buf[1], 0x02);
    EXPECT_EQ(buf[2], 0x01);
    EXPECT_EQ(buf[16 + 12], 0xCC);
    EXPECT_EQ(buf[16 + 14], 0xAA);
    EXPECT_EQ(buf[15], 0x77);  // padding is the caller's
    BitmapData again = d;
    EXPECT_EQ(GdipBitmapLockBits(clone, &all, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat24bppRGB, &again),
              ObjectBusy);
    EXPECT_EQ(GdipBitmapUnlockBits(clone, &d), Ok);
    EXPECT_EQ(GdipBitmapUnlockBits(clone, &d), WrongState);

    BitmapData narrow;
    narrow.Stride = 14;  // fewer bytes than a row of five pixels
    narrow.Scan0 = buf.data();
    EXPECT_EQ(GdipBitmapLockBits(clone, &all, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat24bppRGB, &narrow),
              InvalidParameter);
    const GpRect outside{1, 0, 5, 2};
    EXPECT_EQ(GdipBitmapLockBits(clone, &outside, ImageLockModeRead, PixelFormat24bppRGB, &d), InvalidParameter);
    // Without a buffer of the caller's the library lends one.
    BitmapData lent;
    ASSERT_EQ(GdipBitmapLockBits(clone, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &lent), Ok);
    EXPECT_EQ(lent.Stride, 16);
    EXPECT_EQ(static_cast<const std::uint8_t*>(lent.Scan0)[16 + 13], 0xBB);
    EXPECT_EQ(GdipBitmapUnlockBits(clone, &lent), Ok);
}

TEST_F(GdiPlusTest, AnEntryWithAlphaZeroIsTransparentOnlyWhenThePaletteSaysSo) {
    // 3 x 2, stride 4: index 1 on the diagonal, padding bytes that must not show.
    const GpImage img = indexed(3, 2, {1, 0, 0, 9, 0, 1, 0, 9}, 4);
    ColorPalette pal;
    pal.Count = 2;
    pal.Entries[0] = 0x00FFFFFF;  // white, alpha 0
    pal.Entries[1] = 0xFF102030;
    const std::string file = (dir / "out.gif").string();
    const std::u16string wide(file.begin(), file.end());
    const CLSID gif = gifEncoderClsid();
    for (std::uint32_t flags : {PaletteFlagsHasAlpha, 0u}) {
        pal.Flags = flags;
        ASSERT_EQ(GdipSetImagePalette(img, &pal), Ok);
        ASSERT_EQ(GdipSaveImageToFile(img, wide.c_str(), &gif, nullptr), Ok);
        const std::vector<std::uint8_t> bytes = platform::readFileBytes(file);
        EXPECT_EQ(bytes[10], 0xF0);  // a two-entry table
        const auto pic = player::decodePicture(bytes.data(), bytes.size());
        ASSERT_TRUE(pic);
        const auto& px = pic->frames[0].pixels;
        EXPECT_EQ(px[0], 0xFF102030u);
        EXPECT_EQ(px[4], 0xFF102030u);
        EXPECT_EQ(px[5] >> 24, flags ? 0u : 255u);  // index 0
    }
    pal.Count = 0;
    EXPECT_EQ(GdipSetImagePalette(img, &pal), InvalidParameter);
}

TEST_F(GdiPlusTest, SaveFailuresAnswerStatusesAndLeaveNoFile) {
    const GpImage img = indexed(2, 1, {0, 0, 0, 0}, 4);
    const CLSID gif = gifEncoderClsid();
    CLSID other = gif;
    other.bytes[0] ^= 1;
    const std::string file = (dir / "x.gif").string();
    const std::u16string wide(file.begin(), file.end());
    EXPECT_EQ(GdipSaveImageToFile(img, wide.c_str(), &other, nullptr), UnknownImageFormat);
    EXPECT_EQ(GdipSaveImageToFile(img, nullptr, &gif, nullptr), InvalidParameter);
    GpImage rgb = 0;
    ASSERT_EQ(GdipCreateBitmapFromScan0(2, 1, 0, PixelFormat24bppRGB, nullptr, &rgb), Ok);
    EXPECT_EQ(GdipSaveImageToFile(rgb, wide.c_str(), &gif, nullptr), NotImplemented);
    const std::string missing = (dir / "no" / "such" / "x.gif").string();
    const std::u16string wideMissing(missing.begin(), missing.end());
    EXPECT_EQ(GdipSaveImageToFile(img, wideMissing.c_str(), &gif, nullptr), FileNotFound);
    setGifEncoderAvailable(false);
    EXPECT_EQ(GdipSaveImageToFile(img, wide.c_str(), &gif, nullptr), UnknownImageFormat);
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
