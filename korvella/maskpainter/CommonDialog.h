// The common dialog control as the program uses it: a file-open (and file-save) box with a
// settable filter and title that leaves the chosen path in FileName. A cancelled box leaves
// FileName as it was ("" the first time) and, with CancelError off, raises nothing.
#pragma once
#include <string>

namespace korvella {

class CommonDialog {
public:
    std::string Filter;       // "text|pattern|text|pattern|"
    std::string DialogTitle;
    std::string InitDir;
    std::string FileName;
    bool CancelError = false;  // on: a cancelled box raises 32755 "Cancel was selected."

    void ShowOpen();
    void ShowSave();
};

}  // namespace korvella
