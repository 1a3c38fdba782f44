// The single global instance of every window of the program. Touching one (frmBeats->Text1,
// Form2->Text3) loads it hidden first if it is not loaded; after an unload the next touch builds
// a fresh one with its design values.
#pragma once
#include "forms/form.h"
#include "korvella/dmxcontrol/Form3.h"
#include "korvella/dmxcontrol/Form4.h"
#include "korvella/live/Form5.h"
#include "korvella/main/Form1.h"
#include "korvella/main/frmBeats.h"
#include "korvella/maskpainter/frmCustom.h"
#include "korvella/playlist/Form2.h"

namespace korvella {

extern forms::FormSlot<FrmBeatsWindow> frmBeats;
extern forms::FormSlot<Form1Window> Form1;
extern forms::FormSlot<Form2Window> Form2;
extern forms::FormSlot<Form3Window> Form3;
extern forms::FormSlot<Form4Window> Form4;
extern forms::FormSlot<Form5Window> Form5;
extern forms::FormSlot<FrmCustomWindow> frmCustom;

}  // namespace korvella
