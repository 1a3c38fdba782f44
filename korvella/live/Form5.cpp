#include "korvella/live/Form5.h"

namespace korvella {

Form5Window::Form5Window() : forms::Form("Form5", "Beamer Live Steuerung") {
    Move(1800, 1800, 10800, 7800);
    Check1.Move(120, 120, 3015, 255);
    Option1.Move(120, 600, 735, 255);
    Option2.Move(960, 600, 735, 255);
    Option3.Move(120, 1080, 735, 255);
    Option4.Move(960, 1080, 735, 255);
}

}  // namespace korvella
