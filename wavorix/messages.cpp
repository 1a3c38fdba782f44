#include "wavorix/messages.h"

namespace wavorix {

std::int32_t SendMsgText(platform::HWND hwnd, const std::string& text) {
    // The keywords are plain ASCII, the same in the ANSI code page and in the runtime's text.
    return static_cast<std::int32_t>(
        platform::SendMessage(hwnd, platform::WM_SETTEXT, 0, reinterpret_cast<platform::LPARAM>(text.c_str())));
}

std::int32_t SendKeyUp(platform::HWND hwnd, std::int32_t keyCode) {
    return static_cast<std::int32_t>(
        platform::SendMessage(hwnd, platform::WM_KEYUP, static_cast<platform::WPARAM>(keyCode), 0));
}

}  // namespace wavorix
