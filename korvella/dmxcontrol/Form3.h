// "DMX Control extern Beat Steuerung": the settings for handing every N-th kick-bass to
// DMXControl's ManualBeat window, and the finder that keeps track of that window. The beat
// dispatcher of the main window does the counting and the press.
#pragma once
#include "forms/form.h"

namespace korvella {

class Form3Window : public forms::Form {
public:
    Form3Window();

    // Description.
    forms::Label Label2{this, "Label2"};
    // "Sende jeden" N "Kickbass".
    forms::Label Label3{this, "Label3"};
    // N: every N-th kick-bass is forwarded.
    forms::ScrollBar HScroll1{this, "HScroll1", true, 1, 8, 1};
    // N as text, following the slider; "Übernehmen" starts the countdown from it.
    forms::TextBox Text1{this, "Text1"};
    forms::CommandButton Command1{this, "Command1", "Übernehmen"};
    // Kicks still to go before the next press.
    forms::Label Label5{this, "Label5"};
    forms::Label Label4{this, "Label4"};
    // Forwarding on.
    forms::CheckBox Check1{this, "Check1", "Angeschaltet", 0};
    // Status line.
    forms::Label Label1{this, "Label1"};
    forms::CommandButton Command2{this, "Command2", "Verstecken"};
    // The ManualBeat window's child handles (decimal text); row 1 is its beat button.
    forms::ListBox List1{this, "List1"};
    // The window finder.
    forms::Timer Timer1{this, "Timer1", 500, true};

    void HScroll1_Change();
    void Command1_Click();
    void Command2_Click();
    void Timer1_Timer();
};

}  // namespace korvella
