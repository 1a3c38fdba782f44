// Where the program's CPU time goes, for the CPU benchmark: with KORVELLA_CPU_METER set, the
// user-interface thread's CPU time is charged to the part whose scope it is in (scopes nest; the
// innermost one is charged), and a report over a measured window gives each part, the loop
// itself (the rest of that thread) and the other threads. Without the variable a scope costs one
// test of a flag.
#pragma once
#include <cstdint>
#include <string>

namespace platform::cpumeter {

enum class Part {
    Capture,             // the capture control's messages on the user-interface thread, and the host's plot
    ViewUpdates,         // the view writing controls into widgets and Qt's event handling and painting
    ProjectorRendering,  // painting hosted controls drawing their frames
    ProjectorDisplay,    // those frames drawn into the window
};
inline constexpr int kParts = 4;

// Whether the meter runs (KORVELLA_CPU_METER set, read once).
bool enabled();

// False when nothing was entered (the meter is off, has not begun, or this is another thread).
bool enter(Part part);
void leave();

class Scope {
public:
    explicit Scope(Part part) : on_(enabled() && enter(part)) {}
    ~Scope() {
        if (on_) leave();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool on_;
};

// Starts the measured window (the thread calling it is the user-interface thread).
void begin();
// Ends it: one line, "cpu-meter wall=S process=S main=S capture=S view=S render=S display=S"
// (seconds of wall time and of CPU time); empty when the meter is off or never began.
std::string report();

}  // namespace platform::cpumeter
