// Saving the mask as "maske.swf" and showing it on the projector: the file's bytes, the picture
// the player reads back, the status line's timing, and every way the save can fail.
#include <signal.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include <gif_lib.h>

#include "korvella/main/FlashPlayerControl.h"
#include "korvella/maskpainter/modOcTree.h"
#include "mask_fixture.h"
#include "platform/error.h"
#include "platform/storage/files.h"
#include "player/picture.h"
#include "player/player_test_util.h"

namespace mask_test {
namespace {

using korvella::FrmCustomWindow;
namespace gp = korvella::gdiplus;

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& p) { return platform::readFileBytes(p.string()); }

player::Picture decode(const std::vector<std::uint8_t>& bytes) {
    std::string why;
    auto pic = player::decodePicture(bytes.data(), bytes.size(), &why);
    EXPECT_TRUE(pic) << why;
    return pic ? *pic : player::Picture{};
}

std::vector<std::string> texts(const platform::ScriptedDialogs& d) {
    std::vector<std::string> out;
    for (const auto& box : d.messages()) out.push_back(box.title + ": " + box.text);
    return out;
}

constexpr std::size_t kTable = 13;             // the colour table follows the 13-byte header
constexpr std::size_t kGce = kTable + 3 * 256;  // then the transparency block

TEST_F(MaskPainterTest, SavingShowsRedThenGreenAndHidesTheStatusLineTwoAndAHalfSecondsLater) {
    FrmCustomWindow& m = mask();
    advance(10);
    const double t0 = now();
    std::string caption;
    std::uint32_t colour = 0;
    bool visible = false;
    // Runs inside the 1 ms wait before the export: what the operator sees meanwhile.
    loop().post([&] {
        caption = m.Label17.Caption();
        colour = m.Label17.ForeColor();
        visible = m.Label17.Visible();
    });
    EXPECT_FALSE(m.Label17.Visible());
    m.Command2.userClick();
    EXPECT_EQ(caption, "Wird gespeichert...");
    EXPECT_EQ(colour, 0xFFu);
    EXPECT_TRUE(visible);
    EXPECT_EQ(now(), t0 + 1);
    EXPECT_EQ(m.Label17.Caption(), "Maske gespeichert!");
    EXPECT_EQ(m.Label17.ForeColor(), 0xFF00u);
    EXPECT_TRUE(m.Label17.Visible());
    EXPECT_TRUE(m.Timer1.Enabled());
    EXPECT_TRUE(std::filesystem::exists(maskFile()));
    EXPECT_TRUE(dialogs.shown().empty());

    advance(2499);
    EXPECT_TRUE(m.Label17.Visible());
    advance(1);
    EXPECT_EQ(now(), t0 + 2501);
    EXPECT_FALSE(m.Label17.Visible());
    EXPECT_FALSE(m.Timer1.Enabled());
}

TEST_F(MaskPainterTest, AnAllWhiteCanvasSavesAsAWhollyTransparentGif) {
    mask().Command2.userClick();
    EXPECT_EQ(korvella::modOcTree::Palette.size(), 16u);
    EXPECT_EQ(korvella::modOcTree::GetPaletteUBound(), 0);

    const std::vector<std::uint8_t> b = bytesOf(maskFile());
    ASSERT_GT(b.size(), kGce + 8);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    EXPECT_EQ(b[6] | (b[7] << 8), 550);
    EXPECT_EQ(b[8] | (b[9] << 8), 400);
    EXPECT_EQ(b[10], 0xF7);  // a global colour table of 256 entries
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + kTable, b.begin() + kTable + 6),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + kGce, b.begin() + kGce + 8),
              (std::vector<std::uint8_t>{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00}));  // index 0 transparent
    EXPECT_EQ(b[kGce + 8], 0x2C);
    EXPECT_EQ(b.back(), 0x3B);

    const player::Picture pic = decode(b);
    ASSERT_EQ(pic.width, 550);
    ASSERT_EQ(pic.height, 400);
    for (std::uint32_t px : pic.frames[0].pixels) ASSERT_EQ(px >> 24, 0u);
}

TEST_F(MaskPainterTest, BlackStrokesStayOpaqueWhileWhiteBecomesTransparent) {
    press(300, 200);
    press(100, 320);
    mask().Command2.userClick();
    const std::vector<std::uint8_t> b = bytesOf(maskFile());
    ASSERT_GT(b.size(), kGce + 8);
    // Black and white: two leaves, black first in the tree's order.
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + kTable, b.begin() + kTable + 9),
              (std::vector<std::uint8_t>{0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0}));
    EXPECT_EQ(b[kGce + 6], 1);  // the transparent index: white

    const player::Picture pic = decode(b);
    ASSERT_EQ(pic.width, 550);
    const auto& px = pic.frames[0].pixels;
    int black = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 550; ++x) {
            const std::uint32_t p = px[static_cast<std::size_t>(y) * 550 + x];
            if (at(x, y) == kBlack) {
                ASSERT_EQ(p, 0xFF000000u) << x << "," << y;
                ++black;
            } else {
                ASSERT_EQ(p >> 24, 0u) << x << "," << y;
            }
        }
    EXPECT_GT(black, 2 * 30000);
}

TEST_F(MaskPainterTest, AWidthThatIsNoMultipleOfFourGoesThroughTheStridesUntouched) {
    // 555 pixels: 24-bit rows of 1,668 bytes, 8-bit rows of 556; 60 colours, none of them white.
    platform::Bitmap odd(555, 3);
    auto colourAt = [](int x, int y) {
        const int i = (x + 3 * y) % 60;
        return forms::RGB(i * 4, 255 - i * 4, i * 2);
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 555; ++x) odd.setPixel(x, y, colourAt(x, y));
    const std::string file = (home / "odd.gif").string();
    EXPECT_EQ(mask().SaveAsGif(odd, file, true, forms::RGB(255, 255, 255)), gp::Ok);
    const player::Picture pic = decode(bytesOf(file));
    ASSERT_EQ(pic.width, 555);
    ASSERT_EQ(pic.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 555; ++x) {
            const std::uint32_t c = colourAt(x, y);
            const std::uint32_t argb = 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
            ASSERT_EQ(pic.frames[0].pixels[static_cast<std::size_t>(y) * 555 + x], argb) << x << "," << y;
        }
}

TEST_F(MaskPainterTest, SavingAgainOverwritesTheMask) {
    mask().Command2.userClick();
    const std::vector<std::uint8_t> first = bytesOf(maskFile());
    press(275, 200);
    advance(3000);
    mask().Command2.userClick();
    const std::vector<std::uint8_t> second = bytesOf(maskFile());
    EXPECT_NE(first, second);
    EXPECT_EQ(decode(second).frames[0].pixels[201 * 550 + 276], 0xFF000000u);
    // Only the mask is left in the folder: no temporary file stays behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home)) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(MaskPainterTest, TheSavedMaskLiesOnLayer9999OverTheProjectorBackground) {
    std::vector<std::string> calls;
    korvella::FlashPlayerControl::setCallObserver(
        [&](const korvella::FlashPlayerControl& c, const std::string& call) {
            if (c.form() && c.form()->name() == "Form1") calls.push_back(call);
        });
    FrmCustomWindow& m = mask();
    // Before any save: the missing file is loaded all the same and the layer stays empty.
    m.Command9.userClick();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "LoadMovie 9999 " + home.string() + "/maske.swf");
    EXPECT_FALSE(korvella::Form1->ShockwaveFlash1.player().hasLayer(9999));

    press(300, 200);
    m.Command2.userClick();
    m.Command9.userClick();
    korvella::FlashPlayerControl::setCallObserver(nullptr);
    player::MoviePlayer& projector = korvella::Form1->ShockwaveFlash1.player();
    ASSERT_TRUE(projector.hasLayer(9999));
    projector.setBackgroundColor(0x0000FF);
    platform::Bitmap frame;
    ASSERT_TRUE(projector.render(frame, 550, 400));
    EXPECT_EQ(frame.pixel(301, 201), kBlack);  // the stroke covers
    EXPECT_EQ(frame.pixel(20, 20), kRed);      // white lets the picture below through
    EXPECT_EQ(frame.pixel(530, 380), kRed);
}

// A GIF read back with giflib: its indexes, colour table and transparent index (-1 for none).
struct DecodedGif {
    int width = 0, height = 0, transparent = -1;
    std::vector<std::uint8_t> indexes;
    std::vector<std::uint32_t> colours;  // &HRRGGBB
};

DecodedGif readGif(const std::filesystem::path& path) {
    DecodedGif out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    EXPECT_NE(gif, nullptr) << GifErrorString(error);
    if (!gif) return out;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    if (gif->SColorMap)
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType c = gif->SColorMap->Colors[i];
            out.colours.push_back((static_cast<std::uint32_t>(c.Red) << 16) | (c.Green << 8) | c.Blue);
        }
    GraphicsControlBlock gcb{};
    if (gif->ImageCount > 0) {
        if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK) out.transparent = gcb.TransparentColor;
        const SavedImage& image = gif->SavedImages[0];
        out.indexes.assign(image.RasterBits, image.RasterBits + image.ImageDesc.Width * image.ImageDesc.Height);
    }
    DGifCloseFile(gif, &error);
    return out;
}

TEST_F(MaskPainterTest, APhotoAsTheBrushLeavesEveryWhitePixelTransparentAndNoOtherOne) {
    // A photo: a disc of every colour on a slightly uneven white ground, so that the canvas holds
    // thousands of colours and many shades next to white.
    const std::string photo = (home / "foto.jpg").string();
    platform::writeFileBytes(photo, player::test::jpegBytes(200, 200, [](int x, int y) {
        const auto noise = static_cast<std::uint8_t>((x * 7919 + y * 104729) % 7);
        if ((x - 100) * (x - 100) + (y - 100) * (y - 100) > 70 * 70)
            return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(255 - noise), static_cast<std::uint8_t>(255 - noise),
                                               static_cast<std::uint8_t>(255 - noise / 2)};
        std::uint32_t h = static_cast<std::uint32_t>(x / 2 * 2654435761u) ^ static_cast<std::uint32_t>(y / 2 * 40503u);
        h = (h ^ (h >> 15)) * 2246822519u;
        h ^= h >> 13;
        return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                                           static_cast<std::uint8_t>(h >> 16)};
    }));
    FrmCustomWindow& m = mask();
    dialogs.pushFile(photo);
    m.Command7.userClick();
    for (int x = 100; x <= 450; x += 175) press(x, 200);
    m.Command2.userClick();
    ASSERT_TRUE(dialogs.messages().empty());

    const DecodedGif gif = readGif(maskFile());
    ASSERT_EQ(gif.width, 550);
    ASSERT_EQ(gif.height, 400);
    ASSERT_GE(gif.transparent, 0);
    EXPECT_EQ(gif.colours.at(static_cast<std::size_t>(gif.transparent)), 0xFFFFFFu);
    int white = 0, other = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 550; ++x) {
            const bool isWhite = at(x, y) == kWhite;
            const bool isTransparent = gif.indexes[static_cast<std::size_t>(y) * 550 + x] == gif.transparent;
            ASSERT_EQ(isTransparent, isWhite) << x << "," << y;
            ++(isWhite ? white : other);
        }
    EXPECT_GT(white, 50000);
    EXPECT_GT(other, 10000);
    // The photo took the quantiser to its limit: many shades had to be merged.
    EXPECT_GT(korvella::modOcTree::GetPaletteUBound(), 200);
}

TEST_F(MaskPainterTest, WithoutWhiteOnTheCanvasTheFileNamesNoTransparentColour) {
    platform::Bitmap grey(40, 30);
    grey.clear(0x808080);
    grey.setPixel(3, 4, 0xFEFFFF);
    const std::string file = (home / "grau.gif").string();
    EXPECT_EQ(mask().SaveAsGif(grey, file, true, kWhite), gp::Ok);
    const DecodedGif gif = readGif(file);
    EXPECT_EQ(gif.transparent, -1);
    const std::vector<std::uint8_t> b = bytesOf(file);
    ASSERT_GT(b.size(), kGce + 1);
    EXPECT_EQ(b[kGce], 0x2C);  // the image follows the colour table at once
    const player::Picture pic = decode(b);
    for (std::uint32_t px : pic.frames[0].pixels) ASSERT_EQ(px >> 24, 0xFFu);
}

// ---- Failures ----

TEST_F(MaskPainterTest, EveryStatusHasItsTextAndOnlyFailuresShowTheBox) {
    const char* expected[] = {"Generic Error.", "Invalid Parameter.", "Out Of Memory.", "Object Busy.",
                              "Insufficient Buffer.", "Not Implemented.", "Win32 Error.", "Wrong State.",
                              "Aborted.", "File Not Found.", "Value Overflow.", "Access Denied.",
                              "Unknown Image Format.", "FontFamily Not Found.", "FontStyle Not Found.",
                              "Not TrueType Font.", "Unsupported Gdiplus Version.", "Gdiplus Not Initialized.",
                              "Property Not Found.", "Property Not Supported."};
    for (int s = 1; s <= 20; ++s) EXPECT_EQ(FrmCustomWindow::GdipStatusText(s), expected[s - 1]);
    EXPECT_EQ(FrmCustomWindow::GdipStatusText(0), "Unknown GDI+ Error.");
    EXPECT_EQ(FrmCustomWindow::GdipStatusText(21), "Unknown GDI+ Error.");
    EXPECT_EQ(FrmCustomWindow::GdipStatusText(-1), "Unknown GDI+ Error.");

    EXPECT_EQ(mask().CheckGdipStatus(0), 0);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(mask().CheckGdipStatus(12), 12);
    EXPECT_EQ(mask().CheckGdipStatus(99), 99);
    EXPECT_EQ(texts(dialogs), (std::vector<std::string>{"GDI Error: Access Denied. GDI+ Error:12",
                                                       "GDI Error: Unknown GDI+ Error. GDI+ Error:99"}));
    EXPECT_EQ(dialogs.messages()[0].style, platform::MB_OK);
}

TEST_F(MaskPainterTest, AFailedStepIsReportedAndTheExportEndsWithoutLeavingImagesOrAFile) {
    FrmCustomWindow& m = mask();
    gp::failCall("GdipCloneBitmapArea", gp::OutOfMemory);
    m.Command2.userClick();
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Out Of Memory. GDI+ Error:3"});
    EXPECT_EQ(m.Label17.Caption(), "Maske gespeichert!");  // whatever the result
    EXPECT_EQ(gp::liveImages(), 0);

    dialogs.clear();
    gp::failCall("GdipBitmapLockBits", gp::ObjectBusy);  // the 24-bit read
    EXPECT_EQ(m.SaveAsGif(m.picBox.image(), maskFile().string(), true, kWhite), gp::Aborted);
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Object Busy. GDI+ Error:4"});
    EXPECT_EQ(gp::liveImages(), 0);

    dialogs.clear();
    gp::failCall("GdipCreateBitmapFromScan0", gp::OutOfMemory);
    EXPECT_EQ(m.SaveAsGif(m.picBox.image(), maskFile().string(), true, kWhite), gp::Aborted);
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Out Of Memory. GDI+ Error:3"});
    EXPECT_EQ(gp::liveImages(), 0);

    dialogs.clear();
    gp::failCall("GdipSaveImageToFile", gp::AccessDenied);
    EXPECT_EQ(m.SaveAsGif(m.picBox.image(), maskFile().string(), true, kWhite), gp::AccessDenied);
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Access Denied. GDI+ Error:12"});
    EXPECT_EQ(gp::liveImages(), 0);
    EXPECT_FALSE(std::filesystem::exists(maskFile()));

    // A failed release is reported too; the file is written all the same.
    dialogs.clear();
    gp::failCall("GdipDisposeImage", gp::WrongState);
    EXPECT_EQ(m.SaveAsGif(m.picBox.image(), maskFile().string(), true, kWhite), gp::Ok);
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Wrong State. GDI+ Error:8"});
    EXPECT_TRUE(std::filesystem::exists(maskFile()));
}

TEST_F(MaskPainterTest, AFailedPaletteSkipsTheIndexesAndSavesEntryZeroEverywhere) {
    press(300, 200);
    gp::failCall("GdipSetImagePalette", gp::InvalidParameter);
    mask().Command2.userClick();
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Invalid Parameter. GDI+ Error:2"});
    const player::Picture pic = decode(bytesOf(maskFile()));
    for (std::uint32_t px : pic.frames[0].pixels) ASSERT_EQ(px, 0xFF000000u);
}

TEST_F(MaskPainterTest, WithoutAGifEncoderNothingIsWrittenAndTheEncoderBoxShows) {
    FrmCustomWindow& m = mask();
    std::array<std::uint8_t, 16> clsid{};
    EXPECT_TRUE(m.GetEncoderClsid("image/gif", clsid));
    EXPECT_EQ(clsid, gp::gifEncoderClsid().bytes);
    EXPECT_FALSE(m.GetEncoderClsid("image/png", clsid));
    gp::setGifMimeType(u"IMAGE/GIF");  // matched without regard to case
    EXPECT_TRUE(m.GetEncoderClsid("image/gif", clsid));

    gp::setGifEncoderAvailable(false);
    EXPECT_FALSE(m.GetEncoderClsid("image/gif", clsid));
    EXPECT_EQ(m.SaveAsGif(m.picBox.image(), maskFile().string(), true, kWhite), gp::Aborted);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "Konnte keinen passenden Encoder ermitteln.");
    EXPECT_EQ(dialogs.messages()[0].title, "Encoder Error");
    EXPECT_EQ(dialogs.messages()[0].style, platform::MB_OK);
    EXPECT_FALSE(std::filesystem::exists(maskFile()));
    EXPECT_EQ(gp::liveImages(), 0);
}

TEST_F(MaskPainterTest, WithoutTheGraphicsLibrarySavingReportsItAndWritesNothing) {
    gp::failCall("GdiplusStartup", gp::GenericError);
    FrmCustomWindow& m = mask();
    dialogs.clear();
    m.Command2.userClick();
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Gdiplus Not Initialized. GDI+ Error:18"});
    EXPECT_FALSE(std::filesystem::exists(maskFile()));
    EXPECT_EQ(m.Label17.Caption(), "Maske gespeichert!");
}

// The process may write files of at most `bytes` bytes while it lives (a full disk, as far as
// the writer can tell).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit r = old_;
        r.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
    }

private:
    rlimit old_{};
};

TEST_F(MaskPainterTest, AFullDiskIsReportedAndKeepsTheLastGoodMask) {
    mask().Command2.userClick();
    const std::vector<std::uint8_t> good = bytesOf(maskFile());
    press(300, 200);
    {
        FileSizeLimit full(64);
        mask().Command2.userClick();
    }
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Win32 Error. GDI+ Error:7"});
    EXPECT_EQ(bytesOf(maskFile()), good);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home)) ++files;
    EXPECT_EQ(files, 1);
}

// The window closed inside the save's wait (its close box handled in that pump): the save
// handler runs to its end on the closed window, which is freed only after it, and is not
// loaded again; the mask is saved all the same.
TEST_F(MaskPainterTest, ClosingTheWindowDuringItsSaveFreesItOnlyAfterTheSave) {
    FrmCustomWindow& m = mask();
    struct Watch : forms::FormsObserver {
        int loads = 0;
        void formLoaded(forms::Form&) override { ++loads; }
    } watch;
    forms::Application::addObserver(&watch);
    loop().post([] { korvella::frmCustom.Unload(0); });
    m.Command2.userClick();
    forms::Application::removeObserver(&watch);
    EXPECT_FALSE(korvella::frmCustom.isLoaded());
    EXPECT_EQ(watch.loads, 0);
    EXPECT_TRUE(dialogs.shown().empty()) << texts(dialogs).front();
    EXPECT_TRUE(std::filesystem::exists(maskFile()));
    advance(3000);
    EXPECT_FALSE(korvella::frmCustom.isLoaded());
}

TEST_F(MaskPainterTest, AProgramFolderThatRefusesWritingIsReportedAsAccessDenied) {
    FrmCustomWindow& m = mask();
    std::filesystem::permissions(home, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                           std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                           std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    // The administrator writes anywhere: check file access as an ordinary user instead.
    const bool root = ::geteuid() == 0;
    if (root) ::setfsuid(65534);
    const std::string probe = (home / "probe").string();
    std::FILE* f = std::fopen(probe.c_str(), "w");
    if (f) {
        std::fclose(f);
        std::remove(probe.c_str());
        if (root) ::setfsuid(0);
        GTEST_SKIP() << "the folder cannot be made read-only here";
    }
    m.Command2.userClick();
    if (root) ::setfsuid(0);
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Access Denied. GDI+ Error:12"});
    EXPECT_FALSE(std::filesystem::exists(maskFile()));
    EXPECT_EQ(m.Label17.Caption(), "Maske gespeichert!");
}

TEST_F(MaskPainterTest, AProgramFolderThatCannotExistIsReportedAndShowingSkipsTheLoad) {
    FrmCustomWindow& m = mask();
    std::ofstream(home / "plain") << "x";
    ::setenv("KORVELLA_HOME", (home / "plain" / "sub").c_str(), 1);
    m.Command2.userClick();
    EXPECT_EQ(texts(dialogs), std::vector<std::string>{"GDI Error: Access Denied. GDI+ Error:12"});
    m.Command9.userClick();
    EXPECT_EQ(platform::Err().number, 76);
    EXPECT_FALSE(korvella::Form1->ShockwaveFlash1.player().hasLayer(9999));
}

}  // namespace
}  // namespace mask_test
