#include "korvella/dmxcontrol/Form4.h"

#include <algorithm>

#include "forms/conv.h"
#include "forms/errors.h"
#include "korvella/dmxcontrol/Module1.h"
#include "korvella/main/Warten.h"
#include "korvella/windows.h"
#include "platform/windows/dialogs.h"
#include "platform/windows/windows.h"

namespace korvella {

using forms::tryStmt;
using platform::HWND;
using platform::SendMessage;

namespace {

constexpr std::uint32_t kRed = 0xFF;
constexpr std::uint32_t kGreen = 0xFF00;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kDarkGrey = 0x404040;
constexpr const char* kFound = "DMXC KommandoBox window found";
constexpr const char* kNotFound = "DMXC KommandoBox window not found...";

// The handle in a row of a window-handle list; a missing row or one without a number raises 13.
HWND handleIn(const forms::ListBox& list, int row) { return vb::CLng(list.List(row)); }

// A click as the mouse makes it: button-down, then button-up, nothing in between.
void press(HWND h) {
    tryStmt([&] { SendMessage(h, platform::WM_LBUTTONDOWN, 0, 0); });
    tryStmt([&] { SendMessage(h, platform::WM_LBUTTONUP, 0, 0); });
}

// A name as one line: a line break in it would split the playlist or idle row it goes into.
std::string oneLine(const std::string& name) {
    std::string out = vb::Replace(name, "\r\n", " ");
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

}  // namespace

Form4Window::Form4Window() : forms::Form("Form4", "DMXControl extern Effektsteuerung") {
    setBorderStyle(1);
    setBackColor(0);
    Move(3000, 1800, kNarrowWidth, 6600);

    Label2.Move(120, 120, 4095, 255);
    Label2.setCaption("In DMXControl gefundene KommandoBox Buttons");
    Label2.BackStyle = 0;
    Label2.setForeColor(kWhite);
    List2.Move(120, 420, 4095, 3660);
    List2.setBackColor(0);
    List2.setForeColor(kWhite);
    Text1.Move(120, 4200, 4095, 285);
    Text1.setBackColor(0);
    Text1.setForeColor(kWhite);
    Text1.MaxLength = 50;
    Command1.Move(120, 4560, 4095, 375);
    Command1.setBackColor(kWhite);
    Command2.Move(120, 5010, 4095, 375);
    Command2.setBackColor(0xC0FFC0);
    Label1.Move(0, 5880, kWideWidth, 255);
    Label1.setBackColor(kDarkGrey);
    Label1.setForeColor(kWhite);

    List4.Move(4440, 420, 4095, 3660);
    List4.setBackColor(kDarkGrey);
    List4.setForeColor(kGreen);
    Command3.Move(4440, 4200, 4095, 375);
    Command3.setBackColor(kGreen);
    Command4.Move(4440, 4650, 4095, 375);
    Command4.setBackColor(kRed);

    List1.Move(120, 120, 1215, 645);
    List1.setVisible(false);
    List3.Move(120, 840, 1215, 645);
    List3.setVisible(false);
    beenden.Move(1440, 120, 495, 285);
    beenden.setText("1");
    beenden.setVisible(false);

    Timer1.onTimer = [this] { Timer1_Timer(); };
    List2.onClick = [this] { List2_Click(); };
    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    Command4.onClick = [this] { Command4_Click(); };
}

void Form4Window::Form_Unload(int& cancel) {
    // While the program runs, closing only hides the window and its lists stay; at shutdown the
    // main window clears beenden first.
    tryStmt([&] {
        if (beenden.Text() == "1") cancel = 1;
    });
    tryStmt([&] { Hide(); });
}

// ---- Window finder ------------------------------------------------------------------------

void Form4Window::Timer1_Timer() {
    // A look-up that DMXControl did not answer in time tells nothing: status and lists stay.
    const auto found = platform::WindowRegistry::current().lookUpWindow("", "KommandoBox");
    if (!found) return;
    const HWND kb = *found;
    if (kb == 0) {
        Label1.setForeColor(kRed);
        Label1 = kNotFound;
        return;
    }
    Label1.setForeColor(kGreen);
    Label1 = kFound;
    if (!Module1::ListKommandoBoxChildren(kb, List1)) return;
    // DMXControl's last user control is its bank switch, no effect.
    if (List1.ListCount() > 0) List1.RemoveItem(List1.ListCount() - 1);
    // Names given here last as long as the number of buttons stays the same.
    if (List2.ListCount() != List1.ListCount()) {
        List2.Clear();
        for (int i = 1; i <= List1.ListCount(); ++i) List2.AddItem("Button " + vb::CStr(i));
        copyNamesToEditor();
    }
}

void Form4Window::copyNamesToEditor() {
    forms::ListBox& names = Form2->List3;
    names.Clear();
    for (int i = 0; i < List2.ListCount(); ++i) names.AddItem(oneLine(List2.List(i)));
}

// ---- Firing, renaming, adopting ------------------------------------------------------------

void Form4Window::List2_Click() {
    // In DMXControl's edit mode a button press edits instead of firing: switch it off first.
    HWND check = 0;
    bool checked = false;
    tryStmt([&] {
        check = handleIn(List3, 0);
        checked = Module1::CheckBoxState(check) == 1;
    });
    if (checked) {
        press(check);
        WartenMs(50, -1, 1);
    }
    const int rows = List2.ListCount();
    for (int i = 0; i < rows; ++i) {
        bool selected = false;
        tryStmt([&] { selected = List2.Selected(i); });
        if (!selected) continue;
        HWND button = 0;
        tryStmt([&] { button = handleIn(List1, i); });
        if (button) SendMessage(button, platform::WM_LBUTTONDOWN, 0, 0);
        WartenMs(70, -1, 1);
        if (button) SendMessage(button, platform::WM_LBUTTONUP, 0, 0);
    }
}

void Form4Window::Command1_Click() {
    const int buttons = List1.ListCount();
    for (int i = 0; i < buttons && i < List2.ListCount(); ++i) {
        if (!List2.Selected(i)) continue;
        List2.RemoveItem(i);
        List2.AddItem(oneLine(Text1.Text()), i);
    }
    copyNamesToEditor();
}

void Form4Window::Command3_Click() {
    // The finder must not renumber the list while it is rebuilt.
    Timer1.setEnabled(false);
    // The names of a reading that failed are not DMXControl's: the names stay as they are.
    if (namesRead_) {
        List2.Clear();
        for (int i = 0; i < List4.ListCount(); ++i) List2.AddItem(oneLine(List4.List(i)));
    }
    Timer1.setEnabled(true);
    copyNamesToEditor();
    narrow();
}

void Form4Window::Command4_Click() { narrow(); }

void Form4Window::narrow() {
    WartenMs(250, -1, 1);
    for (int i = 0; i < 4; ++i) {
        setWidth(Width() - 864);
        WartenMs(20, -1, 1);
    }
    setWidth(kNarrowWidth);
}

void Form4Window::widen() {
    // Fast at first, slowing down towards the full width (4324 twips in all).
    static constexpr double steps[] = {864, 864, 664, 488, 388, 288, 200, 190, 140, 90, 60,
                                       42.5, 12.25, 7.25, 6, 5, 4, 3.5, 2.5, 2.3, 1.7, 1};
    WartenMs(250, -1, 1);
    for (double step : steps) {
        setWidth(Width() + step);
        WartenMs(20, -1, 1);
    }
    setWidth(kWideWidth);
}

// ---- Reading the names DMXControl shows ------------------------------------------------------

void Form4Window::Command2_Click() {
    // A second click while a reading runs (its waits pump events) would interleave two readings.
    if (reading_) return;
    reading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reading_};
    if (Label1.Caption() == kNotFound) {
        platform::dialogs().msgBox("Das DMXControl KommandoBox Fenster wurde nicht gefunden.\r\nBitte öffnen Sie dieses davor.",
                                   platform::MB_OK | platform::MB_ICONINFORMATION, "KommandoBox Fenster nicht gefunden");
        return;
    }
    auto& windows = platform::WindowRegistry::current();
    // Whether this run switched DMXControl's edit mode on, so that it is switched off again.
    bool switchedOn = false;
    // Whether every name came from DMXControl; a read it did not answer leaves the run failed.
    bool complete = true;
    namesRead_ = false;
    List4.Clear();
    // From here on a step that fails is skipped and the run goes on.
    HWND kb = 0;
    tryStmt([&] { kb = windows.findWindow("", "KommandoBox"); });
    if (kb == 0) complete = false;
    tryStmt([&] { windows.moveWindow(kb, 100, 100, 700, 400, true); });

    // The name field shows a button's name only after the settings list has been paged up, and
    // the Page Up key is posted: each read finds the name of the button pressed one pass earlier.
    const int n = List1.ListCount();
    for (int i = 0; i <= n; ++i) {
        tryStmt([&] { windows.showWindow(kb, platform::SW_SHOWNORMAL); });
        tryStmt([&] {
            windows.setWindowPos(kb, platform::HWND_NOTOPMOST, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
        });
        WartenMs(2, -1, 1);
        // Pressed only on an answer: a check box whose state is unknown is left alone.
        bool off = false;
        tryStmt([&] { off = Module1::CheckBoxState(handleIn(List3, 0)) == 0; });
        if (off) {
            switchedOn = true;
            tryStmt([&] { press(handleIn(List3, 0)); });
        }
        tryStmt([&] { press(handleIn(List1, i)); });
        tryStmt([&] { press(handleIn(List3, List3.ListCount() - 1)); });
        tryStmt([&] { press(handleIn(List1, i)); });
        tryStmt([&] { press(handleIn(List3, List3.ListCount() - 1)); });
        tryStmt([&] {
            platform::PostMessage(handleIn(List3, List3.ListCount() - 1), platform::WM_KEYDOWN, platform::VK_PRIOR, 0);
        });
        // A pass whose read fails adds an empty name, so that row k stays the name of button k.
        std::string name;
        tryStmt([&] {
            constexpr int kChars = 32767;
            std::string buffer(platform::textBufferBytes(kChars), '\0');
            const HWND field = handleIn(List3, List3.ListCount() - 2);
            const auto c = windows.sendMessageTimeout(field, platform::WM_GETTEXT, kChars,
                                                      reinterpret_cast<platform::LPARAM>(buffer.data()), Module1::kOperatorWaitMs);
            if (!c) complete = false;
            name = vb::Left(buffer, static_cast<std::int32_t>(std::clamp<platform::LRESULT>(c.value_or(0), 0, kChars)));
        });
        List4.AddItem(name);
        WartenMs(3, -1, 1);
    }
    // The first read came before any button of this run was pressed.
    tryStmt([&] { List4.RemoveItem(0); });
    if (switchedOn) tryStmt([&] { press(handleIn(List3, 0)); });
    // DMXControl closed (or hung) during the run: the rows are no names.
    tryStmt([&] {
        if (windows.lookUpWindow("", "KommandoBox") != kb) complete = false;
    });
    namesRead_ = complete;
    if (!complete)
        platform::dialogs().msgBox("Die Namen konnten nicht aus DMXControl ausgelesen werden: DMXControl hat nicht "
                                   "geantwortet oder das KommandoBox Fenster ist nicht mehr offen.\r\n"
                                   "Die bisherigen Namen bleiben erhalten.",
                                   platform::MB_OK | platform::MB_ICONEXCLAMATION, "Namen aus DMX Control auslesen");
    tryStmt([&] { windows.setWindowPos(hWnd(), platform::HWND_NOTOPMOST, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE); });
    if (Width() != kWideWidth) widen();
}

}  // namespace korvella
