// The channel from the engine to the control: keywords as the text of the hidden text box
// txtMsg (WM_SETTEXT) and key codes as key-up messages (WM_KEYUP). Both are sent, so the
// control's handler (and the host's event handler) has run when they return.
#pragma once
#include <cstdint>
#include <string>

#include "platform/windows/windows.h"

namespace wavorix {

std::int32_t SendMsgText(platform::HWND hwnd, const std::string& text);
std::int32_t SendKeyUp(platform::HWND hwnd, std::int32_t keyCode);

}  // namespace wavorix
