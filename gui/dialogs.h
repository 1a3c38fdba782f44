// The dialog service shown with Qt: message boxes with the desktop's German button texts, icons
// and default button by style number, and the file open/save boxes with the "text|pattern|"
// filter. A box is modal for the operator but not for the program: while it is open the loop
// keeps running (timers tick, posted messages are handled), as the desktop's modal loops did.
#pragma once
#include <string>
#include <vector>

#include "platform/windows/dialogs.h"

class QWidget;

namespace gui {

class QtDialogs final : public platform::DialogService {
public:
    int msgBox(const std::string& text, int style, const std::string& title) override;
    std::optional<std::string> fileOpen(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;
    std::optional<std::string> fileSave(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;

    // The caption of an answer's button (IDOK ... IDNO), "&" marking the access key.
    static std::string buttonText(int answer);
    // Qt name filters for a "text|pattern;pattern|..." filter ("All files (*)" when empty).
    static std::vector<std::string> nameFilters(const std::string& filter);

    // Where a file box opens when the program names no folder: the folder of the file last
    // chosen, else the program folder.
    std::string startFolder() const;

private:
    // Pumps the loop until the box has closed (or the program ended).
    static void runUntilClosed(QWidget& box, const bool& closed);
    std::optional<std::string> fileBox(bool save, const std::string& filter, const std::string& title,
                                       const std::string& initialDir);

    std::string lastFolder_;
};

// Qt's own texts (the labels of the file boxes, its standard buttons) in German like the
// program's, whatever the desktop's language. False when Qt's German translations are not
// installed (Debian's qt6-translations-l10n); Qt's English texts stay then.
bool useGermanQtTexts();

}  // namespace gui
