#include "korvella/main/Form1.h"

#include "korvella/windows.h"
#include "platform/windows/windows.h"

namespace korvella {

namespace {
constexpr std::uint32_t kDarkBlue = 0x800000;
constexpr std::uint32_t kDarkRed = 0x80;
constexpr std::uint32_t kGrey = 0x404040;
constexpr std::uint32_t kWhite = 0xFFFFFF;
}  // namespace

Form1Window::Form1Window() : forms::Form("Form1", "Form1") {
    setBorderStyle(0);
    setBackColor(0);
    // Nothing places the window on a particular screen: the operator drags it to the projector.
    Move(12600, 600, 19200, 10800);
    ShockwaveFlash1.Move(0, 0, Width(), Height());

    // The picture boxes lie above the player (later siblings are on top).
    Picture1.BorderStyle = 0;
    Picture1.setScaleMode(3);
    Picture1.Move(0, 0, 255, 255);
    Picture1.setBackColor(kDarkBlue);
    Picture1.Cls();
    Picture1.Line(4, 4, 12, 4, kWhite);
    Picture1.Line(12, 4, 12, 12, kWhite);
    Picture1.Line(12, 12, 4, 12, kWhite);
    Picture1.Line(4, 12, 4, 4, kWhite);

    Picture3.BorderStyle = 0;
    Picture3.setScaleMode(3);
    Picture3.Move(255, 0, 255, 255);
    Picture3.setBackColor(kDarkRed);
    Picture3.Cls();
    Picture3.Line(4, 4, 13, 13, kWhite);
    Picture3.Line(12, 4, 3, 13, kWhite);

    Picture2.BorderStyle = 0;
    Picture2.Move(510, 0, 1500, 255);
    Picture2.setBackColor(kGrey);
    Picture2.Cls();

    Picture1.onClick = [this] { Picture1_Click(); };
    Picture2.onMouseDown = [this](int button, int shift, double x, double y) { Picture2_MouseDown(button, shift, x, y); };
    Picture3.onClick = [this] { Picture3_Click(); };
}

void Form1Window::Form_Resize() {
    ShockwaveFlash1.setHeight(Height());
    ShockwaveFlash1.setWidth(Width());
}

void Form1Window::Picture1_Click() {
    if (WindowState() != 2) {
        setWindowState(2);
        Picture2.setVisible(false);
    } else {
        setWindowState(0);
        Picture2.setVisible(true);
    }
}

void Form1Window::Picture2_MouseDown(int, int, double, double) {
    // ReleaseCapture: the view holds no capture of its own that would stop the move.
    platform::SendMessage(hWnd(), platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, 0);
}

void Form1Window::Picture3_Click() { Form1.Unload(); }

}  // namespace korvella
