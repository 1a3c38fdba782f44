// The program's windows beside a stand-in for DMXControl, with readable press sequences.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dmxc-standin/DmxcStandin.h"
#include "../fixture.h"

namespace korvella_test {

class DmxcTest : public KorvellaTest {
protected:
    static std::vector<std::string> rows(const forms::ListBox& list) { return list.items(); }
    static std::string text(platform::HWND h) { return std::to_string(h); }

    // The stand-in's windows as the program lists them: decimal handle texts.
    std::vector<std::string> buttonRows() const {
        std::vector<std::string> out;
        for (int i = 0; i < dmxc.buttonCount(); ++i) out.push_back(text(dmxc.button(i)));
        return out;
    }
    std::vector<std::string> otherRows() const {
        return {text(dmxc.checkBox()), text(dmxc.nameField()), text(dmxc.settingsList())};
    }

    // What the stand-in received from time t0 on, one line each: "MS ROLE MESSAGE", MS counted
    // from t0; messages are named down, up, getcheck, gettext, pageup, command.
    std::vector<std::string> receivedSince(double t0) const {
        std::vector<std::string> out;
        for (const auto& r : dmxc.received()) {
            if (r.ms < t0) continue;
            std::string what;
            switch (r.msg) {
            case platform::WM_LBUTTONDOWN: what = "down"; break;
            case platform::WM_LBUTTONUP: what = "up"; break;
            case platform::BM_GETCHECK: what = "getcheck"; break;
            case platform::WM_GETTEXT: what = "gettext"; break;
            case platform::WM_COMMAND: what = "command " + dmxc.roleOf(static_cast<platform::HWND>(r.lParam)); break;
            case platform::WM_KEYDOWN: what = r.wParam == platform::VK_PRIOR ? "pageup" : "keydown"; break;
            default: what = "message " + std::to_string(r.msg);
            }
            out.push_back(std::to_string(static_cast<long long>(r.ms - t0)) + " " + r.role + " " + what);
        }
        return out;
    }

    // The stand-in is closed before the program's windows go.
    dmxc::Standin dmxc{windows()};
};

}  // namespace korvella_test
