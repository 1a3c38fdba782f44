// The program's start-up and main window: hosts the audio control Vorix1, plots the energy of the
// kick band, detects and dispatches kick-bass beats, performs what each beat does, and opens the
// other tool windows. Flags and counters shared with the other windows are its text boxes.
#pragma once
#include <cstdint>
#include <vector>

#include "forms/form.h"
#include "platform/audio/wave.h"
#include "korvella/main/VorixControl.h"

namespace korvella {

class FrmBeatsWindow : public forms::Form {
public:
    FrmBeatsWindow();
    ~FrmBeatsWindow() override;

    // ---- Window-level members ----
    // BandHistory(1 To N, 1 To 5), first index fastest; only column 1 is used.
    std::vector<double> BandHistory;
    double HzPerBin = 0;
    std::int32_t BandFirstBin = 0;
    std::int32_t BandLastBin = 0;

    // ReDim BandHistory(1 To rows, 1 To 5): all values 0.
    void DimBandHistory(int rows);
    // UBound(BandHistory, 1).
    int BandHistoryRows() const { return bandRows_; }
    // BandHistory(i, j); 9 outside the bounds.
    double& History(int i, int j);

    void Plot(std::int32_t column);
    std::int32_t GetMax();
    void Normalize(std::int32_t column);

    // ---- Controls, in the order the window creates them ----
    forms::PictureBox Picture1{this, "Picture1"};
    forms::TextBox beat{this, "beat", &Picture1};
    VorixControl Vorix1{this, "Vorix1"};

    forms::Label Label2{this, "Label2"};  // "Kickbass Counter"
    forms::TextBox Text1{this, "Text1"};
    forms::Label Label1{this, "Label1"};
    forms::CommandButton cmdStart{this, "cmdStart", "Start"};
    forms::CommandButton Command3{this, "Command3", "Stop"};
    forms::CommandButton Command2{this, "Command2", "Reset"};
    forms::TextBox Text5{this, "Text5"};
    forms::TextBox Text6{this, "Text6"};
    forms::TextBox Text7{this, "Text7"};
    forms::TextBox Text8{this, "Text8"};

    forms::CommandButton Command10{this, "Command10", "Beamer Maximieren"};
    forms::CommandButton Command9{this, "Command9", "Beamer Minimieren"};
    forms::CommandButton Command15{this, "Command15", "Beamer ON"};
    forms::CommandButton Command14{this, "Command14", "Beamer OFF"};
    forms::CommandButton Command5{this, "Command5", "Strobe"};
    forms::OptionButton Option1{this, "Option1", "", true};
    forms::OptionButton Option2{this, "Option2", ""};
    forms::OptionButton Option3{this, "Option3", ""};
    forms::OptionButton Option4{this, "Option4", ""};
    forms::OptionButton Option5{this, "Option5", ""};
    forms::OptionButton Option6{this, "Option6", ""};
    forms::OptionButton Option7{this, "Option7", ""};
    forms::OptionButton Option8{this, "Option8", ""};

    // "Pegel Anpassung"
    forms::Label Label3{this, "Label3"};
    forms::ScrollBar VScroll2{this, "VScroll2", false, 3000, 32000, 4000};
    forms::ScrollBar VScroll5{this, "VScroll5", false, 400, 22000, 4000};
    forms::CheckBox Check1{this, "Check1", "Auto", 1};
    forms::TextBox txtMax{this, "txtMax"};
    forms::CommandButton Command7{this, "Command7", "Info!"};
    // "Erkennungs Frequenz"
    forms::Label Label4{this, "Label4"};
    forms::ScrollBar VScroll1{this, "VScroll1", false, 25, 130, 75};
    forms::TextBox txtFrom{this, "txtFrom"};
    forms::TextBox txtTo{this, "txtTo"};
    forms::CommandButton Command6{this, "Command6", "Info!"};
    // "Kickbass erkennpause"
    forms::Label Label5{this, "Label5"};
    forms::ScrollBar HScroll1{this, "HScroll1", true, 25, 400, 85};
    forms::TextBox Text3{this, "Text3"};
    forms::Label Label8{this, "Label8"};  // "Kickbasslänge"
    forms::CheckBox Check4{this, "Check4", "Lange Bässe als Einen erkennen", 1};
    forms::CheckBox Check2{this, "Check2", "Lange Bässe versuchen als Einen zu erkennen", 0};
    forms::CommandButton Command1{this, "Command1", "Info!"};
    // "Erkennnungs Bereich"
    forms::Label Label6{this, "Label6"};
    forms::ScrollBar VScroll3{this, "VScroll3", false, 95, 160, 122};
    forms::TextBox Text4{this, "Text4"};
    forms::CommandButton Command8{this, "Command8", "Info!"};
    // "Pegel Anpassung Reaktion"
    forms::Label Label7{this, "Label7"};
    forms::ScrollBar VScroll4{this, "VScroll4", false, 5, 200, 65};
    forms::TextBox Text9{this, "Text9"};
    forms::CommandButton Command16{this, "Command16", "Info!"};

    // Hidden flags and states.
    forms::CommandButton Command11{this, "Command11", "Command11"};
    forms::TextBox Text2{this, "Text2"};
    forms::TextBox angeschaltet{this, "angeschaltet"};
    forms::TextBox beatschalt{this, "beatschalt"};
    forms::TextBox nobass{this, "nobass"};
    forms::TextBox drehen{this, "drehen"};
    forms::TextBox zehlen{this, "zehlen"};
    forms::TextBox Text10{this, "Text10"};
    forms::TextBox ohnein{this, "ohnein"};

    // Dispatcher, lock and long-bass timers.
    forms::Timer Timer1{this, "Timer1", 1, true};
    forms::Timer Timer2{this, "Timer2", 100, false};
    forms::Timer Timer3{this, "Timer3", 150, false};
    forms::Timer Timer4{this, "Timer4", 1, true};
    forms::Timer Timeralf{this, "Timeralf", 30, false};
    forms::Timer timernichtweiter{this, "timernichtweiter", 100, false};
    // Level steps.
    forms::Timer timerlauter{this, "timerlauter", 100, false};
    forms::Timer timerleiser{this, "timerleiser", 30, false};
    // DMXControl press timers.
    forms::Timer timerre{this, "timerre", 60, false};
    forms::Timer timerre1{this, "timerre1", 60, false};
    forms::Timer timerre2{this, "timerre2", 120, false};
    forms::Timer timerre3{this, "timerre3", 180, false};
    forms::Timer timerrofl{this, "timerrofl", 110, false};

    // Menu bar.
    forms::Menu File{this, "File", "Datei"};
    forms::Menu Save{this, "Save", "Speichere Beat-Erkennungseinstellungen", &File};
    forms::Menu Lighteditor{this, "Lighteditor", "Lightshow Editor"};
    forms::Menu Livesteuerng{this, "Livesteuerng", "Beamer Live Steuerung"};
    forms::Menu Maskeerstelln{this, "Maskeerstelln", "Maske erstellen"};
    forms::Menu dmxc{this, "dmxc", "DMX-Control"};
    forms::Menu dmxceffektsteuerung{this, "dmxceffektsteuerung", "DMXControl Effektsteuerung", &dmxc};
    forms::Menu dmxcbeat{this, "dmxcbeat", "DMXControl extern Beatsteuerung", &dmxc};

    // ---- Handlers ----
    void Form_Load() override;
    void Form_QueryUnload(int& cancel, int unloadMode) override;
    void Form_Unload(int& cancel) override;
    void cmdStart_Click();
    void Command3_Click();
    void Command2_Click();
    void Command1_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command16_Click();
    void Lighteditor_Click();
    void Livesteuerng_Click();
    void Maskeerstelln_Click();
    void dmxceffektsteuerung_Click();
    void dmxcbeat_Click();

    void Vorix1_Complete(std::int32_t blockIndex, std::int32_t bufferIndex, double dt);
    void VScroll1_Change();
    void VScroll1_Scroll();
    void VScroll2_Change();
    void VScroll2_Scroll();
    void VScroll3_Change();
    void VScroll4_Change();
    void VScroll5_Change();

    void beat_Change();
    void timerlauter_Timer();
    void timerleiser_Timer();

    void Timer1_Timer();
    void HScroll1_Change();
    void Text5_Change();
    void Timer2_Timer();
    void Timeralf_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void timernichtweiter_Timer();

    void Text1_Change();
    void timerre_Timer();
    void timerre1_Timer();
    void timerre2_Timer();
    void timerre3_Timer();
    void timerrofl_Timer();

    void Command10_Click();
    void Command9_Click();
    void Command15_Click();
    void Command14_Click();
    void Command5_Click();

private:
    void layout();
    void shutdown();
    void waveInNotice(const platform::WaveInNotice& notice);
    // Button-down or button-up to the DMXControl button whose handle stands in a row of
    // Form2.HandleDMXC (13 when the row holds no number).
    void pressHandle(int row, platform::UINT message);
    // Val of Text8's text.
    double text8Value();

    int bandRows_ = 0;
    bool text8Read_ = false;
    std::string text8Seen_;
    double text8Number_ = 0;
    bool shuttingDown_ = false;
};

// The help boxes: title and text of each "Info!" button.
struct HelpBox {
    const char* title;
    const char* text;
};
extern const HelpBox kHelpPegel;       // Command7
extern const HelpBox kHelpFrequenz;    // Command6
extern const HelpBox kHelpKickbass;    // Command1
extern const HelpBox kHelpBereich;     // Command8
extern const HelpBox kHelpReaktion;    // Command16

}  // namespace korvella
