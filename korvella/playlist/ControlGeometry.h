// Proportional layout of a window's controls: every control's position and size are recorded
// once when the window loads and re-derived from those records on each resize, so a window
// scales as a whole and repeated resizing never accumulates rounding errors. Used by the light
// show editor and the live desk.
#pragma once
#include <cstdint>
#include <vector>

#include "forms/form.h"

namespace korvella {

// One control's geometry at load, in 16-bit whole numbers (twips; the font size in points).
// A property the control lacks, or a value beyond 16 bits, stays 0 and is marked unread, so
// that the layout leaves that property alone instead of collapsing it to 0.
struct ControlGeometry {
    enum Field : std::uint8_t { kTop = 1, kLeft = 2, kWidth = 4, kHeight = 8, kScaleHeight = 16, kScaleWidth = 32, kFontSize = 64 };
    std::int16_t Top = 0;
    std::int16_t Left = 0;
    std::int16_t Width = 0;
    std::int16_t Height = 0;
    std::int16_t ScaleHeight = 0;  // the window's inner height at load
    std::int16_t ScaleWidth = 0;   // the window's inner width at load
    std::int16_t FontSize = 0;     // recorded, never applied
    std::uint8_t unread = 0;       // Field bits of the values that could not be read
    bool operator==(const ControlGeometry&) const = default;
};

// Which of the layout properties a control kind has (a timer has a position but no size, a menu
// or a line has none, shapes, scroll bars and hosted controls have no font).
bool hasPosition(forms::Kind kind);
bool hasSize(forms::Kind kind);
bool hasFont(forms::Kind kind);

// One record per control, indexed like form.Controls(). Never throws: an unreadable value is 0.
std::vector<ControlGeometry> recordControlGeometry(const forms::Form& form);

// Lays every control out in proportion to the window's current inner size against the records:
// Top = (h / rec.ScaleHeight) * rec.Top and so on, ratio first, in double precision. A property
// whose computation or assignment fails (record of inner size 0, control without it, control
// beyond the records) keeps its value; the rest is still laid out. Font sizes are not touched.
void applyProportionalLayout(forms::Form& form, const std::vector<ControlGeometry>& records);

}  // namespace korvella
