#include "korvella/maskpainter/frmCustom.h"

namespace korvella {

FrmCustomWindow::FrmCustomWindow() : forms::Form("frmCustom", "Maske erstellen") { Move(2400, 1200, 10800, 8400); }

}  // namespace korvella
