// The headless scenario runner behind korvella-sim: the program's windows on the virtual clock,
// a sound file as input device 0, the operator's actions at given times, and one line per event
// on the output:
//
//   MS KIND DETAILS
//
// MS is the virtual time in milliseconds since the program started (whole numbers, or with three
// decimals when an event falls between milliseconds). KINDs:
//   beat N                        frmBeats.Text1 changed to N
//   player CALL                   a call on Form1's player: LoadMovie LAYER PATH, Play, Stop,
//                                 Zoom F, BackgroundColor C, Visible 0|1
//   send HWND MSG WPARAM LPARAM   a message sent to a window of another program (numbers in
//                                 decimal, MSG in hexadecimal as 0x201; the text buffer of
//                                 WM_GETTEXT and WM_SETTEXT is written as "buffer")
//   dmxc WHAT                     with --dmxc: what DMXControl's stand-in did. First, at 0 ms, one
//                                 "dmxc window HWND ROLE" line per stand-in window (roles:
//                                 KommandoBox, checkbox, frame, button 1 .. button N, bank, name,
//                                 settings, ManualBeat, bpm, beat, reset); then, as they happen,
//                                 "fired K NAME", "edit on", "edit off", "editing K NAME",
//                                 "name TEXT", "beat N [bpm B]", "reset"
//   msgbox TITLE | TEXT           a message box (line breaks in TEXT written as \n); answered
//                                 with its default button
//   input start                   the sound-file device took its first sample
//   error ACTION: REASON          an action that could not be done
//   end Text1=N MissedCount=M Blocks=B Analysed=A
//                                 the last line: frmBeats.Text1, Vorix1.MissedCount, the newest
//                                 captured block and the number of analysed blocks
#pragma once
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace korvella::sim {

struct Action {
    // Click, Set, Text: a control by name. ClickRow, DblClickRow, RightClickRow: a row of a list
    // by its index (value). Pick: the item of a drop-down list with the text value. Key: the key
    // named in control (F1 .. F12) pressed, released value ms later. Close: the window's close box.
    enum class Kind { Click, Set, Text, ClickRow, DblClickRow, RightClickRow, Pick, Key, Close };
    double ms = 0;
    Kind kind = Kind::Click;
    std::string form;
    std::string control;
    std::string value;
    // As given on the command line, for messages.
    std::string describe() const;
};

struct Options {
    std::string input;                 // the sound file (device 0)
    std::optional<double> seconds;     // run length; none: until 1 s after the file has played
    bool loopInput = false;            // play the file again at its end
    std::vector<Action> actions;       // in the order given
    std::string library;               // libwavorix.so to register; empty: the one registered
    // DMXControl's stand-in, opened before the program starts: a KommandoBox with this many
    // effect buttons and a ManualBeat window. None: DMXControl is not running.
    std::optional<int> dmxcButtons;
    // Runs once the main window has loaded, before the first action (tests place stand-ins for
    // other programs' windows here).
    std::function<void()> prepare;
};

// korvella-sim's arguments (without the program name). Returns nothing and sets error for
// arguments that cannot be used.
std::optional<Options> parseArguments(const std::vector<std::string>& args, std::string& error);

// The usage text.
std::string usage();

// Runs the scenario and writes its lines to out; warnings to err. Returns 0, or 1 when the input
// cannot be played or the control cannot be registered, or 3 when an action failed.
int run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace korvella::sim
