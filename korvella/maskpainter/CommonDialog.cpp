#include "korvella/maskpainter/CommonDialog.h"

#include "platform/windows/dialogs.h"
#include "platform/error.h"

namespace korvella {

namespace {

void take(const std::optional<std::string>& chosen, const CommonDialog& dialog, std::string& fileName) {
    if (chosen) {
        fileName = *chosen;
        return;
    }
    if (dialog.CancelError) platform::raise(32755, "Cancel was selected.");
}

}  // namespace

void CommonDialog::ShowOpen() { take(platform::dialogs().fileOpen(Filter, DialogTitle, InitDir), *this, FileName); }

void CommonDialog::ShowSave() { take(platform::dialogs().fileSave(Filter, DialogTitle, InitDir), *this, FileName); }

}  // namespace korvella
