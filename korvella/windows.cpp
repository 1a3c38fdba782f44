#include "korvella/windows.h"

namespace korvella {

// In the order the program's project lists them; the runtime loads frmBeats first.
forms::FormSlot<FrmBeatsWindow> frmBeats("frmBeats");
forms::FormSlot<Form1Window> Form1("Form1");
forms::FormSlot<Form2Window> Form2("Form2");
forms::FormSlot<Form3Window> Form3("Form3");
forms::FormSlot<Form4Window> Form4("Form4");
forms::FormSlot<Form5Window> Form5("Form5");
forms::FormSlot<FrmCustomWindow> frmCustom("frmCustom");

}  // namespace korvella
