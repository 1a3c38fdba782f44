// The X server's side of the keyboard service, kept apart from Qt (see x11keys.cpp).
#pragma once
#include <vector>

namespace gui::x11 {

// The X keysyms a virtual key stands for (both Shift keys for VK_SHIFT ...); empty when none.
std::vector<unsigned long> keysymsFor(int vk);
// A connection to $DISPLAY, or null.
void* open();
void close(void* display);
std::vector<unsigned char> keycodesFor(void* display, int vk);
// Whether any of the keys is down on the whole desktop now.
bool keyDown(void* display, const std::vector<unsigned char>& keycodes);
// VK_LBUTTON, VK_RBUTTON, VK_MBUTTON.
bool buttonDown(void* display, int vk);

}  // namespace gui::x11
