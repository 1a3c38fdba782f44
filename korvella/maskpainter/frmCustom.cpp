#include "korvella/maskpainter/frmCustom.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "forms/conv.h"
#include "forms/errors.h"
#include "korvella/main/Warten.h"
#include "korvella/maskpainter/Brushes.h"
#include "korvella/maskpainter/ScreenFonts.h"
#include "platform/graphics/gdiplus.h"
#include "korvella/maskpainter/modOcTree.h"
#include "korvella/windows.h"
#include "platform/windows/dialogs.h"
#include "platform/error.h"
#include "platform/storage/files.h"
#include "platform/graphics/gdi.h"

namespace korvella {

using forms::tryStmt;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF;
constexpr std::uint32_t kGreen = 0xFF00;
constexpr double kRadiansPerDegree = 0.017453292519943278;
// Where the stamp's top-left lies relative to the mouse: about the centre of the transform.
constexpr double kStampOffsetX = 159;
constexpr double kStampOffsetY = 125;
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;

std::u16string utf16Of(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool sameIgnoringCase(const std::u16string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = a[i] < 128 ? static_cast<char16_t>(std::tolower(static_cast<int>(a[i]))) : a[i];
        const char16_t y = static_cast<char16_t>(std::tolower(static_cast<unsigned char>(b[i])));
        if (x != y) return false;
    }
    return true;
}

// A picture box's persistent image drawn into another's at (0, 0), as PaintPicture does.
void paintPicture(forms::PictureBox& dest, forms::PictureBox& src) {
    platform::Bitmap& d = dest.image();
    const platform::Bitmap& s = src.image();
    for (int y = 0; y < std::min(d.height(), s.height()); ++y)
        for (int x = 0; x < std::min(d.width(), s.width()); ++x) d.setPixel(x, y, s.pixel(x, y));
    dest.Refresh();
}

std::int32_t clng(double v) { return vb::CLng(v); }

}  // namespace

FrmCustomWindow::FrmCustomWindow() : forms::Form("frmCustom", "Maske erstellen") {
    layout();

    // Design values.
    for (forms::PictureBox* box : std::initializer_list<forms::PictureBox*>{&picBox, &ps, &po, &pd, &picBrush, &Transparent}) {
        box->setBackColor(kWhite);
        box->setScaleMode(3);
        box->Cls();
    }
    for (forms::PictureBox* box : {&Picture2, &Picture3, &Picture5, &Picture6, &Picture7}) box->setScaleMode(3);
    Picture7.setBackColor(0);
    // The text brush's ink: the recolour step replaces black.
    ps.setForeColor(0);
    ps.setPicture(builtInBrush(0));
    Transparent.ToolTipText = "RGB(255,255,255)";
    for (int i = 0; i < kBrushShapes; ++i) {
        picture4_[i] = std::make_unique<forms::PictureBox>(this, "Picture4(" + std::to_string(i) + ")");
        forms::PictureBox& shape = *picture4_[i];
        shape.setVisible(false);
        shape.setScaleMode(3);
        shape.Move(0, 0, 3060, 3060);
        shape.setBackColor(kWhite);
        shape.setPicture(builtInBrush(i));
    }
    for (forms::Control* hidden : std::initializer_list<forms::Control*>{&ps, &po, &picBrush, &Picture2, &Picture3, &Picture5,
                                                                        &Picture6, &Picture7, &Command6, &Label17})
        hidden->setVisible(false);

    Label1.setCaption("Aktueller Pinsel");
    Label8.setCaption("Oder rechte Maustaste");
    Label16.setCaption("Weiß = Transparent / Durscheinend");
    Label17.setCaption("Wird gespeichert...");
    Label9.setCaption("R");
    Label10.setCaption("G");
    Label11.setCaption("B");
    Label12.setCaption("Drehen");
    Label13.setCaption("Breite");
    Label14.setCaption("Höhe");
    Label15.setCaption("Größe");
    Label2.setCaption("0");
    Label3.setCaption("0");
    Label4.setCaption("0");
    Label5.setCaption("25");
    Label7.setCaption("32");
    for (forms::ScrollBar* bar : {&HScroll1, &HScroll2, &HScroll3}) bar->LargeChange = 15;
    HScroll4.LargeChange = 5;
    HScroll5.LargeChange = 1;
    HScroll6.LargeChange = 8;
    for (forms::ScrollBar* bar : {&HScroll7, &HScroll8, &HScroll9, &tr, &tg, &tb}) bar->LargeChange = 16;

    // Handlers.
    picBox.onMouseDown = [this](int button, int shift, double x, double y) { picBox_MouseDown(button, shift, x, y); };
    picBox.onMouseMove = [this](int button, int shift, double x, double y) { picBox_MouseMove(button, shift, x, y); };
    Command1.onClick = [this] { Command1_Click(); };
    ClearPic.onClick = [this] { ClearPic_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    tr.onChange = [this] { tr_Change(); };
    tg.onChange = [this] { tg_Change(); };
    tb.onChange = [this] { tb_Change(); };
    tr.onScroll = [this] { tr_Scroll(); };
    tg.onScroll = [this] { tg_Scroll(); };
    tb.onScroll = [this] { tb_Scroll(); };
    Combo1.onClick = [this] { Combo1_Click(); };

    HScroll5.onChange = [this] { HScroll5_Change(); };
    HScroll5.onScroll = [this] { HScroll5_Scroll(); };
    Command8.onClick = [this] { Command8_Click(); };
    Command7.onClick = [this] { Command7_Click(); };
    Command4.onClick = [this] { Command4_Click(); };
    Command5.onClick = [this] { Command5_Click(); };
    HScroll6.onChange = [this] { HScroll6_Change(); };
    HScroll7.onChange = [this] { HScroll7_Change(); };
    HScroll7.onScroll = [this] { HScroll7_Scroll(); };
    HScroll8.onChange = [this] { HScroll8_Change(); };
    HScroll8.onScroll = [this] { HScroll8_Scroll(); };
    HScroll9.onChange = [this] { HScroll9_Change(); };
    HScroll9.onScroll = [this] { HScroll9_Scroll(); };
    Command6.onClick = [this] { Command6_Click(); };
    HScroll1.onChange = [this] { HScroll1_Change(); };
    HScroll2.onChange = [this] { HScroll2_Change(); };
    HScroll3.onChange = [this] { HScroll3_Change(); };
    HScroll4.onChange = [this] { HScroll4_Change(); };
    HScroll1.onScroll = [this] { HScroll1_Scroll(); };
    HScroll2.onScroll = [this] { HScroll2_Scroll(); };
    HScroll3.onScroll = [this] { HScroll3_Scroll(); };
    HScroll4.onScroll = [this] { HScroll4_Scroll(); };

    Command2.onClick = [this] { Command2_Click(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
    Command9.onClick = [this] { Command9_Click(); };
}

void FrmCustomWindow::layout() {
    setBorderStyle(1);
    Move(600, 600, 16200, 9840);

    Frame5.Move(120, 120, 8550, 6420);
    picBox.Move(120, 240, 8310, 6060);
    Command1.Move(120, 6660, 1800, 375);
    Label8.Move(2040, 6720, 2400, 255);
    ClearPic.Move(120, 7140, 3600, 375);
    Command3.Move(3840, 7140, 1800, 375);
    Label16.Move(120, 7620, 4200, 255);
    Command2.Move(120, 8040, 2700, 495);
    Command9.Move(2940, 8040, 3600, 495);
    Label17.Move(120, 8700, 3000, 255);

    Frame3.Move(5760, 6600, 2910, 1380);
    Transparent.Move(120, 240, 615, 975);
    tr.Move(840, 240, 1950, 255);
    tg.Move(840, 570, 1950, 255);
    tb.Move(840, 900, 1950, 255);

    Frame1.Move(8820, 120, 7140, 9120);
    Label1.Move(120, 240, 2400, 255);
    pd.Move(120, 480, 4860, 3840);
    HScroll5.Move(5100, 480, 1860, 255);
    Command8.Move(5100, 840, 495, 375);
    Command7.Move(5100, 1320, 1860, 615);
    Label9.Move(5100, 2100, 200, 255);
    HScroll7.Move(5340, 2100, 1620, 255);
    Label10.Move(5100, 2460, 200, 255);
    HScroll8.Move(5340, 2460, 1620, 255);
    Label11.Move(5100, 2820, 200, 255);
    HScroll9.Move(5340, 2820, 1620, 255);
    Text1.Move(120, 4440, 2900, 315);
    Combo1.Move(3120, 4440, 2400, 315);
    HScroll6.Move(120, 4860, 2900, 255);
    Label7.Move(3120, 4860, 600, 255);
    Command4.Move(120, 5220, 2000, 375);
    Command5.Move(2220, 5220, 2000, 375);
    Label12.Move(120, 5760, 900, 255);
    HScroll1.Move(1080, 5760, 4400, 255);
    Label2.Move(5580, 5760, 600, 255);
    Label13.Move(120, 6120, 900, 255);
    HScroll2.Move(1080, 6120, 4400, 255);
    Label3.Move(5580, 6120, 600, 255);
    Label14.Move(120, 6480, 900, 255);
    HScroll3.Move(1080, 6480, 4400, 255);
    Label4.Move(5580, 6480, 600, 255);
    Label15.Move(120, 6840, 900, 255);
    HScroll4.Move(1080, 6840, 4400, 255);
    Label5.Move(5580, 6840, 600, 255);

    ps.Move(0, 0, 3060, 3060);
    po.Move(0, 0, 4860, 3840);
    picBrush.Move(0, 0, 4335, 5295);
    Picture2.Move(0, 0, 615, 615);
    Picture3.Move(0, 0, 615, 615);
    Picture5.Move(0, 0, 615, 615);
    Picture6.Move(0, 0, 615, 615);
    Picture7.Move(0, 0, 615, 615);
    Command6.Move(0, 0, 615, 375);
}

forms::PictureBox& FrmCustomWindow::Picture4(int index) {
    if (index < 0 || index >= kBrushShapes || !picture4_[index])
        platform::raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
    return *picture4_[index];
}

// ---- Load and unload ----

void FrmCustomWindow::Form_Load() {
    DoRedraw();

    GdipStarted = false;
    if (CheckGdipStatus(InitGDIPlus(1)) != gdiplus::Ok)
        platform::dialogs().msgBox("GDI+ not inizialized.", platform::MB_OK, "GDI Error");
    else
        GdipStarted = true;

    for (const std::string& font : screenFonts()) Combo1.AddItem(font);
    // Entry 20 (the 21st font); a system with fewer fonts gets its last one.
    if (Combo1.ListCount() > 20)
        Combo1.setListIndex(20);
    else if (Combo1.ListCount() > 0)
        Combo1.setListIndex(Combo1.ListCount() - 1);

    Picture4(5).setPicture(Picture5.Picture());
    ps.setFontSize(HScroll6.Value());
    Label7.setCaption(vb::CStr(HScroll6.Value()));
}

void FrmCustomWindow::Form_Unload(int& /*cancel*/) {
    if (GdipStarted && !saving_) {
        ShutdownGDIPlus();
        GdipStarted = false;
    }
}

// ---- Canvas ----

void FrmCustomWindow::stamp(double x, double y) {
    const std::int32_t w = clng(picBrush.ScaleWidth()), h = clng(picBrush.ScaleHeight());
    platform::gdi::TransparentBlt(picBox.image(), clng(x - kStampOffsetX), clng(y - kStampOffsetY), w, h, picBrush.image(),
                                  0, 0, w, h, forms::resolveColor(Transparent.BackColor()));
    picBox.Refresh();
}

void FrmCustomWindow::picBox_MouseDown(int button, int /*shift*/, double x, double y) {
    if (button == kLeftButton) {
        // One press-and-drag stroke is one undo step.
        Picture2.setPicture(picBox.image());
        stamp(x, y);
    } else if (button == kRightButton) {
        Command1_Click();
    }
}

void FrmCustomWindow::picBox_MouseMove(int button, int /*shift*/, double x, double y) {
    if (button == kLeftButton) stamp(x, y);
}

void FrmCustomWindow::Command1_Click() { picBox.setPicture(Picture2.Picture()); }

void FrmCustomWindow::ClearPic_Click() {
    picBox.Cls();
    picBox.setPicture(Picture3.Picture());
}

void FrmCustomWindow::Command3_Click() {
    platform::Bitmap& bitmap = picBox.image();
    platform::gdi::BITMAP info;
    platform::gdi::GetObject(bitmap, static_cast<int>(sizeof info), &info);
    const long rowSize = (3L * info.bmWidth + 3) / 4 * 4;
    // Three times a 24-bit copy: room for the bitmap at any depth up to 32 bits.
    const long size = 3L * info.bmHeight * rowSize;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
    platform::gdi::GetBitmapBits(bitmap, size, buffer.data());
    for (std::uint8_t& b : buffer) b = static_cast<std::uint8_t>(255 - b);
    platform::gdi::SetBitmapBits(bitmap, size, buffer.data());
    picBox.Refresh();
}

void FrmCustomWindow::keyChanged() {
    Transparent.ToolTipText = "RGB(" + vb::CStr(tr.Value()) + "," + vb::CStr(tg.Value()) + "," + vb::CStr(tb.Value()) + ")";
    Transparent.setBackColor(forms::RGB(tr.Value(), tg.Value(), tb.Value()));
    // A new background colour erases the box's image, so the key shows at once.
    Transparent.Cls();
}

void FrmCustomWindow::tr_Change() { keyChanged(); }
void FrmCustomWindow::tg_Change() { keyChanged(); }
void FrmCustomWindow::tb_Change() { keyChanged(); }
void FrmCustomWindow::tr_Scroll() { keyChanged(); }
void FrmCustomWindow::tg_Scroll() { keyChanged(); }
void FrmCustomWindow::tb_Scroll() { keyChanged(); }

void FrmCustomWindow::Combo1_Click() {
    forms::Font font = ps.font();
    font.name = Combo1.Text();
    ps.setFont(font);
}

// ---- Brush ----

void FrmCustomWindow::DoRedraw() {
    const double sw = ps.ScaleWidth(), sh = ps.ScaleHeight();
    corners[0] = {clng(-sw / 2), clng(-sh / 2)};
    corners[1] = {clng(sw / 2), clng(-sh / 2)};
    corners[2] = {clng(-sw / 2), clng(sh / 2)};

    const double t = std::tan(HScroll4.Value() * kRadiansPerDegree);
    const double s = std::sin((HScroll1.Value() + 90) * kRadiansPerDegree);
    const double c = std::cos((HScroll1.Value() + 90) * kRadiansPerDegree);
    const double fx = std::sin((HScroll2.Value() + 90) * kRadiansPerDegree) * t;
    const double fy = std::sin((HScroll3.Value() + 90) * kRadiansPerDegree) * t;
    const double pdw = pd.ScaleWidth(), pdh = pd.ScaleHeight();
    for (platform::Point& p : corners) {
        const std::int16_t nx = vb::CInt((p.x * s + p.y * c) * fx);
        const std::int16_t ny = vb::CInt((p.y * s - p.x * c) * fy);
        p = {clng(pdw / 2 + nx), clng(pdh / 2 + ny)};
    }

    po.Cls();
    platform::gdi::PlgBlt(po.image(), corners.data(), ps.image(), 0, 0, clng(sw), clng(sh));
    pd.setPicture(po.image());
    picBrush.setPicture(po.image());
}

void FrmCustomWindow::HScroll5_Change() {
    try {
        ps.setPicture(Picture4(HScroll5.Value()).Picture());
        DoRedraw();
        Picture7.setBackColor(0);
        Command6.setValue(true);
    } catch (const platform::VbError& e) {
        platform::Err() = {e.number(), e.description(), e.source()};
        ps.setPicture(Picture4(5).Picture());
        DoRedraw();
    }
}

void FrmCustomWindow::HScroll5_Scroll() { HScroll5_Change(); }

void FrmCustomWindow::Command8_Click() {
    ps.setPicture(Picture4(5).Picture());
    DoRedraw();
}

void FrmCustomWindow::Command7_Click() {
    tryStmt([&] { CommonDialog1.ShowOpen(); });
    tryStmt([&] { ps.setPicture(LoadPicture(CommonDialog1.FileName)); });
    tryStmt([&] { DoRedraw(); });
    tryStmt([&] { Picture7.setBackColor(0); });
    tryStmt([&] { Command6.setValue(true); });
}

void FrmCustomWindow::Command4_Click() {
    ps.Cls();
    DoRedraw();
    Picture7.setBackColor(0);
    // Cls put the print position at the top-left.
    printText(ps.image(), 0, 0, Text1.Text(), ps.font(), forms::resolveColor(ps.ForeColor()));
    DoRedraw();
    Command6.setValue(true);
}

void FrmCustomWindow::Command5_Click() {
    ps.Cls();
    DoRedraw();
    Picture7.setBackColor(0);
}

void FrmCustomWindow::HScroll6_Change() {
    ps.setFontSize(HScroll6.Value());
    Label7.setCaption(vb::CStr(HScroll6.Value()));
}

void FrmCustomWindow::recolourPressed() { Command6.setValue(true); }

void FrmCustomWindow::HScroll7_Change() { recolourPressed(); }
void FrmCustomWindow::HScroll7_Scroll() { recolourPressed(); }
void FrmCustomWindow::HScroll8_Change() { recolourPressed(); }
void FrmCustomWindow::HScroll8_Scroll() { recolourPressed(); }
void FrmCustomWindow::HScroll9_Change() { recolourPressed(); }
void FrmCustomWindow::HScroll9_Scroll() { recolourPressed(); }

void FrmCustomWindow::Command6_Click() {
    const std::uint32_t oldColour = forms::resolveColor(Picture7.BackColor());
    const std::uint32_t newColour = forms::RGB(HScroll7.Value(), HScroll8.Value(), HScroll9.Value());

    Picture6.setVisible(false);
    Picture6.setScaleMode(3);
    Picture6.Move(0, 0, ps.Width(), ps.Height());
    Picture6.AutoRedraw = true;
    paintPicture(Picture6, ps);

    ps.setScaleMode(3);
    ps.AutoRedraw = true;
    const std::int32_t w = clng(ps.ScaleWidth()), h = clng(ps.ScaleHeight());
    ps.LineBF(0, 0, w, h, newColour);
    // Everything but the old colour comes back; the old colour's pixels keep the new one.
    platform::gdi::TransparentBlt(ps.image(), 0, 0, w, h, Picture6.image(), 0, 0, w, h, oldColour);

    Picture7.setBackColor(forms::RGB(HScroll7.Value(), HScroll8.Value(), HScroll9.Value()));
    DoRedraw();
}

void FrmCustomWindow::transformChanged(forms::ScrollBar& bar, forms::Label& label) {
    DoRedraw();
    label.setCaption(vb::CStr(bar.Value()));
}

void FrmCustomWindow::HScroll1_Change() { transformChanged(HScroll1, Label2); }
void FrmCustomWindow::HScroll2_Change() { transformChanged(HScroll2, Label3); }
void FrmCustomWindow::HScroll3_Change() { transformChanged(HScroll3, Label4); }
void FrmCustomWindow::HScroll4_Change() { transformChanged(HScroll4, Label5); }
void FrmCustomWindow::HScroll1_Scroll() { DoRedraw(); }
void FrmCustomWindow::HScroll2_Scroll() { DoRedraw(); }
void FrmCustomWindow::HScroll3_Scroll() { DoRedraw(); }
void FrmCustomWindow::HScroll4_Scroll() { DoRedraw(); }

// ---- Export ----

void FrmCustomWindow::Command2_Click() {
    // The window may be closed inside the wait below: the save still finishes, and the graphics
    // library is shut down after it.
    struct Saving {
        FrmCustomWindow& w;
        bool outer;
        explicit Saving(FrmCustomWindow& f) : w(f), outer(!f.saving_) { w.saving_ = true; }
        ~Saving() {
            if (!outer) return;
            w.saving_ = false;
            if (!w.isLoaded() && w.GdipStarted) {
                w.ShutdownGDIPlus();
                w.GdipStarted = false;
            }
        }
    } saving(*this);
    Label17.setVisible(true);
    Label17.setForeColor(kRed);
    Label17.setCaption("Wird gespeichert...");
    WartenMs(1, -1, 1);
    // A program folder that cannot even be made leaves no name to write to: the save reports it.
    std::string file;
    tryStmt([&] { file = platform::appPath() + "\\maske.swf"; });
    SaveAsGif(picBox.image(), file, true, forms::RGB(255, 255, 255));
    Label17.setForeColor(kGreen);
    Label17.setCaption("Maske gespeichert!");
    Timer1.setEnabled(true);
}

void FrmCustomWindow::Timer1_Timer() {
    Label17.setVisible(false);
    Timer1.setEnabled(false);
}

void FrmCustomWindow::Command9_Click() {
    // Without a program folder there is no mask to show: the statement is skipped, as the load
    // of a missing file would leave the layer empty anyway.
    tryStmt([&] { Form1->ShockwaveFlash1.LoadMovie(9999, platform::appPath() + "/maske.swf"); });
}

std::int32_t FrmCustomWindow::InitGDIPlus(std::int32_t version) {
    gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = static_cast<std::uint32_t>(version);
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = 0;
    input.SuppressExternalCodecs = 0;
    return gdiplus::GdiplusStartup(&gdipToken_, &input, nullptr);
}

void FrmCustomWindow::ShutdownGDIPlus() { gdiplus::GdiplusShutdown(gdipToken_); }

std::int32_t FrmCustomWindow::CheckGdipStatus(std::int32_t status) {
    if (status != gdiplus::Ok)
        platform::dialogs().msgBox(GdipStatusText(status) + " GDI+ Error:" + vb::CStr(status), platform::MB_OK, "GDI Error");
    return status;
}

std::string FrmCustomWindow::GdipStatusText(std::int32_t status) {
    switch (status) {
    case 1: return "Generic Error.";
    case 2: return "Invalid Parameter.";
    case 3: return "Out Of Memory.";
    case 4: return "Object Busy.";
    case 5: return "Insufficient Buffer.";
    case 6: return "Not Implemented.";
    case 7: return "Win32 Error.";
    case 8: return "Wrong State.";
    case 9: return "Aborted.";
    case 10: return "File Not Found.";
    case 11: return "Value Overflow.";
    case 12: return "Access Denied.";
    case 13: return "Unknown Image Format.";
    case 14: return "FontFamily Not Found.";
    case 15: return "FontStyle Not Found.";
    case 16: return "Not TrueType Font.";
    case 17: return "Unsupported Gdiplus Version.";
    case 18: return "Gdiplus Not Initialized.";
    case 19: return "Property Not Found.";
    case 20: return "Property Not Supported.";
    default: return "Unknown GDI+ Error.";
    }
}

bool FrmCustomWindow::GetEncoderClsid(const std::string& mime, std::array<std::uint8_t, 16>& clsid) {
    std::uint32_t count = 0, size = 0;
    CheckGdipStatus(gdiplus::GdipGetImageEncodersSize(&count, &size));
    if (size == 0) return false;
    // Word storage keeps the records aligned.
    std::vector<std::uint64_t> storage((size + 7) / 8);
    CheckGdipStatus(gdiplus::GdipGetImageEncoders(count, size, storage.data()));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(storage.data());
    for (std::uint32_t i = 0; i < count && (i + 1) * sizeof(gdiplus::ImageCodecInfo) <= size; ++i) {
        gdiplus::ImageCodecInfo info{};
        std::memcpy(&info, bytes + i * sizeof info, sizeof info);
        if (!info.MimeType) continue;
        std::u16string type(static_cast<std::size_t>(platform::gdi::lstrlenW(info.MimeType)) + 1, u'\0');
        platform::gdi::lstrcpyW(type.data(), info.MimeType);
        type.pop_back();
        if (sameIgnoringCase(type, mime)) {
            clsid = info.Clsid.bytes;
            return true;
        }
    }
    return false;
}

std::int32_t FrmCustomWindow::SaveAsGif(const platform::Bitmap& picture, const std::string& fileName, bool transparent,
                                        std::uint32_t key) {
    using namespace gdiplus;
    std::int32_t result = Aborted;
    GpImage source = 0, clone = 0, indexed = 0;
    // Step by step as the library wants it; every image made is given back at the end.
    auto dispose = [&] {
        if (indexed) CheckGdipStatus(GdipDisposeImage(indexed));
        if (clone) CheckGdipStatus(GdipDisposeImage(clone));
        if (source) CheckGdipStatus(GdipDisposeImage(source));
        return result;
    };

    if (CheckGdipStatus(GdipCreateBitmapFromHBITMAP(&picture, nullptr, &source)) != Ok) return result;
    float width = 0, height = 0;
    if (CheckGdipStatus(GdipGetImageDimension(source, &width, &height)) != Ok) return dispose();
    if (CheckGdipStatus(GdipCloneBitmapArea(0, 0, width, height, PixelFormat24bppRGB, source, &clone)) != Ok)
        return dispose();

    const std::int32_t w = clng(width), h = clng(height);
    const std::int32_t stride24 = (3 * w + 3) / 4 * 4;
    const std::int32_t padding = stride24 - 3 * w;
    std::vector<std::uint8_t> bits24(static_cast<std::size_t>(stride24) * h, 0);
    const GpRect rect{0, 0, w, h};
    BitmapData locked24;
    locked24.Width = static_cast<std::uint32_t>(w);
    locked24.Height = static_cast<std::uint32_t>(h);
    locked24.Stride = stride24;
    locked24.PixelFormat = PixelFormat24bppRGB;
    locked24.Scan0 = bits24.data();
    // Without the canvas's pixels there is nothing sound to quantise: the export ends here.
    if (CheckGdipStatus(GdipBitmapLockBits(clone, &rect, ImageLockModeRead | ImageLockModeUserInputBuf,
                                           PixelFormat24bppRGB, &locked24)) != Ok)
        return dispose();
    // The key colour keeps an entry of its own, however many shades lie close to it (a photo
    // as the brush), so that every pixel of it can become transparent.
    const std::int32_t keptBgr = static_cast<std::int32_t>(((key & 0xFF) << 16) | (key & 0xFF00) | ((key >> 16) & 0xFF));
    modOcTree::CreateOctreePalette(stride24, h, padding, bits24, 256, 8, transparent ? keptBgr : -1);
    CheckGdipStatus(GdipBitmapUnlockBits(clone, &locked24));

    const std::int32_t stride8 = (w + 3) / 4 * 4;
    std::vector<std::uint8_t> bits8(static_cast<std::size_t>(stride8) * h, 0);
    for (std::int32_t k = h - 1; k >= 0; --k) {
        for (std::int32_t x = w - 1; x >= 0; --x) {
            const std::size_t at = static_cast<std::size_t>(k) * stride24 + 3 * static_cast<std::size_t>(x);
            bits8[static_cast<std::size_t>(k) * stride8 + x] =
                static_cast<std::uint8_t>(modOcTree::GetPaletteIndex(bits24[at], bits24[at + 1], bits24[at + 2]));
        }
    }

    const std::int32_t last = modOcTree::GetPaletteUBound();
    ColorPalette palette;
    // Entries no pixel uses are opaque, so that none of them is taken for the transparent one.
    palette.Entries.fill(0xFF000000u);
    for (std::int32_t i = 0; i <= last; ++i) {
        std::uint8_t b = 0, g = 0, r = 0;
        modOcTree::GetPaletteColor(i, b, g, r);
        palette.Entries[i] = 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
    }
    palette.Count = 256;
    palette.Flags = transparent ? PaletteFlagsHasAlpha : 0;

    if (CheckGdipStatus(GdipCreateBitmapFromScan0(w, h, 0, PixelFormat8bppIndexed, nullptr, &indexed)) != Ok) {
        indexed = 0;
        return dispose();
    }
    if (CheckGdipStatus(GdipSetImagePalette(indexed, &palette)) == Ok) {
        BitmapData locked8;
        locked8.Width = static_cast<std::uint32_t>(w);
        locked8.Height = static_cast<std::uint32_t>(h);
        locked8.Stride = stride8;
        locked8.PixelFormat = PixelFormat8bppIndexed;
        locked8.Scan0 = bits8.data();
        if (CheckGdipStatus(GdipBitmapLockBits(indexed, &rect, ImageLockModeWrite | ImageLockModeUserInputBuf,
                                               PixelFormat8bppIndexed, &locked8)) == Ok)
            CheckGdipStatus(GdipBitmapUnlockBits(indexed, &locked8));
    }

    if (transparent) {
        for (std::int32_t i = 0; i <= last; ++i) {
            const std::uint32_t e = palette.Entries[i];
            if (forms::RGB((e >> 16) & 0xFF, (e >> 8) & 0xFF, e & 0xFF) == (key & 0xFFFFFF)) {
                palette.Entries[i] = e & 0x00FFFFFF;
                GdipSetImagePalette(indexed, &palette);
                break;
            }
        }
    }

    CLSID encoder{};
    if (GetEncoderClsid("image/gif", encoder.bytes)) {
        const std::u16string wide = utf16Of(fileName);
        result = CheckGdipStatus(GdipSaveImageToFile(indexed, wide.c_str(), &encoder, nullptr));
    } else {
        platform::dialogs().msgBox("Konnte keinen passenden Encoder ermitteln.", platform::MB_OK, "Encoder Error");
    }
    return dispose();
}

}  // namespace korvella
