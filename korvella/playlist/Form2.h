// The light show editor "Lightshow Editor". Here only the controls the beat road reads and
// writes, with their design values; the editor, the player and the idle effects complete it.
#pragma once
#include "forms/form.h"

namespace korvella {

class Form2Window : public forms::Form {
public:
    Form2Window();

    // Index of the current playlist entry and the kick counter of the entries that wait for kicks.
    forms::TextBox Text3{this, "Text3"};
    forms::TextBox Text4{this, "Text4"};
    // The movie to restore after the idle effects ("" when none).
    forms::TextBox Text10{this, "Text10"};
    // "1" while an entry counts kick-basses.
    forms::TextBox online{this, "online"};
    // Window handles (decimal text) of the DMXControl buttons of the current effect set.
    forms::ListBox HandleDMXC{this, "HandleDMXC"};
    // Idle effects on.
    forms::CheckBox Check5{this, "Check5", "Angeschaltet", 0};
    forms::Timer leerlauf{this, "leerlauf", 10000, false};
    forms::Timer leerlaufw{this, "leerlaufw", 10000, false};
    // The playlist player.
    forms::Timer Timer1A{this, "Timer1A", 1, false};
};

}  // namespace korvella
