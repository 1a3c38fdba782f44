// The light show editor: the playlist (List1 texts, List2 values, paired by row) with its
// number boxes and command buttons, the player Timer1A that steps through it while capture runs,
// the idle effects played when the kick-basses stop, the effects explorer with its preview, and
// the DMXControl effects found by Form4. Created hidden at start; closing it only hides it.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "forms/form.h"
#include "korvella/main/FlashPlayerControl.h"
#include "korvella/playlist/ControlGeometry.h"

namespace korvella {

// The playlist's vocabulary: the player finds an entry's kind by these keywords, first match
// in this order; the ones ending in a blank are followed directly by the entry's number.
namespace playlist {
inline constexpr const char* kPauseMs = "Beaterkennung-Pause Millisekunden ";
inline constexpr const char* kPauseKicks = "Beaterkennung-Pause Kickbässe ";
inline constexpr const char* kWaitMs = "Warte Millisekunden ";
inline constexpr const char* kWaitKicks = "Warte Kickbässe ";
inline constexpr const char* kStartStopKicks = "StartStop-Pause Kickbässe ";
inline constexpr const char* kStartStopMs = "StartStop-Pause Millisekunden ";
inline constexpr const char* kUnloadEffect = "Beamer Effekt entladen";
inline constexpr const char* kUnloadDmxc = "DMXC entladen";
inline constexpr const char* kZoomIn = "Zoom in";
inline constexpr const char* kZoomOut = "Zoom out";
inline constexpr const char* kZoomStandard = "Zoom auf standard";
inline constexpr const char* kEndOfEffect = "Effektwechsel wenn Effekt zuende ist";
inline constexpr const char* kDmxcMulti = "+DMXC";
inline constexpr const char* kDmxc = "DMXC";
// Between the display part and the value of an idle item (every writer puts 46 blanks or more).
inline constexpr const char* kIdleSeparator = "        |";
inline constexpr const char* kIdleListFile = "Leerlaufliste.lrlst";
inline constexpr const char* kPlaylistFilter = "Recorder Files (*.bpl)|*bpl|";
}  // namespace playlist

class Form2Window : public forms::Form {
public:
    Form2Window();

    // ---- Controls, in the order the window creates them (the layout records follow it) ----

    // "Licht Effekt Playlist"
    forms::Frame Frame1{this, "Frame1", "Licht Effekt Playlist"};
    forms::ListBox List1{this, "List1", &Frame1};
    forms::ListBox List2{this, "List2", &Frame1};
    // The arrows up and down: move the marked row of the playlist or of the idle list.
    forms::CommandButton Command13{this, "Command13", "▲", &Frame1};
    forms::CommandButton Command14{this, "Command14", "▼", &Frame1};
    // Index of the current playlist entry and the kick counter of the entries that wait for kicks.
    forms::TextBox Text3{this, "Text3", &Frame1};
    forms::TextBox Text4{this, "Text4", &Frame1};
    // Frame number of the projector movie (mirrored by Timer2).
    forms::TextBox Text5{this, "Text5", &Frame1};
    forms::CommandButton Command4{this, "Command4", "Makierte Einträge entfernen", &Frame1};
    forms::CommandButton Command3{this, "Command3", "Alles Entfernen", &Frame1};
    forms::CommandButton Command5{this, "Command5", "Speichere Playlist", &Frame1};
    forms::CommandButton Command6{this, "Command6", "Lade Playlist", &Frame1};
    forms::CheckBox Check8{this, "Check8", "Aktuell abgespielten Eintrag in Playliste nicht makieren", 0, &Frame1};
    forms::Label Label1{this, "Label1", &Frame1};  // "Nach ablauf der Playlist die Playlist:"
    forms::OptionButton Option1{this, "Option1", "Wiederholen", true, &Frame1};
    forms::OptionButton Option2{this, "Option2", "Lezten Effekt dauerhaft wiederholen", false, &Frame1};

    // Where a new entry goes.
    forms::Label Label2{this, "Label2"};  // "Licht Effekt einfügen:"
    forms::CheckBox Check1{this, "Check1", "Über makierten Eintrag", 0};
    forms::CheckBox Check2{this, "Check2", "Unter makierten Eintrag", 0};

    // Entries without a number.
    forms::CommandButton Command7{this, "Command7", "Wenn Effekt zuende ist"};
    forms::CommandButton Command10{this, "Command10", "Beamer Effekt entladen (Schwarz)"};
    forms::CommandButton Command11{this, "Command11", "Zoom in Effekt"};
    forms::CommandButton Command12{this, "Command12", "Zoom out Effekt"};
    forms::CommandButton Command15{this, "Command15", "Zoom auf standard"};
    forms::CommandButton Command19{this, "Command19", "DMXC Effekte entladen"};

    // Entries with a number, three groups of a kick box and a time box.
    forms::Frame Frame2{this, "Frame2", "Effekwechsel mit Beatweiterschaltung nach"};
    forms::Label Label3{this, "Label3", &Frame2};  // "Kickbässe"
    forms::TextBox Text1{this, "Text1", &Frame2};
    forms::CommandButton Command1{this, "Command1", "Hinzufügen", &Frame2};
    forms::Label Label4{this, "Label4", &Frame2};  // "Zeit in Milli Sekunden"
    forms::TextBox Text2{this, "Text2", &Frame2};
    forms::CommandButton Command2{this, "Command2", "Hinzufügen", &Frame2};

    forms::Frame Frame3{this, "Frame3", "Effekwechsel ohne Weiterschalten nach"};
    forms::Label Label5{this, "Label5", &Frame3};
    forms::TextBox Text6{this, "Text6", &Frame3};
    forms::CommandButton Command8{this, "Command8", "Hinzufügen", &Frame3};
    forms::Label Label6{this, "Label6", &Frame3};
    forms::TextBox Text7{this, "Text7", &Frame3};
    forms::CommandButton Command9{this, "Command9", "Hinzufügen", &Frame3};

    forms::Frame Frame4{this, "Frame4", "Effekwechsel mit Start / Stop nach"};
    forms::Label Label7{this, "Label7", &Frame4};
    forms::TextBox Text8{this, "Text8", &Frame4};
    forms::CommandButton Command17{this, "Command17", "Hinzufügen", &Frame4};
    forms::Label Label8{this, "Label8", &Frame4};
    forms::TextBox Text9{this, "Text9", &Frame4};
    forms::CommandButton Command18{this, "Command18", "Hinzufügen", &Frame4};

    // "Vorschau angewählter Effekt": the editor's own player, never the projector.
    forms::Frame Frame5{this, "Frame5", "Vorschau angewählter Effekt"};
    FlashPlayerControl ShockwaveFlash1{this, "ShockwaveFlash1", &Frame5};

    // "Licht Effekt Explorer"
    forms::Frame Frame6{this, "Frame6", "Licht Effekt Explorer"};
    forms::DirListBox Dir1{this, "Dir1", &Frame6};
    forms::FileListBox File1{this, "File1", &Frame6};
    forms::CheckBox Check6{this, "Check6", "Zum Leerlauf Effekt hinzufügen", 0, &Frame6};

    // "Konfigurierte DMX Control KommandoBox Effekte": names written by Form4 only; row i names
    // the button in Form4.List1 row i.
    forms::Frame Frame7{this, "Frame7", "Konfigurierte DMX Control KommandoBox Effekte"};
    forms::ListBox List3{this, "List3", &Frame7};
    forms::CheckBox Check3{this, "Check3", "Als Mehrfach Effekt hinzufügen", 0, &Frame7};
    forms::CheckBox Check7{this, "Check7", "Zum Leerlauf Effekt hinzufügen", 0, &Frame7};

    // "Leerlauf Effekte"
    forms::Frame Frame8{this, "Frame8", "Leerlauf Effekte"};
    forms::ListBox List4{this, "List4", &Frame8};
    // Idle effects on (read by the beat dispatcher).
    forms::CheckBox Check5{this, "Check5", "Angeschaltet", 0, &Frame8};
    forms::CommandButton Command16{this, "Command16", "Speichern", &Frame8};
    forms::Label Label17{this, "Label17", &Frame8};  // "Leerlauf Effekte Eintrittszeit"
    forms::ScrollBar HScroll1{this, "HScroll1", true, 3, 20, 10, &Frame8};
    forms::Label Label14{this, "Label14", &Frame8};
    forms::Label Label16{this, "Label16", &Frame8};  // "Leerlauf Effekte wiederholen nach"
    forms::ScrollBar HScroll2{this, "HScroll2", true, 3, 30, 10, &Frame8};
    forms::Label Label15{this, "Label15", &Frame8};
    // Repetition on.
    forms::CheckBox Check4{this, "Check4", "Angeschaltet", 0, &Frame8};

    // ---- Hidden flags and lists ----
    // The movie to restore after the idle effects ("" when none).
    forms::TextBox Text10{this, "Text10"};
    // "1" while an entry counts kick-basses.
    forms::TextBox online{this, "online"};
    // Window handles (decimal text) of the DMXControl buttons of the current effect set.
    forms::ListBox HandleDMXC{this, "HandleDMXC"};
    // Step counters of the three zoom runs.
    forms::TextBox zoom1{this, "zoom1"};
    forms::TextBox zoom2{this, "zoom2"};
    forms::TextBox zoom3{this, "zoom3"};

    // ---- Timers ----
    forms::Timer leerlauf{this, "leerlauf", 10000, false};
    forms::Timer leerlaufw{this, "leerlaufw", 10000, false};
    // The playlist player.
    forms::Timer Timer1A{this, "Timer1A", 1, false};
    // Mirrors the projector movie's frame into Text5.
    forms::Timer Timer2{this, "Timer2", 1, true};
    forms::Timer zoomin{this, "zoomin", 15, false};
    forms::Timer zoomout{this, "zoomout", 15, false};
    forms::Timer zoomout2{this, "zoomout2", 15, false};

    // The layout of every control at load, for the proportional re-layout.
    std::vector<ControlGeometry> Geometry;

    // ---- Window ----
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Unload(int& cancel) override;

    // ---- Playlist entries and editor ----
    void Command1_Click();
    void Command2_Click();
    void Command8_Click();
    void Command9_Click();
    void Command17_Click();
    void Command18_Click();
    void Command7_Click();
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();
    void Command15_Click();
    void Command19_Click();
    void Check1_Click();
    void Check2_Click();
    void Text1_KeyPress(int& keyAscii);
    void Text2_KeyPress(int& keyAscii);
    void Text6_KeyPress(int& keyAscii);
    void Text7_KeyPress(int& keyAscii);
    void Text1_LostFocus();
    void Text2_LostFocus();
    void Text6_LostFocus();
    void Text7_LostFocus();
    void List1_Click();
    void List4_Click();
    void List1_DblClick();
    void List1_KeyDown(int& keyCode, int shift);
    void List1_MouseDown(int button, int shift, double x, double y);
    void Command4_Click();
    void Command3_Click();
    // Move the marked row of lstMove one place; for List1 its List2 value moves along.
    void cmdMoveUp_Click(forms::ListBox& lstMove);
    void cmdMoveDown_Click(forms::ListBox& lstMove);
    // One new playlist entry placed by the insert options ("Unter", then "Über", else appended).
    void InsertEntry(const std::string& text, const std::string& value);

    // ---- Playlist file ----
    void Command5_Click();
    void Command6_Click();

    // ---- Playlist player ----
    void Timer1A_Timer();
    void Timer2_Timer();
    void Text5_Change();
    void zoomin_Timer();
    void zoomout_Timer();
    void zoomout2_Timer();

    // ---- Idle effects ----
    void HScroll1_Change();
    void HScroll2_Change();
    void leerlauf_Timer();
    void leerlaufw_Timer();
    void Command16_Click();
    void Command13_Click();
    void Command14_Click();
    // Clears List4 and reads the idle list file into it (a missing file leaves it empty).
    void ReadIdleList();

    // ---- Effects explorer and preview ----
    void Dir1_Change();
    void File1_Click();
    void File1_DblClick();

    // ---- DMXControl effects ----
    void List3_Click();
    void List3_DblClick();

private:
    void layout();
    void addWithNumber(forms::TextBox& box, const std::string& keyword, double minimum, const char* minimumText,
                       const char* designText);
    void guardNumber(forms::TextBox& box, double minimum, const char* minimumText, const char* notNumberText);
    void moveRow(forms::ListBox& lstMove, bool up);
    // Idle items go into List4 by the same insert options; the blanks before "|" depend on where.
    void insertIdleItem(const std::function<std::string(int blanks)>& item, int blanksAppend, int blanksAbove,
                        int blanksBelow);
    std::string currentEntry() const;
    void advance();
    void pressDmxcEntry();
    void idlePass();
};

}  // namespace korvella
