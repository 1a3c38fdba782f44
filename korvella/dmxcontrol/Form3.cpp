#include "korvella/dmxcontrol/Form3.h"

#include "forms/conv.h"
#include "korvella/dmxcontrol/Module1.h"
#include "platform/windows/windows.h"

namespace korvella {

namespace {
constexpr std::uint32_t kRed = 0xFF;
constexpr std::uint32_t kGreen = 0xFF00;
}  // namespace

Form3Window::Form3Window() : forms::Form("Form3", "DMX Control extern Beat Steuerung") {
    setBorderStyle(1);
    Move(2400, 2400, 6000, 3600);
    Label2.Move(120, 120, 4215, 735);
    Label2.setCaption(
        "Die DMXControl extern Beat Steuerung ermöglicht ein Senden der Kickbasserkennung an DMXControl, um somit den "
        "Takt von DMXControl mit der Beamer Steuerung zu synchronisieren");
    Label3.Move(120, 990, 1095, 255);
    Label3.setCaption("Sende jeden");
    HScroll1.Move(1320, 960, 2415, 255);
    Text1.Move(3840, 945, 495, 285);
    Text1.setBackColor(0x404040);
    Text1.setForeColor(0xFFFFFF);
    Text1.MaxLength = 2;
    Text1.setText("1");
    Command1.Move(1320, 1380, 2415, 375);
    Label5.Move(3840, 1440, 495, 255);
    Label5.setCaption("1");
    Label5.setForeColor(kGreen);
    Label4.Move(4440, 990, 1095, 255);
    Label4.setCaption("Kickbass");
    Check1.Move(120, 1920, 2415, 255);
    Check1.setForeColor(kGreen);
    Label1.Move(0, 2760, 5880, 255);
    Label1.setBackColor(0);
    Label1.setForeColor(kRed);
    Label1.setCaption("DMXC ManualBeat window not found...");
    Command2.Move(3840, 1920, 1935, 375);
    List1.Move(4440, 120, 1215, 645);
    List1.setVisible(false);

    HScroll1.onChange = [this] { HScroll1_Change(); };
    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
}

void Form3Window::HScroll1_Change() { Text1 = vb::CStr(HScroll1.Value()); }

// The countdown takes the text as it stands; the dispatcher reads it as a number.
void Form3Window::Command1_Click() { Label5 = Text1.Text(); }

// Hidden, the window stays loaded and its finder keeps running.
void Form3Window::Command2_Click() { Hide(); }

void Form3Window::Timer1_Timer() {
    auto& windows = platform::WindowRegistry::current();
    // A look-up that DMXControl did not answer in time tells nothing: the status stays.
    const auto found = windows.lookUpWindow("", "DMXC ManualBeat");
    if (!found) return;
    const platform::HWND manualBeat = *found;
    if (manualBeat != 0) {
        Label1.setForeColor(kGreen);
        Label1 = "DMXC ManualBeat window found";
        // DMXControl's own beat window has no use on the screen while beats come from here.
        windows.showWindow(manualBeat, platform::SW_HIDE);
        Module1::ListChildWindows(manualBeat, List1);
    } else {
        Label1.setForeColor(kRed);
        Label1 = "DMXC ManualBeat window not found...";
    }
}

}  // namespace korvella
