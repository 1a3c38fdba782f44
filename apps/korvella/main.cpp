// korvella [--start] [--effect FILE] [--maximise-projector] [--quit-after SECONDS] [--screenshot FILE]
// korvella --list-inputs | --help
//
// The program: its windows on the real clock, shown by the Qt view, with the desktop's dialogs
// (Qt's own texts in German) and key state. The audio control library beside this program is
// registered on every start (as its installer would), the delivered effects and the demo playlist
// are copied into the program folder, and frmBeats is loaded first and shown; closing it ends the
// program through its shutdown steps.
//
// The input is device 0: the sound file named in KORVELLA_INPUT_FILE when set, otherwise the
// system's default capture device. --start presses "Start" once the window is up; --effect then
// shows a movie or picture on the projector (as a double-click on it in the live desk does) and
// --maximise-projector presses "Beamer Maximieren"; --quit-after closes the main window after that
// many seconds (with --screenshot saving the screen first; --screenshot needs --quit-after).
// --list-inputs prints the input devices with their numbers and ends; it and --help need no display.
// Anything else needs one: without, one line says so and the exit status is 1.
//
// DMXControl running under Wine is reached through korvella-relay.exe beside this program, run by
// wine64 in WINEPREFIX (KORVELLA_WINE=0: not started).
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/runtime.h"
#include "gui/dialogs.h"
#include "gui/keyboard.h"
#include "gui/view.h"
#include "korvella/windows.h"
#include "platform/component.h"
#include "platform/loop/cpu_meter.h"
#include "platform/windows/dialogs.h"
#include "platform/storage/files.h"
#include "platform/windows/keyboard.h"
#include "platform/audio/wave.h"
#include "platform/windows/wine_windows.h"
#include "player/assets.h"

namespace {

std::filesystem::path programFolder() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

#ifndef KORVELLA_LIB_FROM_BIN
#define KORVELLA_LIB_FROM_BIN "."
#endif
#ifndef KORVELLA_DATA_FROM_BIN
#define KORVELLA_DATA_FROM_BIN "."
#endif

// A part of the program: beside it in the build folder, else where the installation puts it.
std::filesystem::path programPart(const char* installedFolder, const char* name) {
    const auto beside = programFolder() / name;
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) return beside;
    return (programFolder() / installedFolder / name).lexically_normal();
}

void printUsage(std::FILE* to, const char* me) {
    std::fprintf(to,
                 "usage: %s [--start] [--effect FILE] [--maximise-projector] [--quit-after SECONDS] [--screenshot FILE]\n"
                 "       %s --list-inputs | --help\n",
                 me, me);
}

// A bad command line: what is wrong with it, then the usage.
int usage(const char* me, const std::string& why) {
    std::fprintf(stderr, "korvella: %s\n", why.c_str());
    printUsage(stderr, me);
    return 2;
}

int help(const char* me) {
    printUsage(stdout, me);
    std::printf("\n"
                "Listens to the sound input, counts kick-drum beats and plays the light show on the projector window.\n"
                "\n"
                "  --start             press \"Start\" once the main window is up\n"
                "  --effect FILE       then show FILE (a movie or picture) on the projector\n"
                "  --maximise-projector  then press \"Beamer Maximieren\"\n"
                "  --quit-after S      close the main window after S seconds\n"
                "  --screenshot FILE   with --quit-after: save the screen (PNG) just before the window closes\n"
                "  --list-inputs       print the input devices; \"Start\" opens device 0\n"
                "  --help              print this text\n"
                "\n"
                "Environment:\n"
                "  KORVELLA_INPUT_FILE=FILE   play a sound file as input device 0 (WAV, FLAC, Ogg ...)\n"
                "  KORVELLA_INPUT_LOOP=1      play that file again at its end\n"
                "  KORVELLA_HOME=DIR          the program folder (default ~/.local/share/korvella)\n"
                "  KORVELLA_NO_SYSTEM_AUDIO=1 leave out the machine's own capture devices\n"
                "  KORVELLA_WINE=0            do not start the DMXControl bridge under Wine\n"
                "  WINEPREFIX=DIR             the Wine prefix DMXControl runs in (default ~/.wine)\n"
                "  KORVELLA_CPU_METER=S       with --quit-after: print where the CPU time went from S seconds after\n"
                "                             the start until the window closes\n");
    return 0;
}

// "Start" opens device 0; how another is chosen.
int listInputs() {
    const platform::UINT n = platform::waveInGetNumDevs();
    if (n == 0) std::printf("no input device (set KORVELLA_INPUT_FILE to play a sound file)\n");
    // The file's device is listed whether or not the file is there; "Start" then cannot open it.
    const char* file = std::getenv("KORVELLA_INPUT_FILE");
    const bool fileMissing = file && *file && !platform::fileExists(file);
    for (platform::UINT i = 0; i < n; ++i) {
        if (i == 0 && fileMissing) {
            std::printf("0 (used by Start) missing: KORVELLA_INPUT_FILE names no file: %s\n", file);
            continue;
        }
        platform::WAVEINCAPSA caps{};
        if (platform::waveInGetDevCapsA(i, &caps, sizeof caps) == 0)
            std::printf("%u%s %s%s\n", i, i == 0 ? " (used by Start)" : "", caps.szPname,
                        platform::waveInIsSystemDefault(i) ? " (the system's default input)" : "");
    }
    if (n > 0 && platform::waveInIsSystemDefault(0))
        std::printf("\n\"Start\" uses the system's default input. To listen to another card, choose it as the input in\n"
                    "the desktop's sound settings, or `pactl set-default-source SOURCE` (`pactl list short sources`\n"
                    "lists them), or for one run: PULSE_SOURCE=SOURCE korvella\n");
    else if (n > 0 && file && *file && !fileMissing)
        std::printf("\n\"Start\" plays the sound file of KORVELLA_INPUT_FILE; unset it to listen to the system's default input.\n");
    return 0;
}

// While Qt starts: its messages are held back, and the fatal one it gives when no display can be
// reached (no platform plugin could start) becomes one line of our own instead of an abort.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<HeldMessage> g_startMessages;
QtMessageHandler g_qtHandler = nullptr;

void holdStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        g_startMessages.push_back({type, context.category ? context.category : "", text});
        return;
    }
    // Why, in Qt's words where it gave some (its first warning, e.g. "could not connect to display :5").
    std::string why;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        why = "DISPLAY and WAYLAND_DISPLAY are not set";
    else if (!g_startMessages.empty())
        why = g_startMessages.front().text.simplified().toStdString();
    else
        why = "Qt cannot use it";
    std::fprintf(stderr, "korvella: needs a display (%s); --help and --list-inputs do not\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments are read before Qt starts, so that --help and --list-inputs need no display.
    bool start = false, maximise = false;
    double quitAfter = 0;
    std::string effect;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool valueFollows = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            return help(argv[0]);
        } else if (a == "--list-inputs") {
            if (argc != 2) return usage(argv[0], "--list-inputs takes no other argument");
            return listInputs();
        } else if (a == "--start") {
            start = true;
        } else if (a == "--effect") {
            if (!valueFollows) return usage(argv[0], "--effect needs a FILE");
            effect = argv[++i];
        } else if (a == "--maximise-projector") {
            maximise = true;
        } else if (a == "--quit-after") {
            if (!valueFollows) return usage(argv[0], "--quit-after needs a number of SECONDS");
            char* end = nullptr;
            quitAfter = std::strtod(argv[++i], &end);
            // Up to a day: the interval is counted in milliseconds.
            if (!end || *end || !(quitAfter > 0) || quitAfter > 86400)
                return usage(argv[0], std::string("--quit-after takes seconds above 0 and up to 86400, not \"") + argv[i] + "\"");
        } else if (a == "--screenshot") {
            if (!valueFollows) return usage(argv[0], "--screenshot needs a FILE");
            screenshot = argv[++i];
        } else {
            return usage(argv[0], "unknown argument \"" + a + "\"");
        }
    }
    // The screen is saved as --quit-after closes the window; without it there is no moment to.
    if (!screenshot.empty() && quitAfter <= 0) return usage(argv[0], "--screenshot needs --quit-after");
    // The loop hands Qt its events at every millisecond. Qt's own event dispatcher does that for
    // about two thirds of what GLib's main loop costs, and nothing here needs GLib's loop (the
    // file boxes are Qt's own). Set in the environment, the operator's choice stands.
    ::setenv("QT_NO_GLIB", "1", 0);
    g_qtHandler = qInstallMessageHandler(holdStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    // Started after all: what Qt said on the way goes out as it would have.
    for (const HeldMessage& m : g_startMessages)
        qt_message_output(m.type, QMessageLogContext(nullptr, 0, nullptr, m.category.c_str()), m.text);
    g_startMessages.clear();
    if (!gui::useGermanQtTexts())
        std::fprintf(stderr, "korvella: Qt's German texts are not installed (Debian package qt6-translations-l10n); "
                             "its dialogs stay in English\n");

    forms::Runtime runtime(forms::Runtime::ClockKind::Real);
    gui::View view(runtime.loop(), runtime.windows());
    gui::QtDialogs dialogs;
    platform::setDialogs(&dialogs);
    gui::X11Keyboard keys;
    platform::setKeyboard(&keys);
    forms::Application::title() = "Korvella";
    // DMXControl's windows under Wine, beside those of our own registry.
    std::string bridge;
    const auto wine = platform::WineWindows::start(
        {programFolder().string(), programPart(KORVELLA_LIB_FROM_BIN, "korvella-relay.exe").parent_path().string()}, &bridge);
    runtime.windows().setForeignWindows(wine.get());
    std::fprintf(stderr, "korvella: DMXControl bridge %s\n", bridge.c_str());
    forms::Application::setEndHook([&runtime] { runtime.loop().quit(); });

    try {
        player::installAssets(platform::appPath(), programPart(KORVELLA_DATA_FROM_BIN, "assets").string());
    } catch (const platform::VbError& e) {
        std::fprintf(stderr, "korvella: the program folder cannot be used: %s\n", e.description().c_str());
    }
    // Registered on every start, so that the program finds the library it was built with.
    const std::string library = programPart(KORVELLA_LIB_FROM_BIN, "libwavorix.so").string();
    if (platform::com::callRegistrationEntry(library, false) != platform::com::S_OK)
        std::fprintf(stderr, "korvella: cannot register %s: %s\n", library.c_str(),
                     platform::com::lastCreateError().c_str());

    forms::runHandler([] { korvella::frmBeats.Show(); });
    if (start)
        runtime.loop().post([&effect, maximise] {
            forms::runHandler([] { korvella::frmBeats->cmdStart.setValue(true); });
            if (!effect.empty()) forms::runHandler([&effect] { korvella::Form1->ShockwaveFlash1.LoadMovie(0, effect); });
            if (maximise) forms::runHandler([] { korvella::frmBeats->Command10.setValue(true); });
        });

    // KORVELLA_CPU_METER=S: the CPU meter measures from S seconds after the start until
    // --quit-after closes the window, and its report goes to the error output.
    platform::LoopTimer meterStart([&meterStart] {
        meterStart.setEnabled(false);
        platform::cpumeter::begin();
    });
    if (const char* warmUp = std::getenv("KORVELLA_CPU_METER"); warmUp && quitAfter > 0) {
        meterStart.setInterval(std::max(1, static_cast<int>(std::atof(warmUp) * 1000)));
        meterStart.setEnabled(true);
    }

    int status = 0;
    platform::LoopTimer quit([&] {
        if (const std::string meter = platform::cpumeter::report(); !meter.empty())
            std::fprintf(stderr, "korvella: %s\n", meter.c_str());
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
