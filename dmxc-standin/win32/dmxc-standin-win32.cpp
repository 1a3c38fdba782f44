// dmxc-standin.exe [BUTTONS] [--slow MS]: DMXControl's windows as a Windows program, run under
// Wine, so that Korvella's bridge can be tried against real Win32 windows of another process.
//
// It opens "KommandoBox" (shown, topmost) with BUTTONS effect buttons (default 8) and
// "DMXC ManualBeat", with the class names and child order of DMXControl's windows, and other
// windows between them as a real form has (labels, scroll bars, a picture box):
//   KommandoBox: label, checkbox (ThunderRT6CheckBox, edit mode), scroll bar, frame
//     (ThunderRT6Frame) holding button 1 .. n (ThunderRT6UserControlDC) with a label among them,
//     search (ThunderRT6TextBox), label, locked (ThunderRT6CheckBox), bank
//     (ThunderRT6UserControlDC, the bank switch), picture box, name (ThunderRT6TextBox), label,
//     settings (ListView20WndClass), scroll bar.
//   DMXC ManualBeat: bpm (ThunderRT6TextBox), beat and reset (ThunderRT6CommandButton).
// The effect names are not all ASCII ("&", umlauts, "€").
// --slow MS: every click, BM_GETCHECK, WM_GETTEXT, key and beat from another program takes MS
// milliseconds, as a busy program on a loaded machine does.
// A click is button-down then button-up on the same window. The check box answers BM_GETCHECK and
// toggles on a click. A button click fires its effect, or in edit mode makes it the edited one,
// its settings list opened on the last page. WM_KEYDOWN VK_PRIOR pages the settings list up; keys
// are read in the message loop (as a form's key preview does), so a key that is sent instead of
// posted is reported ("sentkey ROLE") and does nothing.
// The name field takes the settings list's top row when the next click lands on another button
// or on the list (as a field that is updated when the list loses its page). WM_COMMAND naming the
// beat button, sent to the ManualBeat window, taps the tempo.
//
// Every line on standard output is "MS WHAT", MS in milliseconds since the start:
//   "ready kb=H check=H frame=H button1=H ... bank=H name=H settings=H mb=H bpm=H beat=H reset=H"
//   "down ROLE", "up ROLE", "getcheck ROLE", "gettext ROLE", "pageup ROLE", "sentkey ROLE",
//   "command ROLE FROM"
//   "fired K NAME", "edit on", "edit off", "editing K NAME", "name TEXT", "beat N"
//   "hidden ROLE", "shown ROLE", "moved ROLE X Y W H", "closed ROLE"
// A line "quit" on standard input closes both windows and ends the program. A line "busy MS"
// makes it take only sent messages for MS milliseconds, reported as "busy" and "idle", as Wine
// does while it waits on the X server after a show or a move.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

enum class Kind { KommandoBox, CheckBox, Frame, Button, Bank, NameField, Settings, ManualBeat, Bpm, Beat, Reset, Other };

struct Child {
    Kind kind;
    std::string role;
    int index = -1;
    bool down = false;
};

const char* const kUsualNames[] = {"Blitz & Donner", "Lauflicht grün", "Nebel", "Farbwechsel 5 €", "Strobe", "Weiß", "Chase", "Fade"};
const char* const kSettingsRows[] = {"", "Kanal 1", "Modus Flash", "Dimmer 100 %", "Farbe Weiss",
                                     "Geschwindigkeit 50", "Dauer 200 ms", "Taste keine"};
constexpr int kSettingsRowCount = 8;
constexpr int kPageRows = 4;
constexpr UINT kQuit = WM_APP + 1;
constexpr UINT kBusy = WM_APP + 2;

std::map<HWND, Child> g_children;
std::vector<std::string> g_names;
std::vector<HWND> g_buttons;
HWND g_kb = nullptr, g_mb = nullptr, g_name = nullptr, g_bpm = nullptr, g_beat = nullptr, g_reset = nullptr;
bool g_editMode = false;
int g_edited = -1;
int g_topRow = 0;
bool g_pagedToTop = false;  // the list reached its top since the name field last followed it
int g_taps = 0;
HWND g_settings = nullptr;
DWORD g_slowMs = 0;
LARGE_INTEGER g_start, g_freq;
DWORD g_mainThread = 0;

double nowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart - g_start.QuadPart) / static_cast<double>(g_freq.QuadPart);
}

void report(const std::string& what) {
    std::printf("%.3f %s\n", nowMs(), what.c_str());
    std::fflush(stdout);
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// A handler of a busy program.
void slow() {
    if (g_slowMs) Sleep(g_slowMs);
}

long handleText(HWND h) { return static_cast<long>(reinterpret_cast<LONG_PTR>(h)); }

std::string settingsRow(int row) {
    if (g_edited < 0) return "";
    return row == 0 ? g_names[static_cast<std::size_t>(g_edited)] : kSettingsRows[row];
}

// The name field follows the settings list once the list has been paged to its top.
void nameFollowsList() {
    if (!g_pagedToTop || g_edited < 0) return;
    g_pagedToTop = false;
    const std::string row = settingsRow(g_topRow);
    SetWindowTextW(g_name, wide(row).c_str());
    report("name " + row);
}

void tap() {
    ++g_taps;
    report("beat " + std::to_string(g_taps));
}

void click(Child& child) {
    switch (child.kind) {
    case Kind::CheckBox:
        g_editMode = !g_editMode;
        report(g_editMode ? "edit on" : "edit off");
        break;
    case Kind::Button:
        if (!g_editMode) {
            report("fired " + std::to_string(child.index + 1) + " " + g_names[static_cast<std::size_t>(child.index)]);
        } else if (child.index != g_edited) {
            nameFollowsList();
            g_edited = child.index;
            g_topRow = kSettingsRowCount - kPageRows;
            report("editing " + std::to_string(child.index + 1) + " " + g_names[static_cast<std::size_t>(child.index)]);
        }
        break;
    case Kind::Settings: nameFollowsList(); break;
    case Kind::Beat: tap(); break;
    case Kind::Reset:
        g_taps = 0;
        report("reset");
        break;
    default: break;
    }
}

void paint(HWND hwnd, const Child& child) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    const bool control = child.kind != Kind::KommandoBox && child.kind != Kind::ManualBeat && child.kind != Kind::Frame;
    FillRect(dc, &r, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>((control ? COLOR_BTNFACE : COLOR_WINDOW) + 1)));
    if (control) FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    wchar_t text[256];
    GetWindowTextW(hwnd, text, 256);
    std::wstring shown = text;
    if (child.kind == Kind::CheckBox) shown = (g_editMode ? L"[x] " : L"[ ] ") + shown;
    if (child.kind == Kind::Settings) shown = wide(settingsRow(g_topRow));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, shown.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &ps);
}

const char* messageName(UINT msg, WPARAM wParam) {
    switch (msg) {
    case WM_LBUTTONDOWN: return "down";
    case WM_LBUTTONUP: return "up";
    case BM_GETCHECK: return "getcheck";
    case WM_GETTEXT: return "gettext";
    case WM_KEYDOWN: return wParam == VK_PRIOR ? "pageup" : "keydown";
    default: return nullptr;
    }
}

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = g_children.find(hwnd);
    if (it == g_children.end()) return DefWindowProcW(hwnd, msg, wParam, lParam);
    Child& child = it->second;
    const bool topLevel = child.kind == Kind::KommandoBox || child.kind == Kind::ManualBeat;
    // Only what another program sends (or posts: the key) is reported, not the window system's own asking.
    const bool fromOutside = InSendMessage();
    if (const char* name = messageName(msg, wParam); name && !topLevel && fromOutside && msg != WM_KEYDOWN)
        report(std::string(name) + " " + child.role);

    switch (msg) {
    case BM_GETCHECK:
        slow();
        return child.kind == Kind::CheckBox && g_editMode ? BST_CHECKED : BST_UNCHECKED;
    case WM_GETTEXT:
        if (fromOutside) slow();
        break;
    case WM_LBUTTONDOWN: child.down = true; return 0;
    case WM_LBUTTONUP:
        slow();
        if (child.down) {
            child.down = false;
            click(child);
            InvalidateRect(g_kb, nullptr, TRUE);
        }
        return 0;
    case WM_KEYDOWN:
        // Keys are taken in the message loop; one that arrives here was sent past it.
        if (fromOutside) report("sentkey " + child.role);
        return 0;
    case WM_COMMAND:
        if (child.kind == Kind::ManualBeat) {
            slow();
            const HWND from = reinterpret_cast<HWND>(lParam);
            auto f = g_children.find(from);
            report("command " + child.role + " " + (f == g_children.end() ? std::to_string(handleText(from)) : f->second.role));
            if (from && from == g_beat) tap();
            if (from && from == g_reset) click(g_children[g_reset]);
        }
        return 0;
    case WM_SHOWWINDOW:
        if (topLevel) report(std::string(wParam ? "shown " : "hidden ") + child.role);
        break;
    case WM_WINDOWPOSCHANGED:
        if (topLevel) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(pos->flags & SWP_NOMOVE) || !(pos->flags & SWP_NOSIZE)) {
                RECT r;
                GetWindowRect(hwnd, &r);
                report("moved " + child.role + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                       std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
            }
        }
        break;
    case WM_PAINT: paint(hwnd, child); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY:
        if (topLevel) {
            report("closed " + child.role);
            if (hwnd == g_kb) g_kb = nullptr;
            if (hwnd == g_mb) g_mb = nullptr;
            if (!g_kb && !g_mb) PostQuitMessage(0);
        }
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The key preview of the message loop: Page Up on the settings list pages it up.
bool keyInLoop(const MSG& m) {
    if (m.message != WM_KEYDOWN) return false;
    auto it = g_children.find(m.hwnd);
    if (it == g_children.end()) return false;
    report(std::string(messageName(m.message, m.wParam)) + " " + it->second.role);
    slow();
    if (m.hwnd == g_settings && m.wParam == VK_PRIOR && g_edited >= 0) {
        g_topRow = g_topRow > kPageRows ? g_topRow - kPageRows : 0;
        if (g_topRow == 0) g_pagedToTop = true;
        InvalidateRect(m.hwnd, nullptr, TRUE);
    }
    return true;
}

HWND make(Kind kind, const std::string& role, const char* className, const std::string& text, HWND parent, int x, int y,
          int w, int h, int index = -1) {
    const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    const DWORD exStyle = kind == Kind::KommandoBox ? WS_EX_TOPMOST : 0;
    HWND hwnd = CreateWindowExW(exStyle, wide(className).c_str(), wide(text).c_str(), style, x, y, w, h, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (hwnd) g_children[hwnd] = Child{kind, role, index, false};
    return hwnd;
}

void registerClass(const char* name) {
    const std::wstring className = wide(name);
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
}

void takeOnlySentMessages(DWORD ms) {
    report("busy");
    const DWORD until = GetTickCount() + ms;
    for (DWORD now = GetTickCount(); static_cast<LONG>(until - now) > 0; now = GetTickCount()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_SENDMESSAGE);
        MSG m;
        PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    report("idle");
}

DWORD WINAPI readCommands(void*) {
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::string(line).rfind("quit", 0) == 0) {
            PostThreadMessageA(g_mainThread, kQuit, 0, 0);
            return 0;
        }
        if (std::string(line).rfind("busy ", 0) == 0)
            PostThreadMessageA(g_mainThread, kBusy, static_cast<WPARAM>(std::atoi(line + 5)), 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&g_freq);
    QueryPerformanceCounter(&g_start);
    g_mainThread = GetCurrentThreadId();
    int buttons = 8;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--slow" && i + 1 < argc)
            g_slowMs = static_cast<DWORD>(std::atoi(argv[++i]));
        else if (!a.empty() && a[0] != '-')
            buttons = std::atoi(a.c_str());
        else
            usage = true;
    }
    if (usage || buttons < 0 || buttons > 64 || g_slowMs > 10000) {
        std::fprintf(stderr, "usage: dmxc-standin.exe [BUTTONS (0 to 64)] [--slow MS]\n");
        return 2;
    }
    for (int i = 0; i < buttons; ++i) g_names.push_back(i < 8 ? kUsualNames[i] : "Effekt " + std::to_string(i + 1));

    for (const char* c : {"ThunderRT6FormDC", "ThunderRT6CheckBox", "ThunderRT6Frame", "ThunderRT6UserControlDC",
                          "ThunderRT6TextBox", "ListView20WndClass", "ThunderRT6CommandButton", "ThunderRT6PictureBoxDC"})
        registerClass(c);

    // Children are created in the order the window system reports them.
    g_kb = make(Kind::KommandoBox, "KommandoBox", "ThunderRT6FormDC", "KommandoBox", nullptr, 640, 80, 520, 360);
    // Windows of classes the bridge does not file, between those it does.
    auto other = [](const char* cls, const char* text, HWND parent, int x, int y, int w, int h) {
        CreateWindowExW(0, wide(cls).c_str(), wide(text).c_str(), WS_CHILD | WS_VISIBLE, x, y, w, h, parent, nullptr,
                        GetModuleHandleW(nullptr), nullptr);
    };
    other("Static", "Effekte", g_kb, 220, 10, 80, 20);
    const HWND check = make(Kind::CheckBox, "checkbox", "ThunderRT6CheckBox", "Buttons bearbeiten", g_kb, 10, 10, 200, 24);
    other("ScrollBar", "", g_kb, 505, 40, 12, 190);
    const HWND frame = make(Kind::Frame, "frame", "ThunderRT6Frame", "", g_kb, 10, 40, 490, 190);
    for (int i = 0; i < buttons; ++i) {
        if (i == buttons / 2) other("Static", "Seite 1", frame, 5, 160, 60, 20);
        g_buttons.push_back(make(Kind::Button, "button " + std::to_string(i + 1), "ThunderRT6UserControlDC",
                                 g_names[static_cast<std::size_t>(i)], frame, 5 + (i % 4) * 120, 5 + (i / 4) * 30, 115, 26, i));
    }
    const HWND search = make(Kind::Other, "search", "ThunderRT6TextBox", "", g_kb, 310, 10, 100, 24);
    other("Static", "gesperrt", g_kb, 420, 10, 40, 20);
    const HWND locked = make(Kind::Other, "locked", "ThunderRT6CheckBox", "", g_kb, 460, 10, 40, 24);
    const HWND bank = make(Kind::Bank, "bank", "ThunderRT6UserControlDC", "Bank 1", g_kb, 10, 240, 100, 26);
    other("ThunderRT6PictureBoxDC", "", g_kb, 10, 280, 100, 40);
    g_name = make(Kind::NameField, "name", "ThunderRT6TextBox", "", g_kb, 120, 240, 200, 26);
    other("Static", "Name", g_kb, 120, 270, 60, 20);
    const HWND settings = make(Kind::Settings, "settings", "ListView20WndClass", "", g_kb, 330, 240, 170, 26);
    g_settings = settings;
    other("ScrollBar", "", g_kb, 330, 270, 170, 12);
    g_mb = make(Kind::ManualBeat, "ManualBeat", "ThunderRT6FormDC", "DMXC ManualBeat", nullptr, 900, 500, 220, 130);
    g_bpm = make(Kind::Bpm, "bpm", "ThunderRT6TextBox", "", g_mb, 10, 10, 190, 24);
    g_beat = make(Kind::Beat, "beat", "ThunderRT6CommandButton", "Beat", g_mb, 10, 40, 90, 30);
    g_reset = make(Kind::Reset, "reset", "ThunderRT6CommandButton", "Reset", g_mb, 110, 40, 90, 30);
    if (!g_kb || !g_mb || !check || !frame || !search || !locked || !bank || !g_name || !settings || !g_bpm || !g_beat ||
        !g_reset) {
        std::fprintf(stderr, "dmxc-standin: cannot create the windows (error %lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(g_kb, SW_SHOWNORMAL);
    ShowWindow(g_mb, SW_SHOWNORMAL);

    std::string ready = "ready kb=" + std::to_string(handleText(g_kb)) + " check=" + std::to_string(handleText(check)) +
                        " frame=" + std::to_string(handleText(frame));
    for (int i = 0; i < buttons; ++i)
        ready += " button" + std::to_string(i + 1) + "=" + std::to_string(handleText(g_buttons[static_cast<std::size_t>(i)]));
    ready += " search=" + std::to_string(handleText(search)) + " locked=" + std::to_string(handleText(locked)) +
             " bank=" + std::to_string(handleText(bank)) + " name=" + std::to_string(handleText(g_name)) +
             " settings=" + std::to_string(handleText(settings)) + " mb=" + std::to_string(handleText(g_mb)) +
             " bpm=" + std::to_string(handleText(g_bpm)) + " beat=" + std::to_string(handleText(g_beat)) +
             " reset=" + std::to_string(handleText(g_reset));
    report(ready);

    CloseHandle(CreateThread(nullptr, 0, readCommands, nullptr, 0, nullptr));
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (!m.hwnd && m.message == kQuit) {
            if (g_kb) DestroyWindow(g_kb);
            if (g_mb) DestroyWindow(g_mb);
            continue;
        }
        if (!m.hwnd && m.message == kBusy) {
            takeOnlySentMessages(static_cast<DWORD>(m.wParam));
            continue;
        }
        if (keyInLoop(m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
