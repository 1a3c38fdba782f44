// The mask painter on virtual time: its own program folder, a fixed list of screen fonts, the
// graphics library reset, scripted dialogs.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "forms/application.h"
#include "korvella/maskpainter/ScreenFonts.h"
#include "platform/graphics/gdiplus.h"
#include "korvella/windows.h"
#include "support/fixture.h"

namespace mask_test {

inline std::vector<std::string> fakeFonts(int n) {
    std::vector<std::string> fonts;
    for (int i = 0; i < n; ++i) fonts.push_back("Font " + std::to_string(100 + i));
    return fonts;
}

class MaskPainterTest : public testsupport::VirtualTest {
protected:
    MaskPainterTest() {
        korvella::gdiplus::resetForTests();
        korvella::setScreenFontsForTests(fakeFonts(25));
        static int counter = 0;
        home = std::filesystem::temp_directory_path() /
               ("korvella-mask-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(home);
        if (const char* old = std::getenv("KORVELLA_HOME")) oldHome = old;
        ::setenv("KORVELLA_HOME", home.c_str(), 1);
    }

    ~MaskPainterTest() override {
        forms::Application::reset();
        korvella::gdiplus::resetForTests();
        korvella::clearScreenFontsForTests();
        if (oldHome)
            ::setenv("KORVELLA_HOME", oldHome->c_str(), 1);
        else
            ::unsetenv("KORVELLA_HOME");
        std::error_code ec;
        std::filesystem::permissions(home, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(home, ec);
    }

    korvella::FrmCustomWindow& mask() { return korvella::frmCustom(); }
    const platform::Bitmap& canvas() { return mask().picBox.image(); }
    std::uint32_t at(int x, int y) { return canvas().pixel(x, y); }

    // The operator's mouse on the canvas (pixels): 1 left, 2 right.
    void press(double x, double y, int button = 1) { mask().picBox.onMouseDown(button, 0, x, y); }
    void drag(double x, double y, int buttons = 1) { mask().picBox.onMouseMove(buttons, 0, x, y); }

    std::filesystem::path maskFile() const { return home / "maske.swf"; }

    std::filesystem::path home;
    std::optional<std::string> oldHome;
};

inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kRed = 0x0000FF;

}  // namespace mask_test
