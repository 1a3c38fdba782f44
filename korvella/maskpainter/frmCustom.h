// "Maske erstellen", the mask painter. Here only the window the main window's menu shows; the
// canvas, brushes and export complete it.
#pragma once
#include "forms/form.h"

namespace korvella {

class FrmCustomWindow : public forms::Form {
public:
    FrmCustomWindow();
};

}  // namespace korvella
