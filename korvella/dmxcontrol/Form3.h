// "DMX Control extern Beat Steuerung": forwards every N-th beat to DMXControl's ManualBeat
// window. Here only the controls the beat dispatcher reads and writes, with their design values;
// the window finder and the settings buttons complete it.
#pragma once
#include "forms/form.h"

namespace korvella {

class Form3Window : public forms::Form {
public:
    Form3Window();

    // N: every N-th kick-bass is forwarded.
    forms::ScrollBar HScroll1{this, "HScroll1", true, 1, 8, 1};
    // Kicks still to go before the next press.
    forms::Label Label5{this, "Label5"};
    // Forwarding on.
    forms::CheckBox Check1{this, "Check1", "Angeschaltet", 0};
    // Status line.
    forms::Label Label1{this, "Label1"};
    // The ManualBeat window's child handles (decimal text).
    forms::ListBox List1{this, "List1"};
};

}  // namespace korvella
