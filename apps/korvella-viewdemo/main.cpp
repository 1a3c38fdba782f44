// korvella-viewdemo [--screenshot FILE] [--after MS]
// Shows a test form with one control of each kind and a borderless "projector" whose movie
// player plays a sample effect (Effekts/Balken.swf) under dimmer 12 (layer 999), both from the
// assets built beside the program, on the program's own loop. With --screenshot it saves a
// picture of the whole screen after MS milliseconds (default 1500) and ends.
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <filesystem>
#include <string>

#include "forms/errors.h"
#include "forms/form.h"
#include "forms/runtime.h"
#include "gui/dialogs.h"
#include "gui/keyboard.h"
#include "gui/view.h"
#include "korvella/main/FlashPlayerControl.h"
#include "platform/windows/dialogs.h"
#include "platform/storage/files.h"
#include "platform/windows/keyboard.h"
#include "player/assets.h"

using namespace forms;

namespace {

class DemoForm final : public Form {
public:
    DemoForm() : Form("DemoForm", "Korvella – Testfenster") {
        Move(300, 300, 9600, 8100);
        Text1.Move(120, 120, 2400, 315);
        Text1.setText("Eingabe");
        Label1.Move(2640, 150, 2400, 255);
        Label1.setCaption("Beat: 0");
        Command1.Move(5160, 90, 1500, 375);
        Check1.Move(6840, 120, 1500, 315);
        Frame1.Move(120, 600, 2400, 1200);
        Option1.Move(120, 300, 2000, 285);
        Option2.Move(120, 700, 2000, 285);
        List1.Move(2640, 600, 2400, 1500);
        for (const char* s : {"Intro.swf", "Strobo.swf", "Farbwechsel.swf", "Puls.swf", "Kamera.jpg"}) List1.AddItem(s);
        List1.setListIndex(1);
        Combo1.Move(5160, 600, 2000, 315);
        for (const char* s : {"Dimmer 0 %", "Dimmer 48 %", "Dimmer 100 %"}) Combo1.AddItem(s);
        Combo1.setListIndex(1);
        HScroll1.Move(120, 2000, 4920, 255);
        VScroll1.Move(7320, 600, 255, 1500);
        Picture1.Move(120, 2400, 3600, 2400);
        Picture1.setScaleMode(3);
        Picture1.setBackColor(RGB(0, 0, 0));
        Picture1.Cls();
        for (int i = 0; i < 24; ++i)
            Picture1.Line(i * 9, 0, 230 - i * 9, 155, RGB(40 + i * 9, 255 - i * 9, 128));
        Shape1.Move(3960, 2400, 1200, 1200);
        Shape1.FillStyle = 0;
        Shape1.setFillColor(RGB(255, 200, 0));
        Line1.BorderColor = RGB(200, 0, 0);
        Files1.Move(5400, 2400, 2200, 1800);
        Dirs1.Move(3960, 3800, 1300, 1000);
        try {
            Files1.setPattern("*.*");
            Files1.setPath(platform::appPath());
            Dirs1.setPath("/usr");
        } catch (const VbError&) {
            // A folder that is not there leaves the lists empty.
        }

        Command1.onClick = [this] {
            const int answer = platform::dialogs().msgBox("Playlist speichern?", 3 + 32, "");
            Label1.setCaption("Antwort: " + std::to_string(answer));
        };
        HScroll1.onScroll = HScroll1.onChange = [this] { Text1.setText("Tempo " + std::to_string(HScroll1.Value())); };
        Timer1.onTimer = [this] {
            ++beats;
            std::string keys;
            for (int vk = 112; vk <= 123; ++vk)
                if (platform::keyboard().getAsyncKeyState(vk)) keys += " F" + std::to_string(vk - 111);
            Label1.setCaption("Beat: " + std::to_string(beats) + keys);
        };
        mnuOpen.onClick = [] { platform::dialogs().fileOpen("Effekte|*.swf;*.jpg|Alle Dateien|*.*", "", ""); };
        mnuExit.onClick = [] { Application::End(); };
    }

    TextBox Text1{this, "Text1"};
    Label Label1{this, "Label1"};
    CommandButton Command1{this, "Command1", "&Meldung"};
    CheckBox Check1{this, "Check1", "Auto-Beat", 1};
    Frame Frame1{this, "Frame1", "Ebene"};
    OptionButton Option1{this, "Option1", "Effekt", true, &Frame1};
    OptionButton Option2{this, "Option2", "Maske", false, &Frame1};
    ListBox List1{this, "List1"};
    ComboBox Combo1{this, "Combo1"};
    ScrollBar HScroll1{this, "HScroll1", true, 60, 200, 120};
    ScrollBar VScroll1{this, "VScroll1", false, 10, 0, 4};
    PictureBox Picture1{this, "Picture1"};
    Shape Shape1{this, "Shape1", 3};
    LineControl Line1{this, "Line1", 3960, 3700, 5200, 3700};
    FileListBox Files1{this, "Files1"};
    DirListBox Dirs1{this, "Dirs1"};
    Timer Timer1{this, "Timer1", 500, true};
    Menu mnuFile{this, "mnuFile", "&Datei"};
    Menu mnuOpen{this, "mnuOpen", "Ö&ffnen …", &mnuFile};
    Menu mnuSep{this, "mnuSep", "-", &mnuFile};
    Menu mnuExit{this, "mnuExit", "&Beenden", &mnuFile};
    Menu mnuHelp{this, "mnuHelp", "&Hilfe"};
    int beats = 0;
};

class ProjectorForm final : public Form {
public:
    ProjectorForm() : Form("ProjectorForm", "Projektor") {
        setBorderStyle(0);
        setBackColor(RGB(0, 0, 0));
        Move(10500, 900, 7200, 5760);
        Player.Move(0, 0, 7200, 5400);
        DragBar.BorderStyle = 0;
        DragBar.Move(0, 5400, 7200, 360);
        DragBar.setBackColor(RGB(64, 64, 64));
        DragBar.Cls();
        DragBar.onMouseDown = [this](int button, int, double, double) {
            // The desktop's way to drag a captionless window: as if its title bar were pressed.
            if (button == 1) platform::SendMessage(hWnd(), platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, 0);
        };
        DragBar.onDblClick = [this] { setWindowState(WindowState() == 2 ? 0 : 2); };
        // As the show starts: an effect in the base layer, the dimmer's veil over everything.
        const std::filesystem::path assets = player::defaultAssetsFolder();
        Player.LoadMovie(0, (assets / "Effekts" / "Balken.swf").string());
        Player.LoadMovie(999, (assets / "Dimmer" / "12.swf").string());
        Player.Play();
    }
    korvella::FlashPlayerControl Player{this, "Player"};
    PictureBox DragBar{this, "DragBar"};
};

FormSlot<DemoForm> demoForm("DemoForm");
FormSlot<ProjectorForm> projectorForm("ProjectorForm");

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string screenshot;
    int afterMs = 1500;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (a == "--after" && i + 1 < argc) {
            afterMs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--screenshot FILE] [--after MS]\n", argv[0]);
            return 2;
        }
    }

    Runtime runtime(Runtime::ClockKind::Real);
    gui::View view(runtime.loop(), runtime.windows());
    gui::QtDialogs dialogs;
    platform::setDialogs(&dialogs);
    gui::X11Keyboard keys;
    platform::setKeyboard(&keys);
    std::fprintf(stderr, "korvella-viewdemo: platform %s, keyboard: %s\n", qPrintable(QGuiApplication::platformName()),
                 keys.global() ? "X11 desktop key state (XQueryKeymap)" : "Qt key events of the program's windows");
    Application::title() = "Korvella";
    Application::setEndHook([&runtime] { runtime.loop().quit(); });

    demoForm.Show();
    projectorForm.Show();

    int status = 0;
    platform::LoopTimer shot([&] {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen || !screen->grabWindow(0).save(QString::fromStdString(screenshot))) {
            std::fprintf(stderr, "korvella-viewdemo: cannot save %s\n", screenshot.c_str());
            status = 1;
        } else {
            std::fprintf(stderr, "korvella-viewdemo: saved %s\n", screenshot.c_str());
        }
        Application::End();
    });
    if (!screenshot.empty()) {
        shot.setInterval(afterMs);
        shot.setEnabled(true);
    }

    runtime.loop().run();
    shot.setEnabled(false);
    Application::reset();
    platform::setKeyboard(nullptr);
    platform::setDialogs(nullptr);
    return status;
}
