// Lists the child windows of a DMXControl window into list boxes, one handle per row as signed
// decimal text, in the order the window system reports them.
#pragma once
#include <cstdint>
#include <vector>

#include "forms/controls/listbox.h"

namespace korvella::Module1 {

// The handles of the last enumeration in reporting order, plus one spare element at the end:
// after n children it holds n + 1 elements (upper bound n). Reset to { 0 } by each list routine.
extern std::vector<std::int32_t> ChildHandles;

// The enumeration callback: stores the handle in the last element and grows the array by one.
// Always 1, so the enumeration runs to the end; lParam carries nothing.
std::int32_t EnumChildProc(std::int32_t hwnd, std::int32_t lParam);

// Every descendant of hwnd into lst (cleared first).
void ListChildWindows(std::int32_t hwnd, forms::ListBox& lst);

// The descendants of the KommandoBox window hwnd by class: the effect buttons into lst, the
// check box, text field and list view into Form4.List3 (both cleared first); others nowhere.
void ListKommandoBoxChildren(std::int32_t hwnd, forms::ListBox& lst);

}  // namespace korvella::Module1
