#include "gui/keys.h"

namespace gui {

int vkFromQtKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Clear: return 0x0C;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Print: return 0x2C;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Help: return 0x2F;
    case Qt::Key_Meta: return 0x5B;
    case Qt::Key_Menu: return 0x5D;
    case Qt::Key_Asterisk: return keypad ? 0x6A : 0;
    case Qt::Key_Plus: return keypad ? 0x6B : 0xBB;
    case Qt::Key_Minus: return keypad ? 0x6D : 0xBD;
    case Qt::Key_Period: return keypad ? 0x6E : 0xBE;
    case Qt::Key_Comma: return keypad ? 0x6E : 0xBC;  // the German keypad's decimal key
    case Qt::Key_Slash: return keypad ? 0x6F : 0xBF;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    case Qt::Key_Semicolon: return 0xBA;
    case Qt::Key_Equal: return 0xBB;
    case Qt::Key_QuoteLeft: return 0xC0;
    case Qt::Key_BracketLeft: return 0xDB;
    case Qt::Key_Backslash: return 0xDC;
    case Qt::Key_BracketRight: return 0xDD;
    case Qt::Key_Apostrophe: return 0xDE;
    // Keys of the German layout, as that layout's desktop codes them.
    case Qt::Key_Udiaeresis: return 0xBA;
    case Qt::Key_Odiaeresis: return 0xC0;
    case Qt::Key_Adiaeresis: return 0xDE;
    case Qt::Key_ssharp: return 0xDB;
    case Qt::Key_NumberSign: return 0xBF;
    case Qt::Key_Less: return 0xE2;
    case Qt::Key_Dead_Circumflex: return 0xDC;
    case Qt::Key_Dead_Acute: return 0xDD;
    default: return 0;
    }
}

int shiftBits(Qt::KeyboardModifiers modifiers) {
    int bits = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) bits |= 1;
    if (modifiers.testFlag(Qt::ControlModifier)) bits |= 2;
    if (modifiers.testFlag(Qt::AltModifier)) bits |= 4;
    return bits;
}

int buttonBits(Qt::MouseButtons buttons) {
    int bits = 0;
    if (buttons.testFlag(Qt::LeftButton)) bits |= 1;
    if (buttons.testFlag(Qt::RightButton)) bits |= 2;
    if (buttons.testFlag(Qt::MiddleButton)) bits |= 4;
    return bits;
}

}  // namespace gui
