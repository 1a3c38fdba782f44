#include "korvella/dmxcontrol/Form3.h"

namespace korvella {

Form3Window::Form3Window() : forms::Form("Form3", "DMX Control extern Beat Steuerung") {
    setBorderStyle(1);
    Move(2400, 2400, 6000, 3600);
    HScroll1.Move(1320, 960, 2415, 255);
    Label5.Move(3840, 1440, 495, 255);
    Label5.setCaption("1");
    Label5.setForeColor(0xFF00);
    Check1.Move(120, 1920, 2415, 255);
    Check1.setForeColor(0xFF00);
    Label1.Move(0, 2760, 5880, 255);
    Label1.setBackColor(0);
    Label1.setForeColor(0xFF);
    Label1.setCaption("DMXC ManualBeat window not found...");
    List1.Move(4440, 120, 1215, 645);
    List1.setVisible(false);
}

}  // namespace korvella
