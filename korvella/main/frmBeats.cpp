#include "korvella/main/frmBeats.h"

#include <algorithm>

#include "forms/application.h"
#include "forms/bmove.h"
#include "forms/conv.h"
#include "forms/errors.h"
#include "korvella/main/Warten.h"
#include "korvella/windows.h"
#include "platform/windows/dialogs.h"
#include "platform/error.h"
#include "platform/graphics/graphics.h"
#include "platform/windows/windows.h"
#include "platform/audio/wave.h"

namespace korvella {

using forms::condOrTrue;
using forms::tryStmt;
using platform::com::Variant;

// Command7
const HelpBox kHelpPegel{"Pegel-Anpassung",
    "Die Pegelanpassung sollte so eingestelt werden, dass die Peak Säulen zwischen der roten und der grünen Linie verlaufen, da die Lautstärke je nach Lied Abschnitt und Lied varriert, sollte diese Einstellung auf Auto gesetzt werden."};
// Command6
const HelpBox kHelpFrequenz{"Erkennungs-Frequenz",
    "Die Frequenz sollte so eingestellt werden, das möglichst dünne und hohe Peak Säulen in gleichen Abständen entstehen bzw zum Takt des Kickbasses ohne das andere falsche Säulen Anstiege entstehen die in den Erkennungsbereich gelangen. Dies kann allerdings je nach Lied varrieren"};
// Command1
const HelpBox kHelpKickbass{"Kickbasslänge",
    "Wenn das Lied einen langen Kickbass hat und die Kickbasserkennung diesen als 2 Kickbässe erkennt muss dieser Regler höher geschoben werden.\r\n\r\nWenn das Lied allerdings sehr schnelle kurze Kickbässe hat und die Kickbass Erkennung zulangsam ist, dann muss dieser Regler niedriger eingestellt werden."};
// Command8
const HelpBox kHelpBereich{"Erkennungs-Bereich",
    "Wenn ein Lied stark varrierende Lautstärken in den Kickbässen hat und Kickbässe nicht erkannt werden, dann muss der Erkennungsbereich vergrößert werden. Hat das Lied allerdings immer gleichlaute Kickbässe, dann kann das Erkennungsfeld verkleinert werden um die Erkennungsgenauigkeit zu verbessern."};
// Command16
const HelpBox kHelpReaktion{"Pegel Anpassung Reaktion",
    "Wenn ein Lied eine stark varrierende Lautstärke der Kickbässe hat, dann kann dieser Regler auf minimum geschoben werden, um eine sofortige Pegelanpassung einzuleiten.\r\nDie Pegel Lautstärke wird erhöht wenn der Kickbass einmal die komplette Grafik durchfahren hat, danach wird der Pegel angepasst, falls die Pegelanpassung auf auto steht."};

namespace {

constexpr std::uint32_t kRed = 0xFF;
constexpr std::uint32_t kGreen = 0xFF00;
constexpr const char* kManualBeatFound = "DMXC ManualBeat window found";

void helpBox(const HelpBox& box) {
    platform::dialogs().msgBox(box.text, platform::MB_OK | platform::MB_ICONINFORMATION, box.title);
}

// The number a flag or counter text stands for, as the program reads it ("" and text that is
// no number read 0).
double number(const std::string& text) { return vb::Val(text); }

}  // namespace

FrmBeatsWindow::FrmBeatsWindow() : forms::Form("frmBeats", "Korvella 0.62 Beta") {
    layout();

    // Design values.
    Picture1.setBackColor(0xC0C0C0);
    Picture1.setScaleMode(3);
    Picture1.Cls();
    Label1.setForeColor(kRed);
    Label1.setFontBold(true);
    Text1.setText("0");
    Text5.setText("Text5");
    Text6.setText("Text6");
    Text7.setText("Text7");
    Text8.setText("230");
    txtFrom.setText("75");
    txtTo.setText("2");
    txtMax.setText("16000");
    Text3.setText("85");
    Text4.setText("122");
    Text9.setText("65");
    Text2.setText("a");
    angeschaltet.setText("0");
    beatschalt.setText("a");
    nobass.setText("a");
    drehen.setText("1");
    zehlen.setText("1");
    Text10.setText("0");
    for (forms::Control* hidden : std::initializer_list<forms::Control*>{&txtTo, &Command11, &Text2, &angeschaltet, &beatschalt,
                                                                        &nobass, &drehen, &zehlen, &Text10, &ohnein})
        hidden->setVisible(false);
    const std::uint32_t optionColours[] = {0xFF0000, 0xFFFF00, 0xFF00, 0xFFFF, 0x80FF, 0xFF, 0xFF00FF, 0xFFFFFF};
    forms::OptionButton* options[] = {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6, &Option7, &Option8};
    for (int i = 0; i < 8; ++i) options[i]->setBackColor(optionColours[i]);
    VScroll1.SmallChange = 1, VScroll1.LargeChange = 5;
    VScroll2.SmallChange = 250, VScroll2.LargeChange = 1000;
    VScroll5.SmallChange = 250, VScroll5.LargeChange = 1000;
    HScroll1.SmallChange = 5, HScroll1.LargeChange = 25;
    VScroll3.SmallChange = 1, VScroll3.LargeChange = 5;
    VScroll4.SmallChange = 1, VScroll4.LargeChange = 10;

    // Handlers.
    Vorix1.onComplete = [this](std::int32_t block, std::int32_t buffer, double dt) { Vorix1_Complete(block, buffer, dt); };
    cmdStart.onClick = [this] { cmdStart_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    Command1.onClick = [this] { Command1_Click(); };
    Command6.onClick = [this] { Command6_Click(); };
    Command7.onClick = [this] { Command7_Click(); };
    Command8.onClick = [this] { Command8_Click(); };
    Command16.onClick = [this] { Command16_Click(); };
    Lighteditor.onClick = [this] { Lighteditor_Click(); };
    Livesteuerng.onClick = [this] { Livesteuerng_Click(); };
    Maskeerstelln.onClick = [this] { Maskeerstelln_Click(); };
    dmxceffektsteuerung.onClick = [this] { dmxceffektsteuerung_Click(); };
    dmxcbeat.onClick = [this] { dmxcbeat_Click(); };

    VScroll1.onChange = [this] { VScroll1_Change(); };
    VScroll1.onScroll = [this] { VScroll1_Scroll(); };
    VScroll2.onChange = [this] { VScroll2_Change(); };
    VScroll2.onScroll = [this] { VScroll2_Scroll(); };
    VScroll3.onChange = [this] { VScroll3_Change(); };
    VScroll4.onChange = [this] { VScroll4_Change(); };
    VScroll5.onChange = [this] { VScroll5_Change(); };
    beat.onChange = [this] { beat_Change(); };
    timerlauter.onTimer = [this] { timerlauter_Timer(); };
    timerleiser.onTimer = [this] { timerleiser_Timer(); };

    Timer1.onTimer = [this] { Timer1_Timer(); };
    HScroll1.onChange = [this] { HScroll1_Change(); };
    Text5.onChange = [this] { Text5_Change(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };
    Timeralf.onTimer = [this] { Timeralf_Timer(); };
    Timer3.onTimer = [this] { Timer3_Timer(); };
    Timer4.onTimer = [this] { Timer4_Timer(); };
    timernichtweiter.onTimer = [this] { timernichtweiter_Timer(); };

    Text1.onChange = [this] { Text1_Change(); };
    timerre.onTimer = [this] { timerre_Timer(); };
    timerre1.onTimer = [this] { timerre1_Timer(); };
    timerre2.onTimer = [this] { timerre2_Timer(); };
    timerre3.onTimer = [this] { timerre3_Timer(); };
    timerrofl.onTimer = [this] { timerrofl_Timer(); };

    Command10.onClick = [this] { Command10_Click(); };
    Command9.onClick = [this] { Command9_Click(); };
    Command15.onClick = [this] { Command15_Click(); };
    Command14.onClick = [this] { Command14_Click(); };
    Command5.onClick = [this] { Command5_Click(); };
    platform::setWaveInNoticeHook([this](const platform::WaveInNotice& n) { waveInNotice(n); });
}

FrmBeatsWindow::~FrmBeatsWindow() { platform::setWaveInNoticeHook(nullptr); }

// A capture device that stops delivering during a show (its sound server went away, the card was
// removed) is said once; capture goes on by itself when it is back.
void FrmBeatsWindow::waveInNotice(const platform::WaveInNotice& notice) {
    if (!notice.lost) return;
    platform::dialogs().msgBox("Wavedevice lost!\r\n" + notice.text + "\r\nCapture goes on by itself when it is back.",
                               platform::MB_OK | platform::MB_ICONEXCLAMATION, forms::Application::title());
}

void FrmBeatsWindow::layout() {
    // Twips. The plot on the left, counter, start and projector buttons on the right, the five
    // detector sliders in a row underneath, each under its label.
    setClientSize(11940, 7740);
    Move(600, 600, Width(), Height());
    Picture1.Move(120, 120, 6975, 3795);
    beat.Move(2, 2, 49, 19);  // pixels of the plot

    constexpr double R = 7320;
    Label2.Move(R, 150, 1575, 255);
    Label2.setCaption("Kickbass Counter");
    Text1.Move(R + 1620, 105, 1215, 315);
    Label1.Move(R + 2940, 150, 1095, 255);
    cmdStart.Move(R, 600, 1335, 405);
    Command3.Move(R + 1395, 600, 1335, 405);
    Command2.Move(R + 2790, 600, 1335, 405);
    Text5.Move(R, 1140, 1335, 285);
    Text6.Move(R + 1395, 1140, 1335, 285);
    Text7.Move(R, 1500, 2730, 285);
    Text8.Move(R + 2790, 1500, 1335, 285);
    Command10.Move(R, 1980, 2040, 375);
    Command9.Move(R + 2085, 1980, 2040, 375);
    Command15.Move(R, 2415, 2040, 375);
    Command14.Move(R + 2085, 2415, 2040, 375);
    Command5.Move(R, 2940, 1335, 405);
    forms::OptionButton* options[] = {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6, &Option7, &Option8};
    for (int i = 0; i < 8; ++i) options[i]->Move(R + 1440 + (i % 4) * 690, 2940 + (i / 4) * 330, 615, 285);

    constexpr double top = 4200, col = 2364;
    double x = 120;
    Label3.Move(x, top, 2250, 255);
    Label3.setCaption("Pegel Anpassung");
    VScroll2.Move(x, top + 300, 255, 2700);
    VScroll5.Move(x + 330, top + 300, 255, 2700);
    Check1.Move(x + 690, top + 300, 1455, 255);
    txtMax.Move(x + 690, top + 660, 1095, 285);
    Command7.Move(x + 690, top + 2595, 735, 405);
    x += col;
    Label4.Move(x, top, 2250, 255);
    Label4.setCaption("Erkennungs Frequenz");
    VScroll1.Move(x, top + 300, 255, 2700);
    txtFrom.Move(x + 360, top + 300, 1095, 285);
    txtTo.Move(x + 360, top + 660, 495, 285);
    Command6.Move(x + 360, top + 2595, 735, 405);
    x += col;
    Label5.Move(x, top, 2250, 255);
    Label5.setCaption("Kickbass erkennpause");
    HScroll1.Move(x, top + 300, 2250, 255);
    Text3.Move(x, top + 660, 735, 285);
    Label8.Move(x + 795, top + 690, 1455, 255);
    Label8.setCaption("Kickbasslänge");
    Command1.Move(x, top + 2595, 735, 405);
    x += col;
    Label6.Move(x, top, 2250, 255);
    Label6.setCaption("Erkennnungs Bereich");
    VScroll3.Move(x, top + 300, 255, 2700);
    Text4.Move(x + 360, top + 300, 735, 285);
    Command8.Move(x + 360, top + 2595, 735, 405);
    x += col;
    Label7.Move(x, top, 2400, 255);
    Label7.setCaption("Pegel Anpassung Reaktion");
    VScroll4.Move(x, top + 300, 255, 2700);
    Text9.Move(x + 360, top + 300, 735, 285);
    Command16.Move(x + 360, top + 2595, 735, 405);
    // The long-bass switches of the lock, in one row under the sliders.
    Check4.Move(120, top + 3120, 4500, 255);
    Check2.Move(4740, top + 3120, 5400, 255);

    Command11.Move(R + 2790, 2940, 1335, 405);
    Text2.Move(R, 3480, 495, 285);
    angeschaltet.Move(R + 540, 3480, 495, 285);
    beatschalt.Move(R + 1080, 3480, 495, 285);
    nobass.Move(R + 1620, 3480, 495, 285);
    drehen.Move(R + 2160, 3480, 495, 285);
    zehlen.Move(R + 2700, 3480, 495, 285);
    Text10.Move(R + 3240, 3480, 495, 285);
    ohnein.Move(R + 3780, 3480, 375, 285);
    // The control's status lamp.
    if (Vorix1.object()) Vorix1.object()->extender().Move(R + 3690, 150, 435, 255);
}

// ---- Band energy history ----------------------------------------------------------------

void FrmBeatsWindow::DimBandHistory(int rows) {
    if (rows < 1) platform::raise(9);
    bandRows_ = rows;
    BandHistory.assign(static_cast<std::size_t>(rows) * 5, 0.0);
}

double& FrmBeatsWindow::History(int i, int j) {
    if (i < 1 || i > bandRows_ || j < 1 || j > 5) platform::raise(9);
    return BandHistory[static_cast<std::size_t>(j - 1) * bandRows_ + static_cast<std::size_t>(i - 1)];
}

// ---- Start-up, start, stop and shutdown ---------------------------------------------------

void FrmBeatsWindow::Form_Load() {
    // Copying the icon touches the four windows: each loads, hidden, in this order.
    const std::string icon = Form1->Icon;
    Form2->Icon = icon;
    Form3->Icon = icon;
    Form4->Icon = icon;
    DimBandHistory(150);
    // Without the control the window still comes up; "Start" then says why nothing captures.
    tryStmt([&] {
        HzPerBin = static_cast<double>(Vorix1.get(vorix::SPS).toInt32()) / Vorix1.get(vorix::Samples).toInt32();
    });
    Form2.Load();
    Form4.Load();
}

void FrmBeatsWindow::cmdStart_Click() {
    Form1.Show();
    try {
        Vorix1.let(vorix::Threshold, Variant(3.0f));
        Vorix1.let(vorix::SPS, Variant(static_cast<std::int32_t>(50000)));
        Vorix1.let(vorix::Samples, Variant(static_cast<std::int32_t>(1024)));
        Vorix1.let(vorix::Buffers, Variant(static_cast<std::int32_t>(7)));
        Vorix1.let(vorix::LoopMethod, Variant(static_cast<std::int16_t>(1)));
        Vorix1.let(vorix::Device, Variant(static_cast<std::int32_t>(0)));
        Vorix1.let(vorix::Analysis, Variant(vorix::FFT));
        Vorix1.let(vorix::Recording, Variant(false));
        Vorix1.call(vorix::Init);
        if (Vorix1.get(vorix::DeviceHandle).toInt32() == 0) return;
        HzPerBin = static_cast<double>(Vorix1.get(vorix::SPS).toInt32()) / Vorix1.get(vorix::Samples).toInt32();
        WartenMs(900, -1, 1);
        Vorix1.call(vorix::Start);
        angeschaltet = "1";
        Form2->Text3 = "0";
        Form2->Text4 = "0";
        Form2->Timer1A.setEnabled(true);
    } catch (const platform::VbError& e) {
        // Nothing to listen to (no input device, or the control is missing): say why, and leave
        // the control closed so that no half-started capture runs on.
        platform::dialogs().msgBox(e.description(), platform::MB_OK | platform::MB_ICONEXCLAMATION,
                                   forms::Application::title());
        tryStmt([&] { Vorix1.call(vorix::Reset); });
    }
}

void FrmBeatsWindow::Command3_Click() {
    Form2->Timer1A.setEnabled(false);
    angeschaltet = "0";
}

void FrmBeatsWindow::Command2_Click() { Text1 = "0"; }

void FrmBeatsWindow::Command1_Click() { helpBox(kHelpKickbass); }
void FrmBeatsWindow::Command6_Click() { helpBox(kHelpFrequenz); }
void FrmBeatsWindow::Command7_Click() { helpBox(kHelpPegel); }
void FrmBeatsWindow::Command8_Click() { helpBox(kHelpBereich); }
void FrmBeatsWindow::Command16_Click() { helpBox(kHelpReaktion); }

void FrmBeatsWindow::Lighteditor_Click() { Form2.Show(); }
void FrmBeatsWindow::Livesteuerng_Click() { Form5.Show(); }
void FrmBeatsWindow::Maskeerstelln_Click() { frmCustom.Show(); }
void FrmBeatsWindow::dmxceffektsteuerung_Click() { Form4.Show(); }
void FrmBeatsWindow::dmxcbeat_Click() { Form3.Show(); }

void FrmBeatsWindow::Form_QueryUnload(int&, int) { shutdown(); }

void FrmBeatsWindow::Form_Unload(int&) { shutdown(); }

void FrmBeatsWindow::shutdown() {
    // Closing runs QueryUnload and then Unload; the program has ended after the first.
    if (shuttingDown_ || forms::Application::ended()) return;
    shuttingDown_ = true;
    Form4->beenden = "";
    Text2 = "";
    Form1.Unload();
    Form2.Unload();
    Form3.Unload();
    Form4.Unload();
    // The program ends whatever the control says.
    tryStmt([&] { Vorix1.call(vorix::Reset); });
    forms::DoEvents();
    WartenMs(500, -1, 1);
    forms::Application::End();
}

// ---- Band energy and plot ---------------------------------------------------------------

void FrmBeatsWindow::Vorix1_Complete(std::int32_t, std::int32_t, double) {
    std::vector<float> specData;
    Vorix1.get(vorix::Spectrum, {Variant::byRef(specData), Variant(static_cast<std::int32_t>(1))});
    const std::int32_t upper = static_cast<std::int32_t>(specData.size()) - 1;
    if (upper < 2) return;
    BandFirstBin = vb::CLng(vb::Divide(vb::Val(txtFrom.Text()), HzPerBin));
    double width = vb::Val(txtTo.Text()) - 1;
    if (width < 0) width = 0;
    BandLastBin = vb::CLng(BandFirstBin + width);
    if (BandLastBin > upper) {
        BandLastBin = upper;
        txtTo = vb::CStr(BandLastBin - BandFirstBin + 1);
    }
    double sum = 0;
    for (std::int32_t k = BandFirstBin; k <= BandLastBin; ++k) {
        if (k < 0 || k > upper) platform::raise(9);
        sum += specData[static_cast<std::size_t>(k)];
    }
    const int n = BandHistoryRows();
    vb::BMOVE(&History(std::min(2, n), 1), &History(1, 1), (n - 1) * static_cast<std::int32_t>(sizeof(double)));
    History(n, 1) = sum;
    Plot(1);
}

void FrmBeatsWindow::Plot(std::int32_t column) {
    float max = 0;
    const float min = 0;
    int n = 0;
    double step = 0, factor = 0;
    std::int32_t base = 0;
    tryStmt([&] { max = vb::CSng(vb::Val(txtMax.Text())); });
    tryStmt([&] { n = BandHistoryRows(); });
    tryStmt([&] { step = vb::Divide(Picture1.ScaleWidth(), n); });
    // The inner width, not the height: the detector's limits rest on this scale.
    tryStmt([&] { factor = vb::Divide(Picture1.ScaleWidth(), (static_cast<double>(max) - min) * 1.2); });
    tryStmt([&] { base = vb::CLng(Picture1.ScaleHeight() * 0.98); });
    std::vector<platform::Point> points(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 1; i <= n; ++i) {
        auto& p = points[static_cast<std::size_t>(i - 1)];
        tryStmt([&] { p.x = vb::CLng(i * step); });
        tryStmt([&] { p.y = vb::CLng(base - factor * History(i, column)); });
        // Each changed point runs the detector, oldest first, the newest last.
        tryStmt([&] { beat = vb::CStr(p.y); });
    }
    tryStmt([&] { Picture1.Cls(); });
    tryStmt([&] { Picture1.image().polyline(points, forms::resolveColor(Picture1.ForeColor())); });
    tryStmt([&] { Picture1.Refresh(); });
    tryStmt([&] { Picture1.Line(10333, 50, 0, 50, kRed); });
    tryStmt([&] { Picture1.Line(10333, 51, 0, 51, kRed); });
    tryStmt([&] { Picture1.Line(10333, VScroll3.Value() - 2, 0, VScroll3.Value() - 2, kGreen); });
    tryStmt([&] { Picture1.Line(10333, VScroll3.Value() - 3, 0, VScroll3.Value() - 3, kGreen); });
}

std::int32_t FrmBeatsWindow::GetMax() {
    std::vector<std::int16_t> data;
    Vorix1.get(vorix::WaveData, {Variant::byRef(data), Variant(static_cast<std::int32_t>(1))});
    std::int32_t best = 0;
    for (std::int16_t v : data) best = std::max<std::int32_t>(best, v);
    return best;
}

void FrmBeatsWindow::Normalize(std::int32_t column) {
    const int n = BandHistoryRows();
    double hi = History(1, column), lo = History(1, column);
    for (int i = 1; i <= n; ++i) {
        hi = std::max(hi, History(i, column));
        lo = std::min(lo, History(i, column));
    }
    double scale = std::max(std::abs(hi), std::abs(lo));
    if (scale == 0) scale = 1;
    for (int i = 1; i <= n; ++i) History(i, column) /= scale;
}

void FrmBeatsWindow::VScroll1_Change() { txtFrom = vb::Format(VScroll1.Value(), "0.0"); }

void FrmBeatsWindow::VScroll1_Scroll() {}

void FrmBeatsWindow::VScroll2_Change() {
    txtMax = vb::CStr(VScroll2.Value());
    txtMax = vb::CStr(VScroll2.Value() * 2.8);
}

void FrmBeatsWindow::VScroll2_Scroll() { VScroll2_Change(); }

void FrmBeatsWindow::VScroll3_Change() { Text4 = vb::CStr(VScroll3.Value()); }

void FrmBeatsWindow::VScroll4_Change() {
    DimBandHistory(VScroll4.Value());
    Text9 = vb::CStr(VScroll4.Value());
}

void FrmBeatsWindow::VScroll5_Change() { VScroll2.setMin(VScroll5.Value()); }

// ---- Kick-bass detector and automatic level -----------------------------------------------

void FrmBeatsWindow::beat_Change() {
    // Runs for every point of every plot: the texts are made once.
    static const std::string kBeatCaption = "beat", kBeatText = "Beat", kNone, kQuiet = "leise gerade";
    const double y = vb::Val(beat.Text());
    if (y <= VScroll3.Value()) {
        Label1 = kBeatCaption;
        Text5 = kBeatText;
    } else {
        Label1 = kNone;
        Text5 = kNone;
    }
    if (Check1.Value() == 1) {
        if (y >= 220) timerlauter.setEnabled(true);
        if (y <= 70) timerlauter.setEnabled(false);
        if (y <= 37) timerleiser.setEnabled(true);
        // A level past the slider's end is refused; the rest still runs.
        if (y <= -1) tryStmt([&] { VScroll2.setValue(VScroll2.Value() + 750LL); });
    }
    // Reading the limit cannot fail, so only the write needs the error skipping.
    if (y > text8Value()) tryStmt([&] { Text7 = kQuiet; });
}

double FrmBeatsWindow::text8Value() {
    // Read for every point of every plot, set by hand: its number is kept until its text changes.
    if (!text8Read_ || Text8.Text() != text8Seen_) {
        const double v = vb::Val(Text8.Text());
        text8Seen_ = Text8.Text();
        text8Number_ = v;
        text8Read_ = true;
    }
    return text8Number_;
}

void FrmBeatsWindow::timerlauter_Timer() {
    tryStmt([&] { VScroll2.setValue(VScroll2.Value() - 250LL); });
    timerlauter.setEnabled(false);
}

void FrmBeatsWindow::timerleiser_Timer() {
    tryStmt([&] { VScroll2.setValue(VScroll2.Value() + 250LL); });
    timerleiser.setEnabled(false);
}

// ---- Beat dispatcher, lock and long-bass filter -------------------------------------------

void FrmBeatsWindow::Timer1_Timer() {
    if (Timer2.Enabled()) return;
    if (Text6.Text() == "NO") return;
    if (Label1.Caption() != "beat") return;
    // A kick still above the line right after the lock is the same long kick.
    const bool swallowed = Check4.Value() == 1 && vb::Val(beat.Text()) <= VScroll3.Value() && Timeralf.Enabled();
    if (!swallowed) Text1 = vb::CStr(number(Text1.Text()) + 1);
    if (Form5->Check1.Value() == 1) {
        Timer2.setEnabled(true);
        return;
    }
    Form2->leerlauf.setEnabled(false);
    Form2->leerlaufw.setEnabled(false);
    if (Form2->Check5.Value() == 1) Form2->leerlauf.setEnabled(true);
    if (Form3->Check1.Value() == 1) {
        Form3->Label5 = vb::CStr(number(Form3->Label5.Caption()) - 1);
        if (Form3->Label5.Caption() == "0") {
            Form3->Label5 = vb::CStr(Form3->HScroll1.Value());
            if (Form3->Label1.Caption() == kManualBeatFound) {
                // Without a beat button in row 1 there is nothing to press.
                tryStmt([&] {
                    const platform::HWND button = vb::CLng(Form3->List1.List(1));
                    platform::SendMessage(platform::WindowRegistry::current().getParent(button), platform::WM_COMMAND, 0,
                                          button);
                });
            }
        }
    }
    Timer2.setEnabled(true);
}

void FrmBeatsWindow::HScroll1_Change() {
    Timer2.setInterval(HScroll1.Value());
    Text3 = vb::CStr(Timer2.Interval());
    Timer3.setInterval(HScroll1.Value() + 50LL);
}

void FrmBeatsWindow::Text5_Change() {
    if (Check2.Value() == 1 && Text5.Text() == "Beat") Timer3.setEnabled(true);
}

void FrmBeatsWindow::Timer2_Timer() {
    Timeralf.setEnabled(true);
    Timer2.setEnabled(false);
}

void FrmBeatsWindow::Timeralf_Timer() { Timeralf.setEnabled(false); }

void FrmBeatsWindow::Timer3_Timer() { Timer3.setEnabled(false); }

void FrmBeatsWindow::Timer4_Timer() { Text6 = Timer3.Enabled() ? "NO" : ""; }

void FrmBeatsWindow::timernichtweiter_Timer() { timernichtweiter.setEnabled(false); }

// ---- Per-beat actions and DMXControl press timers -----------------------------------------

void FrmBeatsWindow::pressHandle(int row, platform::UINT message) {
    const platform::HWND button = vb::CLng(Form2->HandleDMXC.List(row));
    platform::SendMessage(button, message, 0, 0);
}

void FrmBeatsWindow::Text1_Change() {
    // The movie that showed when the idle effects began comes back.
    if (!Form2->Text10.Text().empty()) {
        Form1->ShockwaveFlash1.LoadMovie(0, Form2->Text10.Text());
        Form2->Text10 = "";
    }
    if (Form5->Check1.Value() != 1) {
        Text7 = "Laut gerade";
        if (beatschalt.Text() == "1") {
            if (Form2->online.Text() == "1") Form2->Text4 = vb::CStr(number(Form2->Text4.Text()) + 1);
            if (drehen.Text() == "1") {
                Form1->ShockwaveFlash1.Play();
                drehen = "0";
            } else if (drehen.Text() == "0") {
                Form1->ShockwaveFlash1.Stop();
                drehen = "1";
            }
            return;
        }
        if (nobass.Text() == "1") {
            if (Form2->online.Text() == "1") Form2->Text4 = vb::CStr(number(Form2->Text4.Text()) + 1);
            return;
        }
        if (Text1.Text() == "0") return;
        if (number(angeschaltet.Text()) == 0) return;
        tryStmt([&] { pressHandle(0, platform::WM_LBUTTONDOWN); });
        tryStmt([&] { timerre.setEnabled(true); });
        tryStmt([&] { Form1->ShockwaveFlash1.Play(); });
        tryStmt([&] {
            if (Form2->online.Text() == "1") Form2->Text4 = vb::CStr(number(Form2->Text4.Text()) + 1);
        });
        tryStmt([&] {
            if (Form2->HandleDMXC.ListCount() >= 2) timerrofl.setEnabled(true);
        });
        return;
    }
    // Live mode: the desk's kick-bass options.
    if (Form5->Option1.Value()) Form1->ShockwaveFlash1.Play();
    if (Text10.Text() == "0" && Form5->Option3.Value()) {
        Form1->ShockwaveFlash1.Stop();
        Text10 = "1";
        return;
    }
    if (Text10.Text() == "1" && Form5->Option3.Value()) {
        Form1->ShockwaveFlash1.Play();
        Text10 = "0";
    }
}

void FrmBeatsWindow::timerre_Timer() {
    tryStmt([&] { pressHandle(0, platform::WM_LBUTTONUP); });
    timerre.setEnabled(false);
}

void FrmBeatsWindow::timerre1_Timer() {
    tryStmt([&] { pressHandle(1, platform::WM_LBUTTONUP); });
    timerre1.setEnabled(false);
}

void FrmBeatsWindow::timerre2_Timer() {
    tryStmt([&] { pressHandle(2, platform::WM_LBUTTONUP); });
    timerre2.setEnabled(false);
}

void FrmBeatsWindow::timerre3_Timer() {
    tryStmt([&] { pressHandle(3, platform::WM_LBUTTONUP); });
    timerre3.setEnabled(false);
}

void FrmBeatsWindow::timerrofl_Timer() {
    // zehlen is written only here, so a failing comparison cannot arise; kept as the rule reads.
    if (condOrTrue([&] { return vb::toNumber(zehlen.Text()) >= Form2->HandleDMXC.ListCount(); })) {
        tryStmt([&] { timerrofl.setEnabled(false); });
        tryStmt([&] { zehlen = "1"; });
        return;
    }
    const std::string z = zehlen.Text();
    if (z == "1") {
        tryStmt([&] { pressHandle(1, platform::WM_LBUTTONDOWN); });
        tryStmt([&] { timerre1.setEnabled(true); });
    } else if (z == "2") {
        tryStmt([&] { pressHandle(2, platform::WM_LBUTTONDOWN); });
        tryStmt([&] { timerre2.setEnabled(true); });
    } else if (z == "3") {
        tryStmt([&] { pressHandle(3, platform::WM_LBUTTONDOWN); });
        tryStmt([&] { timerre3.setEnabled(true); });
    }
    tryStmt([&] { zehlen = vb::CStr(vb::toNumber(zehlen.Text()) + 1); });
}

// ---- Projector output window --------------------------------------------------------------

void FrmBeatsWindow::Command10_Click() {
    Form1->setWindowState(2);
    Form1->Picture2.setVisible(false);
}

void FrmBeatsWindow::Command9_Click() {
    Form1->setWindowState(0);
    Form1->Picture2.setVisible(true);
}

void FrmBeatsWindow::Command15_Click() { Form1->ShockwaveFlash1.setVisible(true); }

void FrmBeatsWindow::Command14_Click() { Form1->ShockwaveFlash1.setVisible(false); }

void FrmBeatsWindow::Command5_Click() {
    Form1->ShockwaveFlash1.setVisible(false);
    const std::pair<forms::OptionButton*, std::uint32_t> colours[] = {
        {&Option1, 0xFF0000}, {&Option2, 0xFFFF00}, {&Option3, 0xFF00},  {&Option4, 0xFFFF},
        {&Option5, 0x80FF},   {&Option6, 0xFF},     {&Option7, 0xFF00FF}, {&Option8, 0xFFFFFF}};
    for (const auto& [option, colour] : colours)
        if (option->Value()) Form1->setBackColor(colour);
    WartenMs(35, -1, 1);
    Form1->ShockwaveFlash1.setVisible(true);
    Form1->setBackColor(0);
}

}  // namespace korvella
