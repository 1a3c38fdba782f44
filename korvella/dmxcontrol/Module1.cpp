#include "korvella/dmxcontrol/Module1.h"

#include <optional>
#include <string>

#include "forms/conv.h"
#include "korvella/windows.h"
#include "platform/windows/windows.h"

namespace korvella::Module1 {

std::vector<std::int32_t> ChildHandles{0};

namespace {

// The class name as a 128-character buffer returns it, in lower case.
std::string lowerClassName(std::int32_t hwnd) {
    std::string name = platform::WindowRegistry::current().getClassName(hwnd);
    if (name.size() > 127) name.resize(127);
    return vb::LCase(name);
}

// The children of hwnd, when known.
std::optional<std::vector<platform::HWND>> children(std::int32_t hwnd) {
    return platform::WindowRegistry::current().lookUpChildren(hwnd);
}

// Enumerates the children into ChildHandles; the number reported.
int enumerate(const std::vector<platform::HWND>& children) {
    for (const platform::HWND child : children)
        if (EnumChildProc(child, 0) == 0) break;
    return static_cast<int>(ChildHandles.size()) - 1;
}

}  // namespace

std::int32_t EnumChildProc(std::int32_t hwnd, std::int32_t /*lParam*/) {
    ChildHandles.back() = hwnd;
    ChildHandles.push_back(0);
    return 1;
}

bool ListChildWindows(std::int32_t hwnd, forms::ListBox& lst) {
    const auto reported = children(hwnd);
    if (!reported) return false;
    ChildHandles.assign(1, 0);
    lst.Clear();
    const int n = enumerate(*reported);
    if (n < 1) return true;
    for (int i = 0; i < n; ++i) lst.AddItem(vb::CStr(ChildHandles[static_cast<std::size_t>(i)]));
    return true;
}

bool ListKommandoBoxChildren(std::int32_t hwnd, forms::ListBox& lst) {
    const auto reported = children(hwnd);
    if (!reported) return false;
    ChildHandles.assign(1, 0);
    lst.Clear();
    forms::ListBox& others = Form4->List3;
    others.Clear();
    const int n = enumerate(*reported);
    if (n < 1) return true;
    for (int i = 0; i < n; ++i) {
        const std::int32_t child = ChildHandles[static_cast<std::size_t>(i)];
        const std::string cls = lowerClassName(child);
        if (cls == "thunderrt6usercontroldc")
            lst.AddItem(vb::CStr(child));
        else if (cls == "listview20wndclass" || cls == "thunderrt6textbox" || cls == "thunderrt6checkbox")
            others.AddItem(vb::CStr(child));
    }
    return true;
}

std::optional<std::int64_t> CheckBoxState(std::int32_t hwnd) {
    const auto state = platform::WindowRegistry::current().sendMessageTimeout(hwnd, platform::BM_GETCHECK, 0, 0, kOperatorWaitMs);
    if (!state) return std::nullopt;
    return static_cast<std::int64_t>(*state);
}

}  // namespace korvella::Module1
