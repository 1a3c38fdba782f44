// Lists the child windows of a DMXControl window into list boxes, one handle per row as signed
// decimal text, in the order the window system reports them.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "forms/controls/listbox.h"

namespace korvella::Module1 {

// The handles of the last enumeration in reporting order, plus one spare element at the end:
// after n children it holds n + 1 elements (upper bound n). Reset to { 0 } by each list routine.
extern std::vector<std::int32_t> ChildHandles;

// The enumeration callback: stores the handle in the last element and grows the array by one.
// Always 1, so the enumeration runs to the end; lParam carries nothing.
std::int32_t EnumChildProc(std::int32_t hwnd, std::int32_t lParam);

// Every descendant of hwnd into lst (cleared first). False, with the lists as they were, when
// DMXControl did not answer in time: what it has is unknown, not gone.
bool ListChildWindows(std::int32_t hwnd, forms::ListBox& lst);

// The descendants of the KommandoBox window hwnd by class: the effect buttons into lst, the
// check box, text field and list view into Form4.List3 (both cleared first); others nowhere.
// False as for ListChildWindows.
bool ListKommandoBoxChildren(std::int32_t hwnd, forms::ListBox& lst);

// How long an operator's action (a click on an effect, the name reading) waits for one answer
// of DMXControl: the relay's own limit per call. The finders and the beat road never wait that long.
inline constexpr int kOperatorWaitMs = 1000;

// DMXControl's check box: 1 set, 0 not set; nothing when it did not answer, and then no press
// may rest on it.
std::optional<std::int64_t> CheckBoxState(std::int32_t hwnd);

}  // namespace korvella::Module1
