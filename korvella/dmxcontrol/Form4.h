// "DMXControl extern Effektsteuerung": discovers, names and fires DMXControl's KommandoBox
// buttons. Here only the controls the main window reads and writes, with their design values;
// the finder, the name reader and the hide-on-close behaviour complete it.
#pragma once
#include "forms/form.h"

namespace korvella {

class Form4Window : public forms::Form {
public:
    Form4Window();

    // Button handles (decimal text); the row is the effect index.
    forms::ListBox List1{this, "List1"};
    // Keep-alive flag: "1" hides on close, "" lets the window unload (shutdown).
    forms::TextBox beenden{this, "beenden"};
};

}  // namespace korvella
