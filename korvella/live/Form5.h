// "Beamer Live Steuerung", the live control desk. Here only the switch and the kick-bass options
// the beat road reads, with their design values; the slots, strobes, dimmer, zoom and hot keys
// complete it.
#pragma once
#include "forms/form.h"

namespace korvella {

class Form5Window : public forms::Form {
public:
    Form5Window();

    // Live mode: kicks follow the options below instead of the playlist.
    forms::CheckBox Check1{this, "Check1", "Playlist Steuerung deaktivieren", 0};
    // One group: "Effektweiterschaltung bei Kickbass" An/Aus and
    // "Effekt Start / Stop bei Kickbass nur für Effekte ohne Stops" An/Aus.
    forms::OptionButton Option1{this, "Option1", "An", true};
    forms::OptionButton Option2{this, "Option2", "Aus"};
    forms::OptionButton Option3{this, "Option3", "An"};
    forms::OptionButton Option4{this, "Option4", "Aus"};
};

}  // namespace korvella
