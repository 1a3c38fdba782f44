#include "korvella/playlist/Form2.h"
#include "korvella/playlist/PlaylistFile.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>

#include "forms/application.h"
#include "forms/conv.h"
#include "forms/errors.h"
#include "korvella/main/Warten.h"
#include "korvella/dmxcontrol/Module1.h"
#include "korvella/windows.h"
#include "platform/windows/dialogs.h"
#include "platform/error.h"
#include "platform/storage/files.h"
#include "platform/storage/text.h"
#include "platform/windows/windows.h"

namespace korvella {

using forms::condOrTrue;
using forms::tryStmt;
using namespace playlist;

namespace {

constexpr int kStyleInfo = platform::MB_OK | platform::MB_ICONINFORMATION;
constexpr const char* kNumbersOnly = "Bitte nur Zahlen als Eingabewert verwenden";

// Piece n of a text split at a delimiter; a missing piece is "subscript out of range".
std::string piece(const std::string& text, const std::string& delimiter, std::size_t n) {
    const auto parts = vb::Split(text, delimiter);
    if (n >= parts.size()) platform::raise(9);
    return parts[n];
}

// An entry's number is its third blank-separated word.
std::string entryNumber(const std::string& entry) { return piece(entry, " ", 2); }

// An empty entry (the missing row of an empty playlist, tested every tick) holds no keyword.
bool contains(const std::string& text, const char* keyword) { return !text.empty() && vb::InStr(text, keyword) > 0; }

// A button of the other program, pressed or released as a click would.
void send(const std::string& handleText, platform::UINT message) {
    platform::SendMessage(vb::CLng(handleText), message, 0, 0);
}

// A condition whose failure counts as "no" (where nothing relies on the classic rule).
bool condOrFalse(forms::FunctionRef<bool()> condition) {
    bool result = false;
    tryStmt([&] { result = condition(); });
    return result;
}

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// The program folder as the program joins names to it ("\" between folders).
std::string appFolder() { return platform::appPath(); }

// More than any real playlist or idle list holds (a row is a name and a path): a larger file is
// refused before it is read.
constexpr std::size_t kMaxListFileBytes = 16 * 1024 * 1024;

// The value of an idle item: a DMXControl item's index is the digits after the last "|" (its name
// may hold anything); an effect item's path is everything after the first separator that a path
// follows, else after the first separator.
std::string idleValue(const std::string& item) {
    const std::size_t bar = item.rfind('|');
    if (contains(item, kDmxc) && bar != std::string::npos && isDigits(item.substr(bar + 1)) &&
        contains(item.substr(0, bar + 1), kIdleSeparator))
        return item.substr(bar + 1);
    const std::string separator = kIdleSeparator;
    std::size_t first = item.find(separator);
    if (first == std::string::npos) platform::raise(9);
    for (std::size_t at = first; at != std::string::npos; at = item.find(separator, at + 1))
        if (startsStoredValue(item.substr(at + separator.size()))) return item.substr(at + separator.size());
    return item.substr(first + separator.size());
}

// The path as the operator finds it on the disk, and the system's reason with the runtime's words
// ("Path/File access error: is a pipe (FIFO), not a file").
void reportFileError(const std::string& what, const std::string& path, const platform::VbError& e) {
    std::string why = e.description();
    const std::string reason = platform::lastSystemReason();
    if (!reason.empty() && why.find(reason) == std::string::npos) why += ": " + reason;
    platform::dialogs().msgBox(what + "\r\n" + platform::diskPath(path) + "\r\n\r\n" + why,
                               platform::MB_OK | platform::MB_ICONEXCLAMATION, forms::Application::title());
}

// After a save: names the rows whose characters the file's 8-bit code page cannot hold, which
// were written with "?" in their place (an effect row then points to a file that is not there).
// `shown(i)` is how row i is named in the message.
void reportChangedRows(const std::string& path, const std::vector<std::string>& lines,
                       const std::function<std::string(int)>& shown) {
    constexpr int kListed = 10;
    std::string rows;
    int changed = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (platform::cp1252Holds(lines[i])) continue;
        if (++changed <= kListed) rows += "\r\nEintrag " + vb::CStr(i + 1) + ": " + shown(i);
    }
    if (changed == 0) return;
    if (changed > kListed) rows += "\r\n... und " + vb::CStr(changed - kListed) + " weitere";
    platform::dialogs().msgBox("Diese Einträge enthalten Zeichen, die die Datei nicht speichern kann; sie wurden mit \"?\" "
                               "an deren Stelle gespeichert:\r\n" + platform::diskPath(path) + "\r\n" + rows,
                               platform::MB_OK | platform::MB_ICONEXCLAMATION, forms::Application::title());
}

}  // namespace

Form2Window::Form2Window() : forms::Form("Form2", "Rorido Zovivedid Creation Window 0.62 Beta") {
    layout();

    // Design values.
    Text3.setText("0");
    Text4.setText("0");
    Text5.setText("0");
    online.setText("0");
    zoom1.setText("0");
    zoom2.setText("0");
    zoom3.setText("0");
    Text1.MaxLength = 5;
    Text1.setText("4");
    Text2.MaxLength = 7;
    Text2.setText("5000");
    Text6.MaxLength = 5;
    Text6.setText("4");
    Text7.MaxLength = 7;
    Text7.setText("5000");
    Text8.setText("12");
    Text9.setText("5000");
    Label1.setCaption("Nach ablauf der Playlist die Playlist:");
    Label2.setCaption("Licht Effekt einfügen:");
    for (forms::Label* l : {&Label3, &Label5, &Label7}) l->setCaption("Kickbässe");
    for (forms::Label* l : {&Label4, &Label6, &Label8}) l->setCaption("Zeit in Milli Sekunden");
    Label14.setCaption("10 Sekunden");
    Label15.setCaption("10 Sekunden");
    Label16.setCaption("Leerlauf Effekte wiederholen nach");
    Label17.setCaption("Leerlauf Effekte Eintrittszeit");
    HScroll1.SmallChange = 1, HScroll1.LargeChange = 5;
    HScroll2.SmallChange = 1, HScroll2.LargeChange = 5;
    File1.setPattern("*.swf;*.jpg");
    File1.MultiSelect = 2;
    List3.MultiSelect = 2;
    for (forms::Control* hidden : std::initializer_list<forms::Control*>{&List2, &Text10, &online, &HandleDMXC, &zoom1,
                                                                        &zoom2, &zoom3})
        hidden->setVisible(false);

    // Handlers.
    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    Command8.onClick = [this] { Command8_Click(); };
    Command9.onClick = [this] { Command9_Click(); };
    Command17.onClick = [this] { Command17_Click(); };
    Command18.onClick = [this] { Command18_Click(); };
    Command7.onClick = [this] { Command7_Click(); };
    Command10.onClick = [this] { Command10_Click(); };
    Command11.onClick = [this] { Command11_Click(); };
    Command12.onClick = [this] { Command12_Click(); };
    Command15.onClick = [this] { Command15_Click(); };
    Command19.onClick = [this] { Command19_Click(); };
    Check1.onClick = [this] { Check1_Click(); };
    Check2.onClick = [this] { Check2_Click(); };
    Text1.onKeyPress = [this](int& k) { Text1_KeyPress(k); };
    Text2.onKeyPress = [this](int& k) { Text2_KeyPress(k); };
    Text6.onKeyPress = [this](int& k) { Text6_KeyPress(k); };
    Text7.onKeyPress = [this](int& k) { Text7_KeyPress(k); };
    Text1.onLostFocus = [this] { Text1_LostFocus(); };
    Text2.onLostFocus = [this] { Text2_LostFocus(); };
    Text6.onLostFocus = [this] { Text6_LostFocus(); };
    Text7.onLostFocus = [this] { Text7_LostFocus(); };
    List1.onClick = [this] { List1_Click(); };
    List4.onClick = [this] { List4_Click(); };
    List1.onDblClick = [this] { List1_DblClick(); };
    List1.onKeyDown = [this](int& k, int shift) { List1_KeyDown(k, shift); };
    List1.onMouseDown = [this](int b, int shift, double x, double y) { List1_MouseDown(b, shift, x, y); };
    Command4.onClick = [this] { Command4_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    Command5.onClick = [this] { Command5_Click(); };
    Command6.onClick = [this] { Command6_Click(); };
    Timer1A.onTimer = [this] { Timer1A_Timer(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };
    Text5.onChange = [this] { Text5_Change(); };
    zoomin.onTimer = [this] { zoomin_Timer(); };
    zoomout.onTimer = [this] { zoomout_Timer(); };
    zoomout2.onTimer = [this] { zoomout2_Timer(); };
    HScroll1.onChange = [this] { HScroll1_Change(); };
    HScroll2.onChange = [this] { HScroll2_Change(); };
    leerlauf.onTimer = [this] { leerlauf_Timer(); };
    leerlaufw.onTimer = [this] { leerlaufw_Timer(); };
    Command16.onClick = [this] { Command16_Click(); };
    Command13.onClick = [this] { Command13_Click(); };
    Command14.onClick = [this] { Command14_Click(); };
    Dir1.onChange = [this] { Dir1_Change(); };
    File1.onClick = [this] { File1_Click(); };
    File1.onDblClick = [this] { File1_DblClick(); };
    List3.onClick = [this] { List3_Click(); };
    List3.onDblClick = [this] { List3_DblClick(); };
}

void Form2Window::layout() {
    // Twips. Playlist on the left with the insert options and command buttons under it; the
    // number groups and the preview in the middle; explorer, DMXControl effects and idle effects
    // on the right.
    setClientSize(14400, 9720);
    Move(1200, 1200, Width(), Height());

    Frame1.Move(120, 120, 5280, 6600);
    List1.Move(120, 240, 4560, 4110);
    List2.Move(4740, 1560, 420, 300);
    Command13.Move(4740, 240, 420, 600);
    Command14.Move(4740, 900, 420, 600);
    Text3.Move(120, 4440, 735, 285);
    Text4.Move(960, 4440, 735, 285);
    Text5.Move(1800, 4440, 735, 285);
    Command4.Move(120, 4800, 2535, 375);
    Command3.Move(2700, 4800, 2460, 375);
    Command5.Move(120, 5220, 2535, 375);
    Command6.Move(2700, 5220, 2460, 375);
    Check8.Move(120, 5640, 5040, 255);
    Label1.Move(120, 5940, 5040, 255);
    Option1.Move(120, 6210, 1800, 255);
    Option2.Move(1980, 6210, 3180, 255);

    Label2.Move(120, 6840, 2400, 255);
    Check1.Move(120, 7110, 2520, 255);
    Check2.Move(2760, 7110, 2640, 255);
    Command7.Move(120, 7500, 2580, 375);
    Command10.Move(2760, 7500, 2640, 375);
    Command11.Move(120, 7920, 2580, 375);
    Command12.Move(2760, 7920, 2640, 375);
    Command15.Move(120, 8340, 2580, 375);
    Command19.Move(2760, 8340, 2640, 375);

    struct Group {
        forms::Frame* frame;
        forms::Label* kickLabel;
        forms::TextBox* kicks;
        forms::CommandButton* addKicks;
        forms::Label* timeLabel;
        forms::TextBox* time;
        forms::CommandButton* addTime;
    };
    const Group groups[] = {{&Frame2, &Label3, &Text1, &Command1, &Label4, &Text2, &Command2},
                            {&Frame3, &Label5, &Text6, &Command8, &Label6, &Text7, &Command9},
                            {&Frame4, &Label7, &Text8, &Command17, &Label8, &Text9, &Command18}};
    double top = 120;
    for (const Group& g : groups) {
        g.frame->Move(5520, top, 4200, 1215);
        g.kickLabel->Move(120, 270, 1935, 255);
        g.kicks->Move(120, 570, 975, 285);
        g.addKicks->Move(1140, 540, 960, 345);
        g.timeLabel->Move(2160, 270, 1935, 255);
        g.time->Move(2160, 570, 975, 285);
        g.addTime->Move(3180, 540, 900, 345);
        top += 1320;
    }
    Frame5.Move(5520, 4080, 4200, 3480);
    ShockwaveFlash1.Move(120, 240, 3960, 3120);

    Frame6.Move(9840, 120, 4440, 3600);
    Dir1.Move(120, 240, 2040, 2900);
    File1.Move(2220, 240, 2100, 2900);
    Check6.Move(120, 3240, 4200, 255);

    Frame7.Move(9840, 3840, 4440, 2280);
    List3.Move(120, 240, 4200, 1380);
    Check3.Move(120, 1680, 4200, 255);
    Check7.Move(120, 1950, 4200, 255);

    Frame8.Move(9840, 6240, 4440, 3360);
    List4.Move(120, 240, 4200, 1200);
    Check5.Move(120, 1500, 2500, 255);
    Command16.Move(2820, 1470, 1500, 345);
    Label17.Move(120, 1860, 4200, 255);
    HScroll1.Move(120, 2130, 2700, 255);
    Label14.Move(2940, 2130, 1380, 255);
    Label16.Move(120, 2460, 4200, 255);
    HScroll2.Move(120, 2730, 2700, 255);
    Label15.Move(2940, 2730, 1380, 255);
    Check4.Move(120, 3030, 2500, 255);

    double x = 5520;
    for (forms::Control* c : std::initializer_list<forms::Control*>{&Text10, &online, &zoom1, &zoom2, &zoom3}) {
        c->Move(x, 7680, 495, 285);
        x += 540;
    }
    HandleDMXC.Move(x, 7680, 1215, 645);
    x = 5520;
    for (forms::Control* c : std::initializer_list<forms::Control*>{&leerlauf, &leerlaufw, &Timer1A, &Timer2, &zoomin,
                                                                    &zoomout, &zoomout2}) {
        c->Move(x, 8400, 0, 0);
        x += 540;
    }
}

// ---- Editor window: load, layout and hiding ---------------------------------------------

void Form2Window::Form_Load() {
    tryStmt([&] { setTop(100); });
    tryStmt([&] { platform::mkDir(appFolder() + "\\Effekts"); });
    tryStmt([&] { File1.setPath(appFolder() + "\\Effekts"); });
    tryStmt([&] { Dir1.setPath(appFolder() + "\\Effekts"); });
    tryStmt([&] { Geometry = recordControlGeometry(*this); });
    tryStmt([&] { ReadIdleList(); });
}

void Form2Window::Form_Resize() { applyProportionalLayout(*this, Geometry); }

void Form2Window::Form_Unload(int& cancel) {
    // While the program runs the editor only hides: playlist, idle list and timers live on.
    if (frmBeats->Text2.Text() == "a") {
        cancel = 1;
        Hide();
    }
}

// ---- Playlist entries and editor --------------------------------------------------------

void Form2Window::InsertEntry(const std::string& text, const std::string& value) {
    if (Check2.Value() == 1) {
        for (int i = 0; i < List1.ListCount(); ++i) {
            if (List1.Selected(i)) {
                List1.AddItem(text, i + 1);
                List2.AddItem(value, i + 1);
                ++i;  // the new row is not visited
            }
        }
    } else if (Check1.Value() == 1) {
        for (int i = 0; i < List1.ListCount(); ++i) {
            if (List1.Selected(i)) {
                List1.AddItem(text, i);
                List2.AddItem(value, i);
                ++i;  // the marked row now stands one lower
            }
        }
    } else {
        List1.AddItem(text);
        List2.AddItem(value);
        List1.setTopIndex(List1.ListCount() - 1);
    }
}

void Form2Window::addWithNumber(forms::TextBox& box, const std::string& keyword, double minimum,
                                const char* minimumText, const char* designText) {
    try {
        if (!vb::IsNumeric(box.Text())) {
            box = designText;
            return;
        }
        if (vb::CDbl(box.Text()) < minimum) {
            platform::dialogs().msgBox(kNumbersOnly, kStyleInfo, "Fehler");
            box = minimumText;
            return;
        }
        InsertEntry(keyword + box.Text(), "");
    } catch (const platform::VbError&) {
        box = designText;
    }
}

void Form2Window::guardNumber(forms::TextBox& box, double minimum, const char* minimumText, const char* notNumberText) {
    try {
        if (vb::CDbl(box.Text()) < minimum) box = minimumText;
    } catch (const platform::VbError&) {
        box = notNumberText;
    }
}

void Form2Window::Command1_Click() { addWithNumber(Text1, kPauseKicks, 1, "1", "4"); }
void Form2Window::Command2_Click() { addWithNumber(Text2, kPauseMs, 50, "50", "5000"); }
void Form2Window::Command8_Click() { addWithNumber(Text6, kWaitKicks, 1, "1", "4"); }
void Form2Window::Command9_Click() { addWithNumber(Text7, kWaitMs, 50, "50", "5000"); }
void Form2Window::Command17_Click() { addWithNumber(Text8, kStartStopKicks, 1, "1", "12"); }
void Form2Window::Command18_Click() { addWithNumber(Text9, kStartStopMs, 50, "50", "5000"); }

void Form2Window::Command7_Click() { tryStmt([&] { InsertEntry(kEndOfEffect, ""); }); }
void Form2Window::Command10_Click() { tryStmt([&] { InsertEntry(kUnloadEffect, ""); }); }
void Form2Window::Command11_Click() { tryStmt([&] { InsertEntry(kZoomIn, ""); }); }
void Form2Window::Command12_Click() { tryStmt([&] { InsertEntry(kZoomOut, ""); }); }
void Form2Window::Command15_Click() { tryStmt([&] { InsertEntry(kZoomStandard, ""); }); }
void Form2Window::Command19_Click() { tryStmt([&] { InsertEntry(kUnloadDmxc, ""); }); }

void Form2Window::Check1_Click() {
    if (Check1.Value() == 1) Check2.setValue(0);
}

void Form2Window::Check2_Click() {
    if (Check2.Value() == 1) Check1.setValue(0);
}

// Enter adds at once and the box keeps the focus.
void Form2Window::Text1_KeyPress(int& keyAscii) {
    if (keyAscii == 13) {
        keyAscii = 0;
        Command1_Click();
    }
}

void Form2Window::Text2_KeyPress(int& keyAscii) {
    if (keyAscii == 13) {
        keyAscii = 0;
        Command2_Click();
    }
}

void Form2Window::Text6_KeyPress(int& keyAscii) {
    if (keyAscii == 13) {
        keyAscii = 0;
        Command8_Click();
    }
}

void Form2Window::Text7_KeyPress(int& keyAscii) {
    if (keyAscii == 13) {
        keyAscii = 0;
        Command9_Click();
    }
}

void Form2Window::Text1_LostFocus() { guardNumber(Text1, 1, "1", "3"); }
void Form2Window::Text2_LostFocus() { guardNumber(Text2, 50, "50", "5000"); }
void Form2Window::Text6_LostFocus() { guardNumber(Text6, 1, "1", "1"); }
void Form2Window::Text7_LostFocus() { guardNumber(Text7, 50, "50", "5000"); }

void Form2Window::List1_Click() {
    for (int i = 0; i < List1.ListCount(); ++i) {
        if (List1.Selected(i)) {
            ShockwaveFlash1.LoadMovie(0, List2.List(i));
            ShockwaveFlash1.Play();
        }
    }
    for (int i = 0; i < List4.ListCount(); ++i)
        if (List4.Selected(i)) List4.setSelected(i, false);
}

void Form2Window::List4_Click() {
    for (int i = 0; i < List1.ListCount(); ++i)
        if (List1.Selected(i)) List1.setSelected(i, false);
}

void Form2Window::List1_DblClick() {
    const int rows = List1.ListCount();
    for (int i = 0; i < rows; ++i) {
        if (List1.Selected(i)) {
            List2.AddItem(List2.List(i));
            List1.AddItem(List1.List(i));
        }
    }
}

void Form2Window::List1_KeyDown(int& keyCode, int) {
    if (keyCode != 46) return;
    tryStmt([&] { List2.RemoveItem(List1.ListIndex()); });
    tryStmt([&] { List1.RemoveItem(List1.ListIndex()); });
}

void Form2Window::List1_MouseDown(int button, int, double, double) {
    if (button != 2) return;
    tryStmt([&] { List2.RemoveItem(List1.ListIndex()); });
    tryStmt([&] { List1.RemoveItem(List1.ListIndex()); });
}

void Form2Window::Command4_Click() {
    for (int i = 0; i < List1.ListCount();) {
        if (List1.Selected(i)) {
            List1.RemoveItem(i);
            if (i < List2.ListCount()) List2.RemoveItem(i);
        } else {
            ++i;
        }
    }
    for (int i = 0; i < List4.ListCount();) {
        if (List4.Selected(i))
            List4.RemoveItem(i);
        else
            ++i;
    }
}

void Form2Window::Command3_Click() {
    const int answer = platform::dialogs().msgBox("Sind Sie sicher dass Sie die komplette Licht-Playlist entfernen möchten?",
                                                  platform::MB_YESNO, "Licht Playlist entfernen");
    if (answer != platform::IDYES) return;
    List1.Clear();
    List2.Clear();
    HandleDMXC.Clear();
    Text3 = "0";
    Text4 = "0";
}

void Form2Window::moveRow(forms::ListBox& lstMove, bool up) {
    const int i = lstMove.ListIndex();
    if (i == -1) return;
    try {
        const int insertAt = up ? i - 1 : i + 2;
        const int removeAt = up ? i + 1 : i;
        // Past the top or the bottom: refused before anything moves.
        if (insertAt < 0 || insertAt > lstMove.ListCount()) platform::raise(5);
        const bool paired = lstMove.hWnd() == List1.hWnd();
        lstMove.AddItem(lstMove.List(i), insertAt);
        lstMove.RemoveItem(removeAt);
        if (paired) {
            List2.AddItem(List2.List(i), insertAt);
            List2.RemoveItem(removeAt);
        }
        // Marked last, so that the click it runs previews the moved entry with its own value.
        lstMove.setListIndex(up ? i - 1 : i + 1);
    } catch (const platform::VbError&) {
        platform::dialogs().msgBox(up ? "Der Eintrag ist bereits ganz oben" : "Der Eintrag ist bereits ganz unten",
                                   kStyleInfo, "Eintrag Verschieben");
    }
}

void Form2Window::cmdMoveUp_Click(forms::ListBox& lstMove) { moveRow(lstMove, true); }
void Form2Window::cmdMoveDown_Click(forms::ListBox& lstMove) { moveRow(lstMove, false); }

// ---- Playlist file ------------------------------------------------------------------------

void Form2Window::Command5_Click() {
    std::string name = platform::dialogs().fileSave(kPlaylistFilter, "", "").value_or("");
    if (name.empty()) return;
    if (vb::InStr(name, ".bpl") == 0) name += ".bpl";
    try {
        std::vector<playlist::PlaylistRow> rows;
        for (int i = 0; i < List1.ListCount(); ++i) rows.emplace_back(List1.List(i), List2.List(i));
        const std::vector<std::string> lines = playlist::playlistLines(rows, appFolder());
        platform::writeTextLines(name, lines);
        reportChangedRows(name, lines, [&](int i) { return List1.List(i); });
    } catch (const platform::VbError& e) {
        reportFileError("Die Playlist konnte nicht gespeichert werden:", name, e);
    }
}

void Form2Window::Command6_Click() {
    // Only a file that was read replaces the playlist: a cancel, or a file that cannot be read,
    // leaves the show as it was, where the player stands included.
    const std::string name = platform::dialogs().fileOpen(kPlaylistFilter, "", "").value_or("");
    if (name.empty()) return;
    std::vector<std::string> lines;
    std::string folder;
    try {
        lines = platform::readTextLines(name, kMaxListFileBytes);
        folder = appFolder();
    } catch (const platform::VbError& e) {
        reportFileError("Die Playlist konnte nicht geladen werden:", name, e);
        return;
    }
    const std::vector<playlist::PlaylistRow> rows = playlist::playlistRows(lines, folder);
    Text3 = "0";
    Text4 = "0";
    List2.Clear();
    List1.Clear();
    for (const auto& [text, value] : rows) {
        List1.AddItem(text);
        List2.AddItem(value);
    }
}

// ---- Playlist player ------------------------------------------------------------------------

std::string Form2Window::currentEntry() const { return List1.List(vb::CLng(Text3.Text())); }

void Form2Window::advance() {
    tryStmt([&] { Text3 = vb::CStr(vb::toNumber(Text3.Text()) + 1); });
    // Past the end the marking fails and the previous mark stays.
    tryStmt([&] {
        if (Check8.Value() != 1) {
            const std::int32_t index = vb::CLng(Text3.Text());
            // Past the end on every tick once the list has run out: noted as the failed marking
            // would be, without an error thrown and caught each time.
            if (index < 0 || index >= List1.ListCount()) return forms::noteSkipped(381);
            List1.setSelected(index, true);
        }
    });
}

void Form2Window::pressDmxcEntry() {
    tryStmt([&] { HandleDMXC.AddItem(Form4->List1.List(vb::CLng(List2.List(vb::CLng(Text3.Text()))))); });
    // Item 0 of the set, which is not the handle just added to a "+DMXC" set: that one is
    // pressed by frmBeats.timerrofl.
    tryStmt([&] { send(HandleDMXC.List(0), platform::WM_LBUTTONDOWN); });
    tryStmt([&] { send(HandleDMXC.List(0), platform::WM_LBUTTONUP); });
    tryStmt([&] {
        if (HandleDMXC.ListCount() >= 2) frmBeats->timerrofl.setEnabled(true);
    });
    advance();
}

void Form2Window::Timer1A_Timer() {
    // End of the list; a Text3 that is no number counts as past it.
    if (condOrTrue([&] { return vb::toNumber(Text3.Text()) >= List1.ListCount(); })) {
        if (Option1.Value()) {
            tryStmt([&] { Text3 = "0"; });
        } else {
            // "Lezten Effekt dauerhaft wiederholen": the last effect stays on the projector.
            return;
        }
    }
    // The kind tests read the entry once: nothing runs between them, so every test would read
    // the same text. An entry that cannot be read runs as the first kind (the first test fails and
    // stops the chain), and a number that cannot be read skips the wait or the count: the entry
    // is over at once.
    std::optional<std::string> entry;
    auto is = [&](const char* keyword) {
        // An empty entry, once read, fails every test without a throw.
        if (entry && entry->empty()) return false;
        return condOrTrue([&] {
            if (!entry) entry = currentEntry();
            return contains(*entry, keyword);
        });
    };
    auto kicksReached = [&] {
        return condOrTrue([&] { return vb::Int(entryNumber(currentEntry())) <= vb::Int(Text4.Text()); });
    };
    auto timedWait = [&] {
        tryStmt([&] { forms::DoEvents(); });
        tryStmt([&] { WartenMs(vb::CDbl(entryNumber(currentEntry())), -1, 1); });
        tryStmt([&] { forms::DoEvents(); });
    };
    auto flash = [&]() -> FlashPlayerControl& { return Form1->ShockwaveFlash1; };

    if (is(kPauseMs)) {
        tryStmt([&] { frmBeats->beatschalt = "0"; });
        timedWait();
        advance();
    } else if (is(kPauseKicks)) {
        tryStmt([&] { frmBeats->beatschalt = "0"; });
        tryStmt([&] { online = "1"; });
        if (kicksReached()) {
            advance();
            tryStmt([&] { Text4 = "0"; });
            tryStmt([&] { online = "0"; });
        }
    } else if (is(kWaitMs)) {
        tryStmt([&] { frmBeats->beatschalt = "0"; });
        tryStmt([&] { frmBeats->nobass = "1"; });
        timedWait();
        advance();
        tryStmt([&] { frmBeats->nobass = "0"; });
    } else if (is(kWaitKicks)) {
        tryStmt([&] { frmBeats->beatschalt = "0"; });
        tryStmt([&] { frmBeats->nobass = "1"; });
        tryStmt([&] { online = "1"; });
        if (kicksReached()) {
            advance();
            tryStmt([&] { Text4 = "0"; });
            tryStmt([&] { online = "0"; });
            tryStmt([&] { frmBeats->nobass = "0"; });
        }
    } else if (is(kStartStopKicks)) {
        tryStmt([&] { frmBeats->beatschalt = "1"; });
        tryStmt([&] { online = "1"; });
        if (kicksReached()) {
            advance();
            tryStmt([&] { Text4 = "0"; });
            tryStmt([&] { online = "0"; });
            tryStmt([&] { frmBeats->beatschalt = "0"; });
        }
    } else if (is(kStartStopMs)) {
        tryStmt([&] { frmBeats->beatschalt = "1"; });
        timedWait();
        advance();
        tryStmt([&] { frmBeats->beatschalt = "0"; });
    } else if (is(kUnloadEffect)) {
        tryStmt([&] { flash().LoadMovie(0, "0"); });
        advance();
    } else if (is(kUnloadDmxc)) {
        tryStmt([&] { HandleDMXC.Clear(); });
        advance();
    } else if (is(kZoomIn)) {
        tryStmt([&] { zoomin.setEnabled(true); });
        advance();
    } else if (is(kZoomOut)) {
        tryStmt([&] { zoomout.setEnabled(true); });
        advance();
    } else if (is(kZoomStandard)) {
        tryStmt([&] { zoomout2.setEnabled(true); });
        advance();
    } else if (is(kEndOfEffect)) {
        // Held here; the end of the movie advances (Text5_Change).
    } else if (is(kDmxcMulti)) {
        pressDmxcEntry();
    } else if (is(kDmxc)) {
        tryStmt([&] { HandleDMXC.Clear(); });
        pressDmxcEntry();
    } else {
        // An entry without a movie (an empty playlist's missing row) leaves the projector as it
        // is; only "Beamer Effekt entladen" empties it.
        tryStmt([&] {
            const std::string path = List2.List(vb::CLng(Text3.Text()));
            if (!path.empty()) flash().LoadMovie(0, path);
        });
        advance();
    }
}

void Form2Window::Timer2_Timer() {
    // Without a movie in the base layer there is no frame to show: Text5 keeps its text.
    tryStmt([&] {
        if (Form1->ShockwaveFlash1.TotalFrames() > 0) Text5 = vb::CStr(Form1->ShockwaveFlash1.CurrentFrame());
    });
}

void Form2Window::Text5_Change() {
    if (!condOrFalse([&] { return contains(currentEntry(), kEndOfEffect); })) return;
    tryStmt([&] { frmBeats->angeschaltet = "0"; });
    if (condOrFalse([&] { return vb::toNumber(Text5.Text()) == Form1->ShockwaveFlash1.TotalFrames() - 1; })) {
        // The last frame: the list moves on, and this advance marks whatever Check8 says.
        tryStmt([&] { Text3 = vb::CStr(vb::toNumber(Text3.Text()) + 1); });
        tryStmt([&] { List1.setSelected(vb::CLng(Text3.Text()), true); });
        tryStmt([&] { Form1->ShockwaveFlash1.Play(); });
        tryStmt([&] { frmBeats->angeschaltet = "1"; });
    } else {
        tryStmt([&] { Form1->ShockwaveFlash1.Play(); });
    }
}

// The zoom factors are whole numbers: 97.5 and 102.565 with a half going to the even neighbour.
void Form2Window::zoomin_Timer() {
    if (zoom1.Text() == "10") {
        zoom1 = "0";
        zoomin.setEnabled(false);
    } else {
        Form1->ShockwaveFlash1.Zoom(vb::CLng(97.5));
        zoom1 = vb::CStr(vb::toNumber(zoom1.Text()) + 1);
    }
}

void Form2Window::zoomout_Timer() {
    if (zoom2.Text() == "10") {
        zoom2 = "0";
        zoomout.setEnabled(false);
    } else {
        Form1->ShockwaveFlash1.Zoom(vb::CLng(102.565));
        zoom2 = vb::CStr(vb::toNumber(zoom2.Text()) + 1);
    }
}

void Form2Window::zoomout2_Timer() {
    if (zoom3.Text() == "14") {
        zoom3 = "0";
        Form1->ShockwaveFlash1.Zoom(900);
        zoomout2.setEnabled(false);
    } else {
        Form1->ShockwaveFlash1.Zoom(130);
        zoom3 = vb::CStr(vb::toNumber(zoom3.Text()) + 1);
    }
}

// ---- Idle effects -----------------------------------------------------------------------------

void Form2Window::HScroll1_Change() {
    Label14 = vb::CStr(HScroll1.Value()) + " Sekunden";
    leerlauf.setInterval(HScroll1.Value() * 1000LL);
}

void Form2Window::HScroll2_Change() {
    Label15 = vb::CStr(HScroll2.Value()) + " Sekunden";
    leerlaufw.setInterval(HScroll2.Value() * 1000LL);
}

void Form2Window::idlePass() {
    const int last = List4.ListCount() - 1;
    for (int i = 0; i <= last; ++i) {
        auto value = [&] { return idleValue(List4.List(i)); };
        if (contains(List4.List(i), kDmxc)) {
            // The handle is looked up again before each message: Form4 refills its list meanwhile.
            auto press = [&](platform::UINT message) {
                tryStmt([&] { send(Form4->List1.List(vb::CLng(value())), message); });
            };
            tryStmt([&] { WartenMs(60, -1, 1); });
            press(platform::WM_LBUTTONDOWN);
            tryStmt([&] { WartenMs(20, -1, 1); });
            press(platform::WM_LBUTTONDOWN);
            tryStmt([&] { WartenMs(100, -1, 1); });
            press(platform::WM_LBUTTONUP);
            tryStmt([&] { WartenMs(20, -1, 1); });
            press(platform::WM_LBUTTONUP);
            tryStmt([&] { WartenMs(150, -1, 1); });
        } else {
            tryStmt([&] { Form1->ShockwaveFlash1.LoadMovie(0, value()); });
            tryStmt([&] { WartenMs(60, -1, 1); });
            tryStmt([&] { WartenMs(150, -1, 1); });
        }
    }
}

void Form2Window::leerlauf_Timer() {
    tryStmt([&] { Text10 = Form1->ShockwaveFlash1.Movie(); });
    tryStmt([&] {
        if (Check4.Value() == 1) leerlaufw.setEnabled(true);
    });
    idlePass();
    tryStmt([&] { leerlauf.setEnabled(false); });
}

void Form2Window::leerlaufw_Timer() {
    tryStmt([&] {
        if (Check4.Value() == 1) leerlaufw.setEnabled(true);
    });
    idlePass();
}

void Form2Window::Command16_Click() {
    std::string path = kIdleListFile;
    try {
        path = appFolder() + "\\" + kIdleListFile;
        platform::writeTextLines(path, List4.items());
        // An idle item is named by its display part.
        reportChangedRows(path, List4.items(), [&](int i) { return vb::Trim(vb::Split(List4.List(i), "|")[0]); });
    } catch (const platform::VbError& e) {
        reportFileError("Die Leerlauf Effekte konnten nicht gespeichert werden:", path, e);
    }
}

void Form2Window::ReadIdleList() {
    List4.Clear();
    const std::string path = appFolder() + "\\" + kIdleListFile;
    if (!platform::fileExists(path)) return;
    std::vector<std::string> lines;
    try {
        lines = platform::readTextLines(path, kMaxListFileBytes);
    } catch (const platform::VbError& e) {
        // A list that cannot be read (too large, a folder of that name) stays empty, and says so.
        reportFileError("Die Leerlauf Effekte konnten nicht geladen werden:", path, e);
        return;
    }
    for (const std::string& line : lines) List4.AddItem(line);
}

void Form2Window::Command13_Click() {
    cmdMoveUp_Click(List1);
    cmdMoveUp_Click(List4);
}

void Form2Window::Command14_Click() {
    cmdMoveDown_Click(List1);
    cmdMoveDown_Click(List4);
}

void Form2Window::insertIdleItem(const std::function<std::string(int)>& item, int blanksAppend, int blanksAbove,
                                 int blanksBelow) {
    if (Check2.Value() == 1) {
        for (int i = 0; i < List4.ListCount(); ++i) {
            if (List4.Selected(i)) {
                List4.AddItem(item(blanksBelow), i + 1);
                ++i;
            }
        }
    } else if (Check1.Value() == 1) {
        for (int i = 0; i < List4.ListCount(); ++i) {
            if (List4.Selected(i)) {
                List4.AddItem(item(blanksAbove), i);
                ++i;
            }
        }
    } else {
        List4.AddItem(item(blanksAppend));
        List4.setTopIndex(List4.ListCount() - 1);
    }
}

// ---- Effects explorer and preview ---------------------------------------------------------------

void Form2Window::Dir1_Change() { File1.setPath(Dir1.Path()); }

void Form2Window::File1_Click() {
    for (int i = 0; i < File1.ListCount(); ++i) {
        if (File1.Selected(i)) {
            ShockwaveFlash1.LoadMovie(0, Dir1.Path() + "\\" + File1.List(i));
            ShockwaveFlash1.Play();
        }
    }
}

void Form2Window::File1_DblClick() {
    const bool appending = Check2.Value() != 1 && Check1.Value() != 1;
    for (int i = 0; i < File1.ListCount(); ++i) {
        if (!File1.Selected(i)) continue;
        const std::string name = File1.List(i);
        const std::string path = Dir1.Path() + "\\" + name;
        if (Check6.Value() == 1)
            insertIdleItem([&](int n) { return vb::Replace(name, ".swf", blanks(n) + "|" + path); }, 50, 49, 46);
        else
            InsertEntry(vb::Replace(name, ".swf", ""), path);
        // Above or below a marked row only the first selected file goes in.
        if (!appending) break;
    }
}

// ---- DMXControl effects in the editor -------------------------------------------------------

void Form2Window::List3_Click() {
    // DMXControl's check box, when set, is pressed off first.
    if (condOrFalse([&] {
            return Module1::CheckBoxState(vb::CLng(Form4->List3.List(0))) == 1;
        })) {
        tryStmt([&] { send(Form4->List3.List(0), platform::WM_LBUTTONDOWN); });
        tryStmt([&] { send(Form4->List3.List(0), platform::WM_LBUTTONUP); });
        tryStmt([&] { WartenMs(50, -1, 1); });
    }
    for (int i = 0; i < List3.ListCount(); ++i) {
        if (!List3.Selected(i)) continue;
        // The button-up goes to the button that went down, whatever the finder lists meanwhile.
        std::string button;
        tryStmt([&] { button = Form4->List1.List(i); });
        tryStmt([&] { send(button, platform::WM_LBUTTONDOWN); });
        tryStmt([&] { WartenMs(60, -1, 1); });
        tryStmt([&] { send(button, platform::WM_LBUTTONUP); });
    }
}

void Form2Window::List3_DblClick() {
    const bool appending = Check2.Value() != 1 && Check1.Value() != 1;
    for (int i = 0; i < List3.ListCount(); ++i) {
        if (!List3.Selected(i)) continue;
        const std::string name = List3.List(i);
        const std::string index = vb::CStr(i);
        if (Check7.Value() == 1)
            insertIdleItem([&](int n) { return "DMXC " + name + blanks(n) + "|" + index; }, 49, 47, 46);
        else
            InsertEntry((Check3.Value() == 1 ? "+DMXC " : "DMXC ") + name, index);
        if (!appending) break;
    }
}

}  // namespace korvella
