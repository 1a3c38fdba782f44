// A stand-in for DMXControl, the lighting program that Korvella drives with window messages as a
// user's clicks would. It opens the two windows Korvella looks for, with the captions, class names
// and child order of the real ones, does what those windows do with the messages, and records
// every message with the virtual time it arrived.
//
// "KommandoBox" (class ThunderRT6FormDC, opens shown and topmost); children in enumeration order:
//   checkbox    ThunderRT6CheckBox "Buttons bearbeiten": edit mode. BM_GETCHECK answers 1 or 0;
//               a click (button-down, then button-up) toggles it.
//   frame       ThunderRT6Frame "Effekte", holding the effect buttons:
//     button k  ThunderRT6UserControlDC, caption = the effect's name (k = 1 .. n). A click fires
//               the effect; in edit mode it makes the button the one being edited instead.
//   bank        ThunderRT6UserControlDC "Bank 1": the bank switch after the buttons.
//   name        ThunderRT6TextBox: the name field. It shows the settings row at the top of the
//               settings list each time that list is paged up.
//   settings    ListView20WndClass: the edited button's settings (its name first), opened on its
//               last page; WM_KEYDOWN VK_PRIOR pages it up.
// "DMXC ManualBeat" (class ThunderRT6FormDC, opens shown); children:
//   bpm         ThunderRT6TextBox: the tempo of the last two taps.
//   beat        ThunderRT6CommandButton "Beat": a click, or WM_COMMAND naming it sent to its
//               parent, taps the tempo.
//   reset       ThunderRT6CommandButton "Reset": forgets the taps.
// WM_GETTEXT answers every window's text; WM_CLOSE closes a window. Messages to a closed window
// go nowhere (the registry drops them), so they are not recorded either.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/windows.h"

namespace dmxc {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

// One message as a stand-in window received it.
struct Received {
    double ms = 0;     // virtual (or real) time of the loop, in ms
    HWND hwnd = 0;
    std::string role;  // "KommandoBox", "checkbox", "button 3", "name", "settings", "beat", ...
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// What DMXControl did: "fired 3 Nebel", "edit on", "edit off", "editing 3 Nebel", "name Nebel",
// "beat 4 bpm 120" (bpm only from the second tap on), "reset", "opened KommandoBox",
// "closed ManualBeat" ...
struct Event {
    double ms = 0;
    std::string what;
};

class Standin {
public:
    explicit Standin(platform::WindowRegistry& windows = platform::WindowRegistry::current());
    // Closes whatever is still open.
    ~Standin();
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    // n effect names: the usual ones first, then "Effekt 9", "Effekt 10" ...
    static std::vector<std::string> defaultNames(int n);

    // Opens the KommandoBox with one button per name (closing an open one first): new handles.
    void openKommandoBox(const std::vector<std::string>& effectNames);
    void closeKommandoBox();
    void openManualBeat();
    void closeManualBeat();

    HWND kommandoBox() const { return kb_; }
    HWND checkBox() const { return check_; }
    HWND frame() const { return frame_; }
    // Button of effect index i (0-based, as the program's lists count); 0 when there is none.
    HWND button(int i) const;
    int buttonCount() const { return static_cast<int>(buttons_.size()); }
    HWND bank() const { return bank_; }
    HWND nameField() const { return name_; }
    HWND settingsList() const { return settings_; }
    HWND manualBeat() const { return mb_; }
    HWND bpmField() const { return bpm_; }
    HWND beatButton() const { return beat_; }
    HWND resetButton() const { return reset_; }

    bool editMode() const { return editMode_; }
    // Index of the button being edited, -1 when none.
    int editedButton() const { return edited_; }
    // First visible row of the settings list.
    int settingsTopRow() const { return topRow_; }
    int beats() const { return taps_; }
    // The effects fired, as button indexes, in order.
    const std::vector<int>& fired() const { return fired_; }

    const std::vector<Received>& received() const { return received_; }
    std::vector<Received> receivedBy(HWND hwnd) const;
    const std::vector<Event>& events() const { return events_; }
    void clearRecords();
    // "" for a window that is not the stand-in's.
    std::string roleOf(HWND hwnd) const;
    // Every open window with its role, in the order the windows were opened.
    std::vector<std::pair<HWND, std::string>> openWindows() const;

    // Called with each event as it happens (the scenario runner prints them).
    std::function<void(const Event&)> onEvent;

    // Rows of the settings list and rows per page.
    static constexpr int kSettingsRows = 8;
    static constexpr int kPageRows = 4;

private:
    enum class Kind { KommandoBox, CheckBox, Frame, Button, Bank, NameField, Settings, ManualBeat, Bpm, Beat, Reset };
    struct Child {
        Kind kind;
        std::string role;
        int index = -1;     // buttons
        bool down = false;  // a button-down not yet released
    };

    HWND make(Kind kind, const std::string& role, const char* className, const std::string& text, HWND parent,
              int index = -1, bool visible = true, platform::Rect rect = {});
    LRESULT proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // A button-up after a button-down on the same window: the click.
    void click(Child& child);
    void edit(int index);
    void pageUp();
    void tap();
    void resetTaps();
    void emit(const std::string& what);
    double nowMs() const;

    platform::WindowRegistry& windows_;
    std::map<HWND, Child> children_;
    std::vector<std::string> names_;

    HWND kb_ = 0, check_ = 0, frame_ = 0, bank_ = 0, name_ = 0, settings_ = 0;
    std::vector<HWND> buttons_;
    HWND mb_ = 0, bpm_ = 0, beat_ = 0, reset_ = 0;

    bool editMode_ = false;
    int edited_ = -1;
    int topRow_ = 0;
    int taps_ = 0;
    double lastTapMs_ = -1;
    std::vector<int> fired_;

    std::vector<Received> received_;
    std::vector<Event> events_;
};

}  // namespace dmxc
