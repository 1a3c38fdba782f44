#include "support.h"

namespace guitest {

QApplication& app() {
    // Made once and kept: Qt allows one application object per program.
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

std::vector<std::string>& events() {
    static std::vector<std::string> log;
    return log;
}

std::uint32_t shownPixel(QWidget* widget, int x, int y) {
    const QColor c = widget->grab().toImage().pixelColor(x, y);
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

}  // namespace guitest

// Fontconfig keeps a cache for the life of the program; the leak checker of sanitized builds is
// told so.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
