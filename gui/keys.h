// The runtime's key codes, shift bits and mouse button bits for what Qt reports, so that the
// operator's keys and clicks reach the program as the desktop's virtual keys.
#pragma once
#include <Qt>

namespace gui {

inline constexpr int VK_LBUTTON = 0x01;
inline constexpr int VK_RBUTTON = 0x02;
inline constexpr int VK_MBUTTON = 0x04;
inline constexpr int VK_BACK = 0x08;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_NEXT = 0x22;
inline constexpr int VK_END = 0x23;
inline constexpr int VK_HOME = 0x24;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_DELETE = 0x2E;
inline constexpr int VK_NUMPAD0 = 0x60;
inline constexpr int VK_F1 = 0x70;
inline constexpr int VK_F24 = 0x87;

// The virtual key of a Qt key (letters and digits are their upper-case ASCII code, keypad
// keys their own codes); 0 for keys the desktop has no code for.
int vkFromQtKey(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Shift argument of key and mouse events: 1 Shift, 2 Ctrl, 4 Alt.
int shiftBits(Qt::KeyboardModifiers modifiers);

// Button argument of mouse events: 1 left, 2 right, 4 middle.
int buttonBits(Qt::MouseButtons buttons);

}  // namespace gui
