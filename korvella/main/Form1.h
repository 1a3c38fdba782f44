// The projector output window: borderless, black, filled by the movie player ShockwaveFlash1,
// with three small boxes in its top left corner as its only window controls: maximise/restore,
// a drag bar, and a close box.
#pragma once
#include "forms/form.h"
#include "korvella/main/FlashPlayerControl.h"

namespace korvella {

class Form1Window : public forms::Form {
public:
    Form1Window();

    // Layers: 0 the effect, 999 the dimmer, 9999 the mask.
    FlashPlayerControl ShockwaveFlash1{this, "ShockwaveFlash1"};
    // Maximise / restore toggle.
    forms::PictureBox Picture1{this, "Picture1"};
    // Drag bar.
    forms::PictureBox Picture2{this, "Picture2"};
    // Close box.
    forms::PictureBox Picture3{this, "Picture3"};

    void Form_Resize() override;
    void Picture1_Click();
    void Picture2_MouseDown(int button, int shift, double x, double y);
    void Picture3_Click();
};

}  // namespace korvella
