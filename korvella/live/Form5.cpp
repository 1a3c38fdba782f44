#include "korvella/live/Form5.h"

#include <array>
#include <initializer_list>

#include "forms/conv.h"
#include "forms/errors.h"
#include "korvella/main/Warten.h"
#include "korvella/windows.h"
#include "platform/storage/files.h"
#include "platform/windows/keyboard.h"
#include "platform/storage/settings.h"

namespace korvella {

using forms::tryStmt;

namespace {

constexpr std::uint32_t kBlack = 0x0;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kGreen = 0xFF00;
constexpr std::uint32_t kRed = 0xFF;
constexpr std::uint32_t kDarkRed = 0xC0;
constexpr std::uint32_t kDarkGrey = 0x404040;
constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kSilver = 0xC0C0C0;
constexpr std::uint32_t kLightGrey = 0xE0E0E0;

// A flash lasts this long, for the colour and the white strobe alike.
constexpr double kFlashMs = 35;

}  // namespace

const std::vector<std::string>& Form5Window::hotKeyEntries() {
    static const std::vector<std::string> entries{"Keine Taste", "F1", "F2", "F3", "F4", "F5", "F6",
                                                  "F7",          "F8", "F9", "F10", "F11", "F12"};
    return entries;
}

Form5Window::Form5Window() : forms::Form("Form5", "Beamer Live Steuerung") {
    design();
    wire();
}

void Form5Window::design() {
    setBackColor(kBlack);
    // At the left edge of the screen: the inner area begins one frame width (60 twips) from it.
    Move(0, 1800, 0, 0);
    setClientSize(11760, 11700);

    auto label = [](forms::Label& l, const char* caption, double left, double top, double width, double height) {
        l.setCaption(caption);
        l.Move(left, top, width, height);
        l.setBackColor(kBlack);
        l.setForeColor(kWhite);
    };
    auto button = [](forms::CommandButton& b, std::uint32_t face, double left, double top, double width, double height) {
        b.Move(left, top, width, height);
        b.setBackColor(face);
    };
    auto box = [](forms::Shape& s, double left, double top, double width, double height) {
        s.Move(left, top, width, height);
        s.BorderColor = kWhite;
    };

    // Top bar.
    Label3.Move(120, 240, 255, 375);
    Label3.setBackColor(kGreen);
    Check1.Move(360, 240, 11175, 375);
    Check1.setBackColor(kGreen);
    Line1.BorderColor = kWhite;

    // Strobe column.
    box(Shape1, 120, 780, 2295, 6900);
    label(Label2[0], "Manuel Beamer Strobe", 120, 840, 2295, 255);
    button(Command8, 0xFFFFFF, 360, 1200, 1815, 375);
    button(Command2, 0xFFFF80, 360, 1680, 1815, 375);
    button(Command1, 0xFF0000, 360, 2160, 1815, 375);
    button(Command3, 0xFF00, 360, 2640, 1815, 375);
    button(Command4, 0xFFFF, 360, 3120, 1815, 375);
    button(Command5, 0x80FF, 360, 3600, 1815, 375);
    button(Command6, 0xFF, 360, 4080, 1815, 375);
    button(Command7, 0xFF00FF, 360, 4560, 1815, 375);
    label(Label17, "Dauer Strobe", 240, 5280, 1935, 255);
    Check3.Move(360, 5760, 1815, 255);
    Check3.setBackColor(kBlack);
    Check3.setForeColor(kWhite);
    label(Label8, "+     Speed     -", 360, 6000, 1815, 255);
    button(Command25, kWhite, 240, 6240, 2055, 255);
    Command25.setVisible(false);
    HScroll1.Move(240, 6600, 2055, 255);
    HScroll1.LargeChange = 300;
    Combo5.Move(240, 7200, 2055, 315);

    // Middle column.
    box(Shape2, 2520, 780, 5655, 6900);
    label(Label1, "Effektweiterschaltung bei Kickbass", 3480, 840, 3735, 375);
    Option1.Move(2640, 1200, 1815, 375);
    Option1.setForeColor(kGreen);
    Option1.setBackColor(kDarkGrey);
    label(Label13, "Nur für Master Ebene", 4560, 1320, 1575, 495);
    Option2.Move(6240, 1200, 1815, 375);
    Option2.setForeColor(kRed);
    Option2.setBackColor(kDarkGrey);
    label(Label14, "Effekt Start / Stop bei Kickbass nur für Effekte ohne Stops", 2640, 1800, 5415, 255);
    Option3.Move(2640, 2160, 1815, 375);
    Option3.setForeColor(kGreen);
    Option3.setBackColor(kBlack);
    Option4.Move(6240, 2160, 1815, 375);
    Option4.setForeColor(kDarkRed);
    Option4.setBackColor(kBlack);
    button(Command9, kWhite, 2640, 2760, 5415, 495);
    Label6.Move(2520, 3360, 255, 375);
    Label6.setBackColor(kGrey);
    Check2.Move(2760, 3360, 5295, 375);
    Check2.setBackColor(kGrey);
    Dir1.Move(2520, 3960, 5655, 1440);
    Dir1.setBackColor(kSilver);
    File1.Move(2520, 5520, 5655, 1785);
    File1.setBackColor(kSilver);
    File1.setPattern("*.swf*");
    label(Label4, "Effekt mit Doppelklick laden", 3360, 7320, 3975, 255);

    // Zoom and dimmer.
    box(Shape3, 8160, 780, 1695, 6900);
    label(Label2[1], "Manuel Zooming", 8280, 840, 1695, 255);
    label(Label5[0], "+", 8160, 1200, 615, 255);
    label(Label5[1], "-", 8160, 6960, 615, 255);
    VScroll1.Move(8880, 1200, 495, 6015);
    VScroll1.LargeChange = 40;
    Text1.Move(8760, 7320, 735, 375);
    box(Shape4, 9960, 780, 1695, 6900);
    label(Label2[2], "Manuel Dimmer", 9960, 840, 1695, 255);
    label(Label5[2], "+", 9960, 1200, 615, 255);
    label(Label5[3], "-", 9960, 6840, 615, 255);
    // The signs stand at the frames' edges: drawn without a background, centred and bold, they
    // leave the frame lines whole and the "-" is readable.
    for (forms::Label& sign : Label5) {
        sign.BackStyle = 0;
        sign.Alignment = 2;
        sign.setFontBold(true);
        sign.setFontSize(10);
    }
    VScroll2.Move(10560, 1200, 495, 6015);
    VScroll2.LargeChange = 8;
    Text10.Move(10440, 7320, 735, 375);
    for (forms::TextBox* mirror : {&Text1, &Text10}) {
        mirror->setForeColor(kWhite);
        mirror->setBackColor(kBlack);
        mirror->Alignment = 2;
    }
    Text1.setText("100");
    Text10.setText("0");

    // Quick load.
    box(Shape5, 120, 7740, 8775, 3075);
    label(Label10, "Quick Load", 120, 7800, 10455, 255);
    label(Label7,
          "Hier können einzelne Effekte zwischengespeichert werden, die dann über Button oder Tasterturdruck wieder "
          "abgerufen werden können. Einfach den gewünschten Effekt makieren und dann kann er zwischengespeichert werden.",
          240, 8280, 8535, 495);
    const double slotLeft[] = {240, 2400, 4560, 6720};
    forms::CommandButton* ablegen[] = {&Command10, &Command11, &Command12, &Command13};
    forms::TextBox* paths[] = {&Text2, &Text3, &Text4, &Text5};
    forms::ComboBox* keys[] = {&Combo1, &Combo2, &Combo3, &Combo4};
    forms::CommandButton* laden[] = {&Command14, &Command15, &Command16, &Command17};
    forms::CommandButton* leeren[] = {&Command19, &Command21, &Command23, &Command20};
    for (int k = 0; k < 4; ++k) {
        button(*ablegen[k], kGreen, slotLeft[k], 8880, 2055, 255);
        paths[k]->Move(slotLeft[k], 9240, 2055, 285);
        paths[k]->setBackColor(kSilver);
        keys[k]->Move(slotLeft[k], 9600, 2055, 315);
        button(*laden[k], 0xFFFF00, slotLeft[k], 10080, 1695, 255);
        button(*leeren[k], kRed, slotLeft[k] + 1800, 10080, 255, 255);
    }
    label(Label11, "Master Ebene", 240, 10440, 1575, 255);
    Text6.Move(1920, 10440, 375, 285);
    Text6.setBackColor(kLightGrey);
    Text6.setText("0");
    Text6.setEnabled(false);
    Text6.Locked = true;
    const double layerLeft[] = {4080, 6240, 8400};
    forms::TextBox* layers[] = {&Text7, &Text8, &Text9};
    for (int i = 0; i < 3; ++i) {
        label(Label12[i], "Ebene:", layerLeft[i] - 1080, 10440, 1095, 255);
        layers[i]->Move(layerLeft[i], 10440, 375, 285);
        layers[i]->MaxLength = 2;
        layers[i]->setText("0");
    }

    // Right box.
    box(Shape6, 8940, 8220, 2700, 2595);
    label(Label9, "Alle Effekte entladen", 9000, 8280, 2535, 375);
    Combo6.Move(9000, 8760, 2535, 315);
    button(Command24, kRed, 9000, 9240, 2535, 255);
    label(Label15, "Beamer an", 9000, 9600, 2655, 375);
    Combo7.Move(9000, 9840, 2175, 315);
    button(Command26, kGreen, 11280, 9840, 255, 255);
    label(Label16, "Beamer aus", 9000, 10200, 2535, 255);
    Combo8.Move(9000, 10440, 2175, 315);
    button(Command27, kRed, 11280, 10440, 255, 255);

    // Bottom.
    button(Command18, 0x80FFFF, 120, 10920, 11535, 375);
    button(Command28, kWhite, 10440, 11400, 1095, 255);
}

void Form5Window::wire() {
    Command28.onClick = [this] { Command28_Click(); };
    Command18.onClick = [this] { Command18_Click(); };

    Command10.onClick = [this] { Command10_Click(); };
    Command11.onClick = [this] { Command11_Click(); };
    Command12.onClick = [this] { Command12_Click(); };
    Command13.onClick = [this] { Command13_Click(); };
    Command14.onClick = [this] { Command14_Click(); };
    Command15.onClick = [this] { Command15_Click(); };
    Command16.onClick = [this] { Command16_Click(); };
    Command17.onClick = [this] { Command17_Click(); };
    Command19.onClick = [this] { Command19_Click(); };
    Command21.onClick = [this] { Command21_Click(); };
    Command23.onClick = [this] { Command23_Click(); };
    Command20.onClick = [this] { Command20_Click(); };
    Command24.onClick = [this] { Command24_Click(); };
    Dir1.onChange = [this] { Dir1_Change(); };
    File1.onDblClick = [this] { File1_DblClick(); };
    Command9.onClick = [this] { Command9_Click(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };

    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    Command4.onClick = [this] { Command4_Click(); };
    Command5.onClick = [this] { Command5_Click(); };
    Command6.onClick = [this] { Command6_Click(); };
    Command7.onClick = [this] { Command7_Click(); };
    Command8.onClick = [this] { Command8_Click(); };
    Command25.onClick = [this] { Command25_Click(); };
    Timer3.onTimer = [this] { Timer3_Timer(); };
    HScroll1.onChange = [this] { HScroll1_Change(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
    Text1.onChange = [this] { Text1_Change(); };
    Text10.onChange = [this] { Text10_Change(); };

    Timer4.onTimer = [this] { Timer4_Timer(); };
    Timer5.onTimer = [this] { Timer5_Timer(); };
    Timer6.onTimer = [this] { Timer6_Timer(); };
    Timer7.onTimer = [this] { Timer7_Timer(); };
    Timer8.onTimer = [this] { Timer8_Timer(); };
    Timer9.onTimer = [this] { Timer9_Timer(); };
    Timer10.onTimer = [this] { Timer10_Timer(); };
    Timer11.onTimer = [this] { Timer11_Timer(); };
    Command26.onClick = [this] { Command26_Click(); };
    Command27.onClick = [this] { Command27_Click(); };
}

// ---- Window and saved settings ----

std::vector<Form5Window::SavedControl> Form5Window::savedControls() {
    return {
        {"Save1", &Combo1, nullptr},  {"Save2", &Combo2, nullptr},  {"Save3", &Combo3, nullptr},
        {"Save4", &Combo4, nullptr},  {"Save5", &Combo5, nullptr},  {"Save6", &Combo6, nullptr},
        {"Save7", nullptr, &Text2},   {"Save8", nullptr, &Text3},   {"Save9", nullptr, &Text4},
        {"Save10", nullptr, &Text5},  {"Save11", nullptr, &Text7},  {"Save12", nullptr, &Text8},
        {"Save13", nullptr, &Text9},  {"Save14", &Combo7, nullptr}, {"Save15", &Combo8, nullptr},
    };
}

void Form5Window::Form_Load() {
    setTop(40);

    // Both lists start in the effects folder. The editor makes it at start-up; should it be
    // missing still, it is made here, and a folder that cannot be made or set leaves the lists
    // empty rather than keeping the desk from opening.
    std::string effekts;
    tryStmt([&] { effekts = platform::appPath() + "\\Effekts"; });
    if (!effekts.empty() && !platform::dirExists(effekts)) tryStmt([&] { platform::mkDir(effekts); });
    tryStmt([&] { File1.setPath(effekts); });
    tryStmt([&] { Dir1.setPath(effekts); });

    Geometry.assign(Controls().size(), ControlGeometry{});
    tryStmt([&] { Geometry = recordControlGeometry(*this); });

    for (forms::ComboBox* box : {&Combo1, &Combo2, &Combo3, &Combo4, &Combo5, &Combo6, &Combo7, &Combo8})
        for (const std::string& entry : hotKeyEntries()) tryStmt([&] { box->AddItem(entry); });

    // A value that is missing or that its box does not offer leaves the control at its design value.
    for (const SavedControl& s : savedControls()) {
        tryStmt([&] {
            const std::string value = platform::RegRead(std::string(kSaveKey) + s.name);
            if (s.combo)
                s.combo->setText(value);
            else
                s.text->setText(value);
        });
    }
}

void Form5Window::Form_Resize() { applyProportionalLayout(*this, Geometry); }

void Form5Window::Command28_Click() { Hide(); }

void Form5Window::Command18_Click() {
    // Nothing is reported: a store that cannot be written saves nothing.
    for (const SavedControl& s : savedControls())
        tryStmt([&] { platform::RegWrite(std::string(kSaveKey) + s.name, s.combo ? s.combo->Text() : s.text->Text()); });
}

// ---- Quick-load slots, effect list, effect advance ----

void Form5Window::storeChosenEffect(forms::TextBox& pathBox) {
    // Relative to the program folder, so the slot survives a move of the whole program; a folder
    // outside it (the folder list goes above it) keeps its whole path.
    const std::string app = platform::appPath(), folder = Dir1.Path();
    const bool inside = folder.compare(0, app.size(), app) == 0 &&
                        (folder.size() == app.size() || folder[app.size()] == '/' || folder[app.size()] == '\\');
    pathBox.setText((inside ? vb::Replace(folder, app, "") : folder) + "\\" + File1.FileName());
    pathBox.setSelStart(vb::Len(pathBox.Text()));
}

void Form5Window::loadSlot(forms::TextBox& pathBox, forms::TextBox& layerBox) {
    std::int32_t layer = 0;
    if (!tryStmt([&] { layer = vb::CLng(layerBox.Text()); })) return;
    // A whole path is loaded as it is, as the playlist loads one.
    const std::string path = pathBox.Text();
    Form1->ShockwaveFlash1.LoadMovie(layer, platform::isAbsolutePath(path) ? path : platform::appPath() + path);
}

void Form5Window::emptySlot(forms::TextBox& layerBox) {
    std::int32_t layer = 0;
    if (!tryStmt([&] { layer = vb::CLng(layerBox.Text()); })) return;
    Form1->ShockwaveFlash1.LoadMovie(layer, "0");
}

void Form5Window::Command10_Click() { storeChosenEffect(Text2); }
void Form5Window::Command11_Click() { storeChosenEffect(Text3); }
void Form5Window::Command12_Click() { storeChosenEffect(Text4); }
void Form5Window::Command13_Click() { storeChosenEffect(Text5); }

void Form5Window::Command14_Click() { loadSlot(Text2, Text6); }
void Form5Window::Command15_Click() { loadSlot(Text3, Text7); }
void Form5Window::Command16_Click() { loadSlot(Text4, Text8); }
void Form5Window::Command17_Click() { loadSlot(Text5, Text9); }

void Form5Window::Command19_Click() { emptySlot(Text6); }
void Form5Window::Command21_Click() { emptySlot(Text7); }
void Form5Window::Command23_Click() { emptySlot(Text8); }
void Form5Window::Command20_Click() { emptySlot(Text9); }

void Form5Window::Command24_Click() {
    emptySlot(Text9);
    emptySlot(Text8);
    emptySlot(Text7);
    emptySlot(Text6);
}

void Form5Window::Dir1_Change() { File1.setPath(Dir1.Path()); }

void Form5Window::File1_DblClick() {
    for (int i = 0; i < File1.ListCount(); ++i)
        if (File1.Selected(i)) Form1->ShockwaveFlash1.LoadMovie(0, Dir1.Path() + "\\" + File1.List(i));
}

void Form5Window::Command9_Click() { Form1->ShockwaveFlash1.Play(); }

void Form5Window::Timer2_Timer() {
    if (Check2.Value() == 1) Form1->ShockwaveFlash1.Play();
}

// ---- Strobes, zoom, dimmer ----

void Form5Window::colourFlash(std::uint32_t colour) {
    // The projector is reached anew after the wait: it may have been closed meanwhile.
    Form1->ShockwaveFlash1.setVisible(false);
    Form1->setBackColor(colour);
    WartenMs(kFlashMs, -1, 1);
    Form1->ShockwaveFlash1.setVisible(true);
    Form1->setBackColor(kBlack);
}

void Form5Window::whiteFlash() {
    Form1->ShockwaveFlash1.setBackgroundColor(static_cast<std::int32_t>(kWhite));
    WartenMs(kFlashMs, -1, 1);
    Form1->ShockwaveFlash1.setBackgroundColor(static_cast<std::int32_t>(kBlack));
}

// The flash colours, which differ from the faces only for cyan.
void Form5Window::Command8_Click() { colourFlash(0xFFFFFF); }
void Form5Window::Command2_Click() { colourFlash(0xFFFF00); }
void Form5Window::Command1_Click() { colourFlash(0xFF0000); }
void Form5Window::Command3_Click() { colourFlash(0xFF00); }
void Form5Window::Command4_Click() { colourFlash(0xFFFF); }
void Form5Window::Command5_Click() { colourFlash(0x80FF); }
void Form5Window::Command6_Click() { colourFlash(0xFF); }
void Form5Window::Command7_Click() { colourFlash(0xFF00FF); }

void Form5Window::Command25_Click() {
    // A held hot key repeats this, so the wait sets the strobe's pace.
    WartenMs(HScroll1.Value(), -1, 1);
    whiteFlash();
}

void Form5Window::Timer3_Timer() {
    if (Check3.Value() == 1) whiteFlash();
}

void Form5Window::HScroll1_Change() { Timer3.setInterval(HScroll1.Value()); }

void Form5Window::Timer1_Timer() {
    // Only a changed text runs its handler, so a bar standing still costs nothing.
    Text1.setText(vb::CStr(VScroll1.Value()));
    Text10.setText(vb::CStr(VScroll2.Value() * 4) + "%");
}

void Form5Window::Text1_Change() {
    // Back to the whole picture first: the player zooms relative to the current view.
    Form1->ShockwaveFlash1.Zoom(9999);
    Form1->ShockwaveFlash1.Zoom(VScroll1.Value());
}

void Form5Window::Text10_Change() {
    Form1->ShockwaveFlash1.LoadMovie(999, platform::appPath() + "/Dimmer/" + vb::CStr(VScroll2.Value()) + ".swf");
}

// ---- Hot keys ----

void Form5Window::pollHotKey(const forms::ComboBox& box, forms::CommandButton& button) {
    // Eight timers ask every millisecond: the key names are made once, and the box's text is read
    // again only after a press, whose Click may change it.
    static const std::array<std::string, 13> keyNames = [] {
        std::array<std::string, 13> names;
        for (int n = 1; n <= 12; ++n) names[static_cast<std::size_t>(n)] = "F" + vb::CStr(n);
        return names;
    }();
    std::string text = box.Text();
    for (int n = 1; n <= 12; ++n) {
        // Whole text, case and all: "F1" must not answer to F10 .. F12.
        if (text == keyNames[static_cast<std::size_t>(n)]) {
            if (platform::keyboard().getAsyncKeyState(111 + n) != 0) {
                button.setValue(true);
                text = box.Text();
            }
        }
    }
}

void Form5Window::Timer4_Timer() { pollHotKey(Combo1, Command14); }
void Form5Window::Timer5_Timer() { pollHotKey(Combo2, Command15); }
void Form5Window::Timer6_Timer() { pollHotKey(Combo3, Command16); }
void Form5Window::Timer7_Timer() { pollHotKey(Combo4, Command17); }
void Form5Window::Timer8_Timer() { pollHotKey(Combo6, Command24); }
void Form5Window::Timer9_Timer() { pollHotKey(Combo5, Command25); }
void Form5Window::Timer10_Timer() { pollHotKey(Combo7, Command26); }
void Form5Window::Timer11_Timer() { pollHotKey(Combo8, Command27); }

// The main window's "Beamer ON" / "Beamer OFF", pressed as if by hand.
void Form5Window::Command26_Click() { frmBeats->Command15.setValue(true); }
void Form5Window::Command27_Click() { frmBeats->Command14.setValue(true); }

}  // namespace korvella
