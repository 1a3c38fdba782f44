// The mask window: loading, stamping, undo, clearing, inverting, the colour key, and the brush:
// shapes, colours, transform, text and picture files.
#include <gif_lib.h>

#include <fstream>

#include "korvella/maskpainter/Brushes.h"
#include "mask_fixture.h"
#include "platform/error.h"

namespace mask_test {
namespace {

using korvella::FrmCustomWindow;
using platform::Point;

bool samePoints(const std::array<Point, 3>& a, const std::array<Point, 3>& b) {
    for (int i = 0; i < 3; ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
    return true;
}

std::array<Point, 3> pts(Point a, Point b, Point c) { return {a, b, c}; }

bool allWhite(const platform::Bitmap& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y) != kWhite) return false;
    return true;
}

int count(const platform::Bitmap& b, std::uint32_t colour, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += b.pixel(x, y) == colour;
    return n;
}

// A GIF of w x h: white with a black block from (bx0, by0) up to (bx1, by1).
void writeGif(const std::string& path, int w, int h, int bx0, int by0, int bx1, int by1) {
    int err = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &err);
    ASSERT_NE(gif, nullptr);
    GifColorType colours[2] = {{255, 255, 255}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, w, h, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    std::vector<GifPixelType> line(w);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) line[x] = (x >= bx0 && x < bx1 && y >= by0 && y < by1) ? 1 : 0;
        EGifPutLine(gif, line.data(), w);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
}

// ---- Load ----

TEST_F(MaskPainterTest, LoadsWithItsDesignStartsGraphicsAndPicksTheTwentyFirstFont) {
    FrmCustomWindow& m = mask();
    EXPECT_EQ(m.Caption(), "Maske erstellen");
    EXPECT_TRUE(m.GdipStarted);
    EXPECT_TRUE(korvella::gdiplus::started());
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(m.Combo1.ListCount(), 25);
    EXPECT_EQ(m.Combo1.ListIndex(), 20);
    EXPECT_EQ(m.ps.font().name, "Font 120");
    EXPECT_EQ(m.ps.FontSize(), 32);
    EXPECT_EQ(m.Label7.Caption(), "32");
    EXPECT_EQ(m.Label2.Caption(), "0");
    EXPECT_EQ(m.Label5.Caption(), "25");
    EXPECT_EQ(m.Transparent.ToolTipText, "RGB(255,255,255)");
    EXPECT_TRUE(m.Picture4(5).Picture().empty());
    EXPECT_EQ(m.Picture4(0).Picture().width(), 200);
    // The canvas, the source and the stamp in pixels.
    EXPECT_EQ(canvas().width(), 550);
    EXPECT_EQ(canvas().height(), 400);
    EXPECT_EQ(m.ps.ScaleWidth(), 200);
    EXPECT_EQ(m.picBrush.ScaleWidth(), 285);
    EXPECT_EQ(m.picBrush.ScaleHeight(), 349);
    // Size 50: about 1.19 times the source, around the centre of the 320 x 252 display.
    EXPECT_TRUE(samePoints(m.corners, pts({41, 7}, {279, 7}, {41, 245})));
    EXPECT_EQ(m.pd.image().pixel(160, 126), kBlack);
    EXPECT_EQ(m.pd.image().pixel(5, 5), kWhite);
    EXPECT_TRUE(allWhite(canvas()));

    int thrown = 0;
    try {
        m.Picture4(16);
    } catch (const platform::VbError& e) {
        thrown = e.number();
    }
    EXPECT_EQ(thrown, 340);

    korvella::frmCustom.Unload();
    EXPECT_FALSE(korvella::gdiplus::started());
}

TEST_F(MaskPainterTest, FewerThanTwentyOneFontsSelectTheLastAndNoneSelectNothing) {
    korvella::setScreenFontsForTests(fakeFonts(3));
    EXPECT_EQ(mask().Combo1.ListIndex(), 2);
    EXPECT_EQ(mask().ps.font().name, "Font 102");
    korvella::frmCustom.Unload();
    korvella::setScreenFontsForTests({});
    EXPECT_EQ(mask().Combo1.ListIndex(), -1);
    EXPECT_EQ(mask().Combo1.ListCount(), 0);
}

TEST_F(MaskPainterTest, AFailedStartIsReportedTwiceAndPaintingStillWorks) {
    korvella::gdiplus::failCall("GdiplusStartup", korvella::gdiplus::UnsupportedGdiplusVersion);
    FrmCustomWindow& m = mask();
    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Unsupported Gdiplus Version. GDI+ Error:17");
    EXPECT_EQ(boxes[0].title, "GDI Error");
    EXPECT_EQ(boxes[0].style, platform::MB_OK);
    EXPECT_EQ(boxes[1].text, "GDI+ not inizialized.");
    EXPECT_EQ(boxes[1].title, "GDI Error");
    EXPECT_FALSE(m.GdipStarted);
    press(300, 200);
    EXPECT_EQ(at(301, 201), kBlack);
    korvella::frmCustom.Unload();
    EXPECT_EQ(dialogs.messages().size(), 2u);
}

// ---- Stamping and undo ----

TEST_F(MaskPainterTest, AClickStampsTheBrushCentredOnTheMouseAndKeepsTheCanvasBeforeIt) {
    press(300, 200);
    EXPECT_EQ(at(301, 201), kBlack);
    EXPECT_EQ(at(401, 201), kBlack);
    EXPECT_EQ(at(413, 201), kWhite);  // beyond the scaled radius of about 107
    EXPECT_EQ(at(301, 301), kBlack);
    EXPECT_EQ(at(301, 320), kWhite);
    EXPECT_TRUE(allWhite(mask().Picture2.Picture()));
    mask().Command1.userClick();
    EXPECT_TRUE(allWhite(canvas()));
    // One level only: undoing again gives the same picture.
    mask().Command1.userClick();
    EXPECT_TRUE(allWhite(canvas()));
}

TEST_F(MaskPainterTest, ADragStampsOncePerMoveWithExactlyTheLeftButtonAndIsOneUndoStep) {
    press(100, 100);
    press(300, 100);  // a second stroke: the undo state moves forward
    drag(450, 300);
    drag(300, 300, 3);  // left and right together: nothing
    drag(100, 300, 2);
    EXPECT_EQ(at(101, 101), kBlack);
    EXPECT_EQ(at(301, 101), kBlack);
    EXPECT_EQ(at(451, 301), kBlack);
    EXPECT_EQ(at(301, 301), kWhite);
    EXPECT_EQ(at(101, 301), kWhite);
    mask().Command1.userClick();
    EXPECT_EQ(at(101, 101), kBlack);
    EXPECT_EQ(at(301, 101), kWhite);
    EXPECT_EQ(at(451, 301), kWhite);
    press(100, 100, 4);  // the middle button does nothing
    EXPECT_EQ(at(301, 101), kWhite);
}

TEST_F(MaskPainterTest, RightClickUndoesLikeTheButtonAndBeforeAnyStrokeGivesWhite) {
    press(200, 200, 2);
    EXPECT_TRUE(allWhite(canvas()));
    press(200, 200);
    press(400, 200);
    const platform::Bitmap twoStrokes = canvas();
    press(10, 10, 2);
    const platform::Bitmap byRightClick = canvas();
    EXPECT_EQ(byRightClick.pixel(401, 201), kWhite);
    EXPECT_EQ(byRightClick.pixel(201, 201), kBlack);
    mask().picBox.setPicture(twoStrokes);
    mask().Command1.userClick();
    for (int y = 0; y < 400; y += 7)
        for (int x = 0; x < 550; x += 7) ASSERT_EQ(canvas().pixel(x, y), byRightClick.pixel(x, y));
}

TEST_F(MaskPainterTest, StampsAtTheBorderAreClipped) {
    press(0, 0);
    press(549, 399);
    EXPECT_EQ(at(0, 0), kBlack);
    EXPECT_EQ(at(549, 399), kBlack);
    EXPECT_EQ(at(100, 100), kWhite);
    press(-400, -400);  // entirely outside
    press(5000, 5000);
    EXPECT_EQ(at(100, 100), kWhite);
}

TEST_F(MaskPainterTest, ClearingThenUndoingRestoresTheCanvasBeforeTheLastStroke) {
    press(100, 100);
    press(400, 300);
    mask().ClearPic.userClick();
    EXPECT_TRUE(allWhite(canvas()));
    mask().Command1.userClick();
    EXPECT_EQ(at(101, 101), kBlack);
    EXPECT_EQ(at(401, 301), kWhite);
}

TEST_F(MaskPainterTest, InvertingTwiceGivesTheCanvasBack) {
    press(200, 200);
    const platform::Bitmap before = canvas();
    mask().Command3.userClick();
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 550; ++x) {
            ASSERT_EQ(canvas().pixel(x, y), 0xFFFFFF - before.pixel(x, y));
            ASSERT_EQ(canvas().alpha(x, y), 255);
        }
    mask().Command3.userClick();
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 550; ++x) ASSERT_EQ(canvas().pixel(x, y), before.pixel(x, y));
    // Inverting takes no undo snapshot.
    mask().Command3.userClick();
    mask().Command1.userClick();
    EXPECT_TRUE(allWhite(canvas()));
}

TEST_F(MaskPainterTest, TheColourKeyDecidesWhichBrushPixelsCover) {
    FrmCustomWindow& m = mask();
    m.Command3.userClick();  // a black canvas
    m.HScroll7.setValue(255);  // a red brush
    press(300, 200);
    EXPECT_EQ(at(301, 201), kRed);
    EXPECT_EQ(at(413, 201), kBlack);  // the white around the shape is the key: it does not cover

    m.tr.setValue(0);
    EXPECT_EQ(m.Transparent.ToolTipText, "RGB(0,255,255)");
    EXPECT_EQ(m.Transparent.BackColor(), 0xFFFF00u);
    EXPECT_EQ(m.Transparent.image().pixel(3, 3), 0xFFFF00u);
    m.tg.userDrag(0, false);  // scrolling updates at once
    EXPECT_EQ(m.Transparent.ToolTipText, "RGB(0,0,255)");
    m.tb.userStep(-255);
    EXPECT_EQ(m.Transparent.ToolTipText, "RGB(0,0,0)");
    // With black as the key the brush's white covers the canvas, and so does the stamp's white
    // rest below the transformed picture.
    press(300, 200);
    EXPECT_EQ(at(413, 201), kWhite);
    EXPECT_EQ(at(301, 380), kWhite);
    EXPECT_EQ(at(301, 201), kRed);
}

// ---- Brush ----

TEST_F(MaskPainterTest, ShapeFiveAndTheXButtonEmptyTheBrush) {
    FrmCustomWindow& m = mask();
    m.Command3.userClick();  // a black canvas
    m.HScroll5.setValue(5);
    EXPECT_TRUE(allWhite(m.picBrush.image()));
    press(300, 200);
    EXPECT_EQ(count(canvas(), kWhite, 0, 0, 550, 400), 0);
    m.HScroll5.setValue(1);
    EXPECT_FALSE(allWhite(m.picBrush.image()));
    m.Command8.userClick();
    EXPECT_TRUE(allWhite(m.picBrush.image()));
    EXPECT_TRUE(allWhite(m.ps.image()));
}

TEST_F(MaskPainterTest, ANewShapeTakesTheChosenColourAtOnce) {
    FrmCustomWindow& m = mask();
    m.HScroll7.setValue(255);
    EXPECT_EQ(m.ps.image().pixel(100, 100), kRed);  // the design circle recoloured
    m.HScroll5.setValue(1);  // the square
    EXPECT_EQ(m.ps.image().pixel(100, 100), kRed);
    EXPECT_EQ(m.ps.image().pixel(10, 10), kWhite);
    EXPECT_EQ(m.Picture7.BackColor(), kRed);
    EXPECT_EQ(m.pd.image().pixel(160, 126), kRed);
    // A colour change replaces the current colour, not black.
    m.HScroll9.setValue(255);
    EXPECT_EQ(m.ps.image().pixel(100, 100), 0xFF00FFu);
    EXPECT_EQ(m.ps.image().pixel(10, 10), kWhite);
    m.HScroll8.userDrag(255, false);
    EXPECT_EQ(m.ps.image().pixel(100, 100), 0xFFFFFFu);
    // White on white: the shape has become the key colour and stamps nothing.
    press(300, 200);
    EXPECT_TRUE(allWhite(canvas()));
}

TEST_F(MaskPainterTest, SizeFortyFiveCopiesTheSourcePixelForPixelAndTheAnglesTurnAndMirrorIt) {
    FrmCustomWindow& m = mask();
    m.HScroll5.setValue(11);  // the arrow: nothing symmetric about it
    const platform::Bitmap& src = m.ps.image();
    const platform::Bitmap& po = m.po.image();
    m.HScroll4.setValue(45);
    EXPECT_EQ(m.Label5.Caption(), "45");
    EXPECT_TRUE(samePoints(m.corners, pts({60, 26}, {260, 26}, {60, 226})));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(po.pixel(60 + x, 26 + y), src.pixel(x, y)) << x << "," << y;

    m.HScroll1.setValue(90);  // a quarter turn clockwise
    EXPECT_TRUE(samePoints(m.corners, pts({260, 26}, {260, 226}, {60, 26})));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(po.pixel(259 - y, 26 + x), src.pixel(x, y)) << x << "," << y;

    m.HScroll1.setValue(-180);
    const auto minus = m.corners;
    const platform::Bitmap turnedMinus = po;
    m.HScroll1.setValue(180);
    EXPECT_TRUE(samePoints(m.corners, minus));
    for (int y = 0; y < 252; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(po.pixel(x, y), turnedMinus.pixel(x, y));

    m.HScroll1.setValue(0);
    m.HScroll2.setValue(180);  // "Breite": left to right
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(po.pixel(259 - x, 26 + y), src.pixel(x, y)) << x << "," << y;
    m.HScroll2.setValue(0);
    m.HScroll3.setValue(180);  // "Höhe": top to bottom
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(po.pixel(60 + x, 225 - y), src.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(m.Label4.Caption(), "180");
    EXPECT_EQ(m.Label3.Caption(), "0");
}

TEST_F(MaskPainterTest, SizeScalesByTheTangentFromAPointToFourteenTimes) {
    FrmCustomWindow& m = mask();
    m.HScroll4.setValue(86);
    EXPECT_TRUE(samePoints(m.corners, pts({-1270, -1304}, {1590, -1304}, {-1270, 1556})));
    EXPECT_EQ(m.po.image().pixel(160, 126), kBlack);  // the middle of the circle fills the display
    EXPECT_EQ(m.po.image().pixel(0, 0), kBlack);
    m.HScroll4.setValue(0);
    EXPECT_TRUE(samePoints(m.corners, pts({160, 126}, {160, 126}, {160, 126})));
    EXPECT_TRUE(allWhite(m.picBrush.image()));
    // Angles of 90 collapse an axis.
    m.HScroll4.setValue(45);
    m.HScroll2.setValue(90);
    EXPECT_TRUE(allWhite(m.picBrush.image()));
}

TEST_F(MaskPainterTest, LabelsFollowOnlyAChangeNotTheScrolling) {
    FrmCustomWindow& m = mask();
    m.HScroll1.userDrag(30, false);
    EXPECT_EQ(m.Label2.Caption(), "0");
    EXPECT_FALSE(samePoints(m.corners, pts({41, 7}, {279, 7}, {41, 245})));  // redrawn all the same
    m.HScroll1.userDrag(30, true);
    EXPECT_EQ(m.Label2.Caption(), "30");
    m.HScroll6.setValue(60);
    EXPECT_EQ(m.Label7.Caption(), "60");
    EXPECT_EQ(m.ps.FontSize(), 60);
}

TEST_F(MaskPainterTest, TextIsPrintedInTheBrushColourAndRemovedBackToTheBlackShape) {
    // Needs one font file on the machine.
    platform::Bitmap probe(100, 60);
    probe.clear(kWhite);
    korvella::printText(probe, 0, 0, "W", forms::Font{"DejaVu Sans", 32}, kBlack);
    if (count(probe, kBlack, 0, 0, 100, 60) == 0) GTEST_SKIP() << "no font file found";

    FrmCustomWindow& m = mask();
    m.Text1.setText("WW");
    m.Command4.userClick();
    // The circle leaves the top-left corner white; the text inks it.
    EXPECT_GT(count(m.ps.image(), kBlack, 0, 0, 40, 30), 20);
    m.Command5.userClick();
    const platform::Bitmap shape = korvella::builtInBrush(0);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(m.ps.image().pixel(x, y), shape.pixel(x, y));

    m.HScroll9.setValue(255);  // blue
    m.Command4.userClick();
    EXPECT_EQ(count(m.ps.image(), kBlack, 0, 0, 200, 200), 0);
    EXPECT_GT(count(m.ps.image(), 0xFF0000, 0, 0, 40, 30), 20);
    EXPECT_EQ(m.ps.image().pixel(100, 100), 0xFF0000u);
    m.Command5.userClick();
    EXPECT_EQ(m.ps.image().pixel(100, 100), kBlack);
    EXPECT_EQ(m.Picture7.BackColor(), 0u);
}

TEST_F(MaskPainterTest, APictureFileBecomesTheBrushAndBadFilesLeaveItAsItWas) {
    FrmCustomWindow& m = mask();
    const std::string gif = (home / "brush.gif").string();
    writeGif(gif, 50, 30, 10, 5, 40, 25);

    // Cancelled the first time: no name, an empty brush.
    dialogs.pushFile(std::nullopt);
    m.Command7.userClick();
    EXPECT_TRUE(allWhite(m.ps.image()));
    EXPECT_TRUE(allWhite(m.picBrush.image()));

    m.HScroll8.setValue(255);
    dialogs.pushFile(gif);
    m.Command7.userClick();
    EXPECT_EQ(m.CommonDialog1.FileName, gif);
    EXPECT_EQ(m.ps.image().pixel(20, 10), 0x00FF00u);  // black became the chosen green
    EXPECT_EQ(m.ps.image().pixel(5, 5), kWhite);
    EXPECT_EQ(m.ps.image().pixel(100, 100), kWhite);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].kind, platform::ScriptedDialogs::Kind::Open);

    // A later cancel keeps the last name: the same picture again.
    dialogs.pushFile(std::nullopt);
    m.Command7.userClick();
    EXPECT_EQ(m.ps.image().pixel(20, 10), 0x00FF00u);

    const std::string junk = (home / "junk.gif").string();
    std::ofstream(junk) << "not a picture";
    m.HScroll7.setValue(255);  // the green brush turns yellow
    dialogs.pushFile(junk);
    m.Command7.userClick();
    EXPECT_EQ(platform::Err().number, 481);
    EXPECT_EQ(m.ps.image().pixel(20, 10), 0x00FFFFu);  // unchanged
    EXPECT_EQ(m.Picture7.BackColor(), 0x00FFFFu);      // the recolour step still ran

    dialogs.pushFile((home / "missing.gif").string());
    m.Command7.userClick();
    EXPECT_EQ(platform::Err().number, 53);
    EXPECT_EQ(m.ps.image().pixel(20, 10), 0x00FFFFu);
    EXPECT_TRUE(dialogs.messages().empty());
}

}  // namespace
}  // namespace mask_test
