// Everything that talks to the X server, apart from Qt: Xlib's macros (KeyPress, None, Bool)
// must not meet Qt's headers.
#include "gui/x11keys.h"

#include "gui/keys.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace gui::x11 {

std::vector<unsigned long> keysymsFor(int vk) {
    if (vk >= 0x30 && vk <= 0x39) return {static_cast<unsigned long>(XK_0 + (vk - 0x30))};
    if (vk >= 0x41 && vk <= 0x5A) return {static_cast<unsigned long>(XK_a + (vk - 0x41))};
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return {static_cast<unsigned long>(XK_KP_0 + (vk - VK_NUMPAD0))};
    if (vk >= VK_F1 && vk <= VK_F24) return {static_cast<unsigned long>(XK_F1 + (vk - VK_F1))};
    switch (vk) {
    case VK_BACK: return {XK_BackSpace};
    case VK_TAB: return {XK_Tab, XK_ISO_Left_Tab};
    case 0x0C: return {XK_Clear, XK_KP_Begin};
    case VK_RETURN: return {XK_Return, XK_KP_Enter};
    case VK_SHIFT: return {XK_Shift_L, XK_Shift_R};
    case VK_CONTROL: return {XK_Control_L, XK_Control_R};
    case VK_MENU: return {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift, XK_Meta_L};
    case 0x13: return {XK_Pause};
    case 0x14: return {XK_Caps_Lock};
    case VK_ESCAPE: return {XK_Escape};
    case VK_SPACE: return {XK_space};
    case 0x21: return {XK_Prior};
    case VK_NEXT: return {XK_Next};
    case VK_END: return {XK_End};
    case VK_HOME: return {XK_Home};
    case VK_LEFT: return {XK_Left};
    case VK_UP: return {XK_Up};
    case VK_RIGHT: return {XK_Right};
    case VK_DOWN: return {XK_Down};
    case 0x2C: return {XK_Print};
    case 0x2D: return {XK_Insert};
    case VK_DELETE: return {XK_Delete};
    case 0x5B: return {XK_Super_L};
    case 0x5C: return {XK_Super_R};
    case 0x5D: return {XK_Menu};
    case 0x6A: return {XK_KP_Multiply};
    case 0x6B: return {XK_KP_Add};
    case 0x6D: return {XK_KP_Subtract};
    case 0x6E: return {XK_KP_Decimal, XK_KP_Separator};
    case 0x6F: return {XK_KP_Divide};
    case 0x90: return {XK_Num_Lock};
    case 0x91: return {XK_Scroll_Lock};
    case 0xA0: return {XK_Shift_L};
    case 0xA1: return {XK_Shift_R};
    case 0xA2: return {XK_Control_L};
    case 0xA3: return {XK_Control_R};
    case 0xA4: return {XK_Alt_L};
    case 0xA5: return {XK_Alt_R, XK_ISO_Level3_Shift};
    case 0xBA: return {XK_semicolon, XK_udiaeresis};
    case 0xBB: return {XK_equal, XK_plus};
    case 0xBC: return {XK_comma};
    case 0xBD: return {XK_minus};
    case 0xBE: return {XK_period};
    case 0xBF: return {XK_slash, XK_numbersign};
    case 0xC0: return {XK_grave, XK_odiaeresis};
    case 0xDB: return {XK_bracketleft, XK_ssharp};
    case 0xDC: return {XK_backslash, XK_dead_circumflex};
    case 0xDD: return {XK_bracketright, XK_dead_acute};
    case 0xDE: return {XK_apostrophe, XK_adiaeresis};
    case 0xE2: return {XK_less};
    default: return {};
    }
}

void* open() { return XOpenDisplay(nullptr); }

void close(void* display) {
    if (display) XCloseDisplay(static_cast<Display*>(display));
}

std::vector<unsigned char> keycodesFor(void* display, int vk) {
    std::vector<unsigned char> codes;
    for (unsigned long sym : keysymsFor(vk))
        if (KeyCode code = XKeysymToKeycode(static_cast<Display*>(display), sym)) codes.push_back(code);
    return codes;
}

bool keyDown(void* display, const std::vector<unsigned char>& keycodes) {
    if (keycodes.empty()) return false;
    char keys[32];
    XQueryKeymap(static_cast<Display*>(display), keys);
    for (unsigned char code : keycodes)
        if (keys[code / 8] & (1 << (code % 8))) return true;
    return false;
}

bool buttonDown(void* display, int vk) {
    auto* d = static_cast<Display*>(display);
    Window root, child;
    int rx, ry, wx, wy;
    unsigned int mask = 0;
    if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask)) return false;
    const unsigned int bit = vk == VK_LBUTTON ? Button1Mask : vk == VK_RBUTTON ? Button3Mask : Button2Mask;
    return (mask & bit) != 0;
}

}  // namespace gui::x11
