// "Beamer Live Steuerung", the live control desk: the operator works the projector by hand from
// here, beside or instead of the playlist. Colour and white strobes, zoom and dimmer, the effect
// list and four quick-load slots, the effect advance, F-key hot keys that act whatever window has
// the focus, and the switch that takes the kick-basses away from the playlist. The hot-key
// choices and the slots are kept in the registry by "Einstellungen Speichern".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "forms/form.h"
#include "korvella/playlist/ControlGeometry.h"

namespace korvella {

class Form5Window : public forms::Form {
public:
    Form5Window();

    // Where the settings live: this key followed by "Save1" .. "Save15".
    static constexpr const char* kSaveKey = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\";
    // The entries of every hot-key box, in their order.
    static const std::vector<std::string>& hotKeyEntries();

    // ---- Window-level members ----
    // Each control's geometry at load, indexed like Controls(); every resize starts from it.
    std::vector<ControlGeometry> Geometry;

    // ---- Controls, grouped as they stand on the window ----
    // Top bar. Live mode: kicks follow the options below instead of the playlist.
    forms::Label Label3{this, "Label3"};
    forms::CheckBox Check1{this, "Check1", "Playlist Steuerung deaktivieren", 0};
    forms::LineControl Line1{this, "Line1", 120, 720, 11640, 720};

    // Strobe column ("Manuel Beamer Strobe", "Dauer Strobe").
    forms::Shape Shape1{this, "Shape1"};
    forms::Label Label2[3]{{this, "Label2(0)"}, {this, "Label2(1)"}, {this, "Label2(2)"}};
    forms::CommandButton Command8{this, "Command8", "Strobe"};
    forms::CommandButton Command2{this, "Command2", "Strobe"};
    forms::CommandButton Command1{this, "Command1", "Strobe"};
    forms::CommandButton Command3{this, "Command3", "Strobe"};
    forms::CommandButton Command4{this, "Command4", "Strobe"};
    forms::CommandButton Command5{this, "Command5", "Strobe"};
    forms::CommandButton Command6{this, "Command6", "Strobe"};
    forms::CommandButton Command7{this, "Command7", "Strobe"};
    forms::Label Label17{this, "Label17"};
    forms::CheckBox Check3{this, "Check3", "Strobe Weiß ON", 0};
    forms::Label Label8{this, "Label8"};
    // Reached only by its hot key.
    forms::CommandButton Command25{this, "Command25", "STROBE"};
    // Strobe speed in ms; "+" (short) at the left.
    forms::ScrollBar HScroll1{this, "HScroll1", true, 30, 500, 100};
    forms::ComboBox Combo5{this, "Combo5"};

    // Middle column: kick-bass options, effect advance, effect list. The four options lie on the
    // window itself and so form one group.
    forms::Shape Shape2{this, "Shape2"};
    forms::Label Label1{this, "Label1"};
    forms::OptionButton Option1{this, "Option1", "An", true};
    forms::Label Label13{this, "Label13"};
    forms::OptionButton Option2{this, "Option2", "Aus"};
    forms::Label Label14{this, "Label14"};
    forms::OptionButton Option3{this, "Option3", "An"};
    forms::OptionButton Option4{this, "Option4", "Aus"};
    forms::CommandButton Command9{this, "Command9", "Effekt manuel weiterschalten"};
    forms::Label Label6{this, "Label6"};
    forms::CheckBox Check2{this, "Check2", "Effekt dauerhaft weiterschalten", 0};
    forms::DirListBox Dir1{this, "Dir1"};
    forms::FileListBox File1{this, "File1"};
    forms::Label Label4{this, "Label4"};

    // Zoom ("+" top, 1) and dimmer ("+" top, 0), each with its mirror box.
    forms::Shape Shape3{this, "Shape3"};
    forms::Label Label5[4]{{this, "Label5(0)"}, {this, "Label5(1)"}, {this, "Label5(2)"}, {this, "Label5(3)"}};
    forms::ScrollBar VScroll1{this, "VScroll1", false, 1, 100, 100};
    forms::TextBox Text1{this, "Text1"};
    forms::Shape Shape4{this, "Shape4"};
    forms::ScrollBar VScroll2{this, "VScroll2", false, 0, 25, 0};
    forms::TextBox Text10{this, "Text10"};

    // Quick load: slot k = ablegen button, path box, hot-key box, "Laden", "X", layer box.
    forms::Shape Shape5{this, "Shape5"};
    forms::Label Label10{this, "Label10"};
    forms::Label Label7{this, "Label7"};
    forms::CommandButton Command10{this, "Command10", "Effekt hier ablegen"};
    forms::CommandButton Command11{this, "Command11", "Effekt hier ablegen"};
    forms::CommandButton Command12{this, "Command12", "Effekt hier ablegen"};
    forms::CommandButton Command13{this, "Command13", "Effekt hier ablegen"};
    forms::TextBox Text2{this, "Text2"};
    forms::TextBox Text3{this, "Text3"};
    forms::TextBox Text4{this, "Text4"};
    forms::TextBox Text5{this, "Text5"};
    forms::ComboBox Combo1{this, "Combo1"};
    forms::ComboBox Combo2{this, "Combo2"};
    forms::ComboBox Combo3{this, "Combo3"};
    forms::ComboBox Combo4{this, "Combo4"};
    forms::CommandButton Command14{this, "Command14", "Laden"};
    forms::CommandButton Command15{this, "Command15", "Laden"};
    forms::CommandButton Command16{this, "Command16", "Laden"};
    forms::CommandButton Command17{this, "Command17", "Laden"};
    forms::CommandButton Command19{this, "Command19", "X"};
    forms::CommandButton Command21{this, "Command21", "X"};
    forms::CommandButton Command23{this, "Command23", "X"};
    forms::CommandButton Command20{this, "Command20", "X"};
    forms::Label Label11{this, "Label11"};
    // The master layer: always 0.
    forms::TextBox Text6{this, "Text6"};
    forms::Label Label12[3]{{this, "Label12(0)"}, {this, "Label12(1)"}, {this, "Label12(2)"}};
    forms::TextBox Text7{this, "Text7"};
    forms::TextBox Text8{this, "Text8"};
    forms::TextBox Text9{this, "Text9"};

    // Right box: unload all, projector picture on and off.
    forms::Shape Shape6{this, "Shape6"};
    forms::Label Label9{this, "Label9"};
    forms::ComboBox Combo6{this, "Combo6"};
    forms::CommandButton Command24{this, "Command24", "X"};
    forms::Label Label15{this, "Label15"};
    forms::ComboBox Combo7{this, "Combo7"};
    forms::CommandButton Command26{this, "Command26", "X"};
    forms::Label Label16{this, "Label16"};
    forms::ComboBox Combo8{this, "Combo8"};
    forms::CommandButton Command27{this, "Command27", "X"};

    // Bottom.
    forms::CommandButton Command18{this, "Command18", "Einstellungen Speichern"};
    forms::CommandButton Command28{this, "Command28", "Verstecken"};

    // Mirrors of the bars, the effect advance, the white strobe clock.
    forms::Timer Timer1{this, "Timer1", 1, true};
    forms::Timer Timer2{this, "Timer2", 1, true};
    forms::Timer Timer3{this, "Timer3", 100, true};
    // One hot-key poll per box.
    forms::Timer Timer4{this, "Timer4", 5, true};
    forms::Timer Timer5{this, "Timer5", 5, true};
    forms::Timer Timer6{this, "Timer6", 5, true};
    forms::Timer Timer7{this, "Timer7", 5, true};
    forms::Timer Timer8{this, "Timer8", 5, true};
    forms::Timer Timer9{this, "Timer9", 5, true};
    forms::Timer Timer10{this, "Timer10", 5, true};
    forms::Timer Timer11{this, "Timer11", 5, true};

    // ---- Handlers ----
    void Form_Load() override;
    void Form_Resize() override;
    void Command28_Click();
    void Command18_Click();

    // Quick-load slots, effect list and effect advance.
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();
    void Command13_Click();
    void Command14_Click();
    void Command15_Click();
    void Command16_Click();
    void Command17_Click();
    void Command19_Click();
    void Command21_Click();
    void Command23_Click();
    void Command20_Click();
    void Command24_Click();
    void Dir1_Change();
    void File1_DblClick();
    void Command9_Click();
    void Timer2_Timer();

    // Strobes, zoom and dimmer.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command25_Click();
    void Timer3_Timer();
    void HScroll1_Change();
    void Timer1_Timer();
    void Text1_Change();
    void Text10_Change();

    // Hot keys and the projector buttons.
    void Timer4_Timer();
    void Timer5_Timer();
    void Timer6_Timer();
    void Timer7_Timer();
    void Timer8_Timer();
    void Timer9_Timer();
    void Timer10_Timer();
    void Timer11_Timer();
    void Command26_Click();
    void Command27_Click();

private:
    void design();
    void wire();

    // The registry value names and the control each one holds the text of.
    struct SavedControl {
        const char* name;
        forms::ComboBox* combo;
        forms::TextBox* text;
    };
    std::vector<SavedControl> savedControls();

    // "Effekt hier ablegen" into a slot's path box.
    void storeChosenEffect(forms::TextBox& pathBox);
    // "Laden" and "X" of a slot; nothing happens when the layer box holds no whole number.
    void loadSlot(forms::TextBox& pathBox, forms::TextBox& layerBox);
    void emptySlot(forms::TextBox& layerBox);
    // One flash of the projector window in a colour, with the movie hidden.
    void colourFlash(std::uint32_t colour);
    // One white flash behind the movie.
    void whiteFlash();
    // Presses the button while the F-key the box names reads as down or pressed.
    void pollHotKey(const forms::ComboBox& box, forms::CommandButton& button);
};

}  // namespace korvella
