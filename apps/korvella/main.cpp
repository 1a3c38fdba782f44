// korvella [--start] [--quit-after SECONDS] [--screenshot FILE]
// korvella --list-inputs
//
// The program: its windows on the real clock, shown by the Qt view, with the desktop's dialogs
// and key state. The audio control library beside this program is registered on every start (as
// its installer would), the delivered effects are copied into the program folder, and frmBeats
// is loaded first and shown; closing it ends the program through its shutdown steps.
//
// The input is device 0: the sound file named in KORVELLA_INPUT_FILE when set, otherwise the
// machine's first capture device. --start presses "Start" once the window is up; --quit-after
// closes the main window after that many seconds (with --screenshot saving the screen first).
// --list-inputs prints the input devices with their numbers and ends.
//
// DMXControl running under Wine is reached through korvella-relay.exe beside this program, run by
// wine64 in WINEPREFIX (KORVELLA_WINE=0: not started).
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/runtime.h"
#include "gui/dialogs.h"
#include "gui/keyboard.h"
#include "gui/view.h"
#include "korvella/windows.h"
#include "platform/component.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/keyboard.h"
#include "platform/wave.h"
#include "platform/wine_windows.h"
#include "player/assets.h"

namespace {

std::filesystem::path programFolder() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

int usage(const char* me) {
    std::fprintf(stderr, "usage: %s [--start] [--quit-after SECONDS] [--screenshot FILE]\n       %s --list-inputs\n", me, me);
    return 2;
}

// "Start" opens device 0.
int listInputs() {
    const platform::UINT n = platform::waveInGetNumDevs();
    if (n == 0) std::printf("no input device (set KORVELLA_INPUT_FILE to play a sound file)\n");
    for (platform::UINT i = 0; i < n; ++i) {
        platform::WAVEINCAPSA caps{};
        if (platform::waveInGetDevCapsA(i, &caps, sizeof caps) == 0)
            std::printf("%u%s %s\n", i, i == 0 ? " (used by Start)" : "", caps.szPname);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--list-inputs") return listInputs();
    QApplication app(argc, argv);
    bool start = false;
    double quitAfter = 0;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--start") {
            start = true;
        } else if (a == "--quit-after" && i + 1 < argc) {
            char* end = nullptr;
            quitAfter = std::strtod(argv[++i], &end);
            if (!end || *end || quitAfter <= 0) return usage(argv[0]);
        } else if (a == "--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
        } else {
            return usage(argv[0]);
        }
    }

    forms::Runtime runtime(forms::Runtime::ClockKind::Real);
    gui::View view(runtime.loop(), runtime.windows());
    gui::QtDialogs dialogs;
    platform::setDialogs(&dialogs);
    gui::X11Keyboard keys;
    platform::setKeyboard(&keys);
    forms::Application::title() = "Korvella";
    // DMXControl's windows under Wine, beside those of our own registry.
    std::string bridge;
    const auto wine = platform::WineWindows::start(programFolder().string(), &bridge);
    runtime.windows().setForeignWindows(wine.get());
    std::fprintf(stderr, "korvella: DMXControl bridge %s\n", bridge.c_str());
    forms::Application::setEndHook([&runtime] { runtime.loop().quit(); });

    try {
        player::installAssets(platform::appPath(), player::defaultAssetsFolder());
    } catch (const platform::VbError& e) {
        std::fprintf(stderr, "korvella: the program folder cannot be used: %s\n", e.description().c_str());
    }
    // Registered on every start, so that the program finds the library it was built with.
    const std::string library = (programFolder() / "libwavorix.so").string();
    if (platform::com::callRegistrationEntry(library, false) != platform::com::S_OK)
        std::fprintf(stderr, "korvella: cannot register %s: %s\n", library.c_str(),
                     platform::com::lastCreateError().c_str());

    forms::runHandler([] { korvella::frmBeats.Show(); });
    if (start) runtime.loop().post([] { forms::runHandler([] { korvella::frmBeats->cmdStart.setValue(true); }); });

    int status = 0;
    platform::LoopTimer quit([&] {
        if (!screenshot.empty()) {
            QScreen* screen = QGuiApplication::primaryScreen();
            if (!screen || !screen->grabWindow(0).save(QString::fromStdString(screenshot))) {
                std::fprintf(stderr, "korvella: cannot save %s\n", screenshot.c_str());
                status = 1;
            }
        }
        forms::runHandler([] { korvella::frmBeats.Unload(0); });
    });
    if (quitAfter > 0) {
        quit.setInterval(static_cast<int>(quitAfter * 1000));
        quit.setEnabled(true);
    }

    if (!forms::Application::ended()) runtime.loop().run();
    quit.setEnabled(false);
    forms::Application::reset();
    runtime.windows().setForeignWindows(nullptr);
    platform::setKeyboard(nullptr);
    platform::setDialogs(nullptr);
    return status;
}
