#include "korvella/dmxcontrol/Module1.h"

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

// Enumerates the children of hwnd into ChildHandles; the number reported.
int enumerate(std::int32_t hwnd) {
    platform::WindowRegistry::current().enumChildWindows(hwnd, [](platform::HWND child) { return EnumChildProc(child, 0) != 0; });
    return static_cast<int>(ChildHandles.size()) - 1;
}

}  // namespace

std::int32_t EnumChildProc(std::int32_t hwnd, std::int32_t /*lParam*/) {
    ChildHandles.back() = hwnd;
    ChildHandles.push_back(0);
    return 1;
}

void ListChildWindows(std::int32_t hwnd, forms::ListBox& lst) {
    ChildHandles.assign(1, 0);
    lst.Clear();
    const int n = enumerate(hwnd);
    if (n < 1) return;
    for (int i = 0; i < n; ++i) lst.AddItem(vb::CStr(ChildHandles[static_cast<std::size_t>(i)]));
}

void ListKommandoBoxChildren(std::int32_t hwnd, forms::ListBox& lst) {
    ChildHandles.assign(1, 0);
    lst.Clear();
    forms::ListBox& others = Form4->List3;
    others.Clear();
    const int n = enumerate(hwnd);
    if (n < 1) return;
    for (int i = 0; i < n; ++i) {
        const std::int32_t child = ChildHandles[static_cast<std::size_t>(i)];
        const std::string cls = lowerClassName(child);
        if (cls == "thunderrt6usercontroldc")
            lst.AddItem(vb::CStr(child));
        else if (cls == "listview20wndclass" || cls == "thunderrt6textbox" || cls == "thunderrt6checkbox")
            others.AddItem(vb::CStr(child));
    }
}

}  // namespace korvella::Module1
