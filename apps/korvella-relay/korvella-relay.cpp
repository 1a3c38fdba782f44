// korvella-relay.exe: run by Korvella under Wine, it makes the window calls on the windows of
// programs that run under the same Wine (DMXControl) with Wine's own user32, and answers them.
//
// One request per line on standard input, one answer per line on standard output:
//   ID find CLASS CAPTION         -> ID HWND                 (0: no such window)
//   ID children HWND              -> ID H1 CLASS1 H2 CLASS2 ... (every descendant, in the order
//                                    EnumChildWindows reports them, with its class name)
//   ID class HWND                 -> ID CLASS
//   ID text HWND MAX              -> ID COUNT TEXT           (WM_GETTEXT of at most MAX characters)
//   ID parent HWND                -> ID HWND
//   ID send HWND MSG WPARAM LPARAM -> ID RESULT              (SendMessage; only messages whose
//                                    parameters are plain numbers)
//   ID post HWND MSG WPARAM LPARAM -> ID 0|1                 (PostMessage; the next call waits until
//                                    the window's program has taken it from its queue)
//   ID show HWND CMD              -> ID 0|1                  (ShowWindow)
//   ID move HWND X Y W H REPAINT  -> ID 0|1                  (MoveWindow)
//   ID pos HWND AFTER X Y CX CY FLAGS -> ID 0|1              (SetWindowPos)
// Look-ups (find, children, class, parent) are answered at once. The calls that reach the other
// program (send, post, text, show, move, pos) are made one after the other in the order they
// came, on a thread of their own, so that a slow program delays only them; each is answered when
// made. A call the program did not answer within a second answers "ID -" (its result unknown).
// Showing, moving and placing are handed to the window's own thread without waiting for it
// (a window system without window manager lets a hide take seconds).
// Handles are the windows' 32-bit values as signed decimal numbers. Texts (CLASS, CAPTION, TEXT)
// are UTF-8, written as "=" followed by the text with every byte other than a letter, a digit,
// '.', '_', '-' and '~' as %XX; "=" alone is the empty text, "-" for CLASS means any class.
// A call on a handle that is no window answers 0 (or an empty text). The first line written is
// "ready"; end of input ends the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows/relay_protocol.h"

namespace {

using relay::decode;
using relay::encode;
using relay::plainMessage;

// A program that stops answering must not hold the relay for ever.
constexpr UINT kSendTimeoutMs = 1000;
// How long the program has, after it came back to its loop, to take a posted message.
constexpr DWORD kPostSettleMs = 20;

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

HWND toHandle(long long v) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(v))); }
long long fromHandle(HWND h) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(h)); }

std::string className(HWND h) {
    wchar_t name[128];
    const int n = GetClassNameW(h, name, 128);
    return utf8(name, n);
}

BOOL CALLBACK collect(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

std::string answer(std::istringstream& in, const std::string& verb) {
    long long h = 0;
    if (verb == "find") {
        std::string clsToken, capToken;
        in >> clsToken >> capToken;
        const auto caption = decode(capToken);
        if (!caption) return "0";
        const bool anyClass = clsToken == "-";
        const auto cls = anyClass ? std::optional<std::string>("") : decode(clsToken);
        if (!cls) return "0";
        const std::wstring wcls = wide(*cls), wcap = wide(*caption);
        return std::to_string(fromHandle(FindWindowW(anyClass ? nullptr : wcls.c_str(), wcap.c_str())));
    }
    if (!(in >> h)) return "0";
    const HWND hwnd = toHandle(h);
    if (!IsWindow(hwnd)) return verb == "class" ? "=" : verb == "text" ? "0 =" : verb == "children" ? "" : "0";
    if (verb == "children") {
        std::vector<HWND> list;
        EnumChildWindows(hwnd, collect, reinterpret_cast<LPARAM>(&list));
        std::string out;
        for (HWND c : list) out += (out.empty() ? "" : " ") + std::to_string(fromHandle(c)) + " " + encode(className(c));
        return out;
    }
    if (verb == "class") return encode(className(hwnd));
    if (verb == "parent") return std::to_string(fromHandle(GetParent(hwnd)));
    if (verb == "text") {
        long long max = 0;
        in >> max;
        if (max <= 0) return "0 =";
        if (max > 32767) max = 32767;
        std::vector<wchar_t> buffer(static_cast<std::size_t>(max) + 1, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer.data()),
                                 SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
            return "-";
        const int n = static_cast<int>(copied > static_cast<DWORD_PTR>(max) ? max : copied);
        return std::to_string(n) + " " + encode(utf8(buffer.data(), n));
    }
    if (verb == "send" || verb == "post") {
        long long msg = 0, w = 0, l = 0;
        if (!(in >> msg >> w >> l) || !plainMessage(static_cast<UINT>(msg))) return "0";
        // A window handle in lParam (WM_COMMAND) travels as its 32-bit value.
        const LPARAM lp = msg == WM_COMMAND ? reinterpret_cast<LPARAM>(toHandle(l)) : static_cast<LPARAM>(l);
        if (verb == "post") {
            // Posted, so that it goes through the program's message loop (key previews and
            // accelerators read keys there). A program takes sent messages before posted ones:
            // the next call waits until the program has come to its loop and, a moment later,
            // to this message, so that a click sent next cannot overtake it.
            if (!PostMessageA(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(w), lp)) return "0";
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
            Sleep(kPostSettleMs);
            return "1";
        }
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(w), lp, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &result))
            return "-";
        return std::to_string(static_cast<long long>(static_cast<LONG_PTR>(result)));
    }
    if (verb == "show") {
        int cmd = 0;
        in >> cmd;
        return ShowWindowAsync(hwnd, cmd) ? "1" : "0";
    }
    if (verb == "move") {
        int x = 0, y = 0, w = 0, hgt = 0, repaint = 1;
        in >> x >> y >> w >> hgt >> repaint;
        const UINT how = SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS | (repaint ? 0 : SWP_NOREDRAW);
        return SetWindowPos(hwnd, nullptr, x, y, w, hgt, how) ? "1" : "0";
    }
    if (verb == "pos") {
        long long after = 0;
        int x = 0, y = 0, cx = 0, cy = 0;
        unsigned flags = 0;
        in >> after >> x >> y >> cx >> cy >> flags;
        return SetWindowPos(hwnd, toHandle(after), x, y, cx, cy, flags | SWP_ASYNCWINDOWPOS) ? "1" : "0";
    }
    return "?";
}

bool lookUp(const std::string& verb) { return verb == "find" || verb == "children" || verb == "class" || verb == "parent"; }

// Answers come from two threads; each line is written whole.
CRITICAL_SECTION g_output;
void write(const std::string& id, const std::string& result) {
    EnterCriticalSection(&g_output);
    std::printf("%s %s\n", id.c_str(), result.c_str());
    std::fflush(stdout);
    LeaveCriticalSection(&g_output);
}

// The calls that reach the other program, in the order they came.
struct Queue {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE added;
    std::deque<std::string> lines;
} g_queue;

DWORD WINAPI makeCalls(void*) {
    for (;;) {
        EnterCriticalSection(&g_queue.lock);
        while (g_queue.lines.empty()) SleepConditionVariableCS(&g_queue.added, &g_queue.lock, INFINITE);
        const std::string line = std::move(g_queue.lines.front());
        g_queue.lines.pop_front();
        LeaveCriticalSection(&g_queue.lock);
        std::istringstream in(line);
        std::string id, verb;
        in >> id >> verb;
        write(id, answer(in, verb));
    }
}

bool readLine(std::string& line) {
    line.clear();
    int c;
    while ((c = std::getchar()) != EOF) {
        if (c == '\n') return true;
        if (c != '\r') line += static_cast<char>(c);
    }
    return !line.empty();
}

}  // namespace

int main() {
    InitializeCriticalSection(&g_output);
    InitializeCriticalSection(&g_queue.lock);
    InitializeConditionVariable(&g_queue.added);
    const HANDLE caller = CreateThread(nullptr, 0, makeCalls, nullptr, 0, nullptr);
    if (!caller) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (readLine(line)) {
        std::istringstream in(line);
        std::string id, verb;
        if (!(in >> id >> verb)) continue;
        if (lookUp(verb)) {
            write(id, answer(in, verb));
            continue;
        }
        EnterCriticalSection(&g_queue.lock);
        g_queue.lines.push_back(line);
        LeaveCriticalSection(&g_queue.lock);
        WakeConditionVariable(&g_queue.added);
    }
    // End of input: the calls still queued are not made.
    std::fflush(stdout);
    ExitProcess(0);
}
