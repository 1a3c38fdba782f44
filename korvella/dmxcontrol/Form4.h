// "DMXControl extern Effektsteuerung": finds DMXControl's KommandoBox every 500 ms, keeps one
// effect name per KommandoBox button, fires effects by their names, reads the names DMXControl
// shows, and hands the names to the light show editor (Form2.List3, same rows as List1).
#pragma once
#include "forms/form.h"

namespace korvella {

class Form4Window : public forms::Form {
public:
    Form4Window();

    // Narrow: the left column only. Wide: the names read from DMXControl beside it.
    static constexpr double kNarrowWidth = 4410;
    static constexpr double kWideWidth = 8730;

    forms::Label Label2{this, "Label2"};
    // Effect names, one row per button, same index as List1.
    forms::ListBox List2{this, "List2"};
    // New name for the selected rows.
    forms::TextBox Text1{this, "Text1"};
    forms::CommandButton Command1{this, "Command1", "Makierten Effekt umbenennen"};
    forms::CommandButton Command2{this, "Command2", "Namen aus DMX Control auslesen"};
    // Status line.
    forms::Label Label1{this, "Label1"};
    // Right column: the names read from DMXControl, to adopt or discard.
    forms::ListBox List4{this, "List4"};
    forms::CommandButton Command3{this, "Command3", "Namen übernehmen"};
    forms::CommandButton Command4{this, "Command4", "Namen nicht übernehmen"};
    // Button handles (decimal text); the row is the effect index.
    forms::ListBox List1{this, "List1"};
    // DMXControl's other children: row 0 its check box, the last its settings list, the one
    // before that its name field.
    forms::ListBox List3{this, "List3"};
    // Keep-alive flag: "1" hides on close, "" lets the window unload (shutdown).
    forms::TextBox beenden{this, "beenden"};
    // The window finder.
    forms::Timer Timer1{this, "Timer1", 500, true};

    void Form_Unload(int& cancel) override;
    void Timer1_Timer();
    void List2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

private:
    // Form2.List3 := a copy of List2.
    void copyNamesToEditor();
    void narrow();
    void widen();

    // True while "Namen aus DMX Control auslesen" runs.
    bool reading_ = false;
    // List4 holds the names of a reading that got every name from DMXControl.
    bool namesRead_ = false;
};

}  // namespace korvella
