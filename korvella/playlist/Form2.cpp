#include "korvella/playlist/Form2.h"

namespace korvella {

Form2Window::Form2Window() : forms::Form("Form2", "Lightshow Editor") {
    Move(1200, 1200, 12000, 8400);
    Text3.Move(120, 120, 735, 285);
    Text3.setText("0");
    Text4.Move(960, 120, 735, 285);
    Text4.setText("0");
    Text10.Move(1800, 120, 735, 285);
    Text10.setVisible(false);
    online.Move(2640, 120, 495, 285);
    online.setText("0");
    online.setVisible(false);
    HandleDMXC.Move(3240, 120, 1215, 645);
    HandleDMXC.setVisible(false);
    Check5.Move(120, 600, 1815, 255);
}

}  // namespace korvella
