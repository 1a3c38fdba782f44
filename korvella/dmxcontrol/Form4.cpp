#include "korvella/dmxcontrol/Form4.h"

namespace korvella {

Form4Window::Form4Window() : forms::Form("Form4", "DMXControl extern Effektsteuerung") {
    Move(3000, 1800, 9000, 6600);
    List1.Move(120, 120, 1215, 645);
    List1.setVisible(false);
    beenden.Move(1440, 120, 495, 285);
    beenden.setText("1");
    beenden.setVisible(false);
}

}  // namespace korvella
