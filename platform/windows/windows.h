// The window registry: every control of every form, every hidden message box of the audio
// control and every window of the lighting program's stand-in is a window here, with a 32-bit
// handle, class name, text, parent, children, visibility, rectangle, z-order and a replaceable
// window procedure. A call on a handle that no longer exists does nothing and returns 0. Handles
// of another program's windows go to a foreign backend when one is set.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

using HWND = std::int32_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WndProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Message numbers the program and its stand-ins use.
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT MM_WOM_OPEN = 0x3BB;
inline constexpr UINT MM_WOM_CLOSE = 0x3BC;
inline constexpr UINT MM_WOM_DONE = 0x3BD;
inline constexpr UINT MM_WIM_OPEN = 0x3BE;
inline constexpr UINT MM_WIM_CLOSE = 0x3BF;
inline constexpr UINT MM_WIM_DATA = 0x3C0;
inline constexpr UINT WM_PRIVATE_TIMER = 0x3B7;  // the audio engine's timer tick (wParam 0x41)
inline constexpr int HTCAPTION = 2;
inline constexpr int VK_PRIOR = 0x21;
inline constexpr int VK_F1 = 112;
inline constexpr int VK_F12 = 123;
inline constexpr int GWL_WNDPROC = -4;
inline constexpr HWND HWND_NOTOPMOST = -2;
inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr HWND HWND_TOP = 0;
inline constexpr UINT SWP_NOSIZE = 1;
inline constexpr UINT SWP_NOMOVE = 2;
inline constexpr UINT SWP_NOZORDER = 4;
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// What a window does with the messages no replaced procedure takes: set and get its text.
// WM_GETTEXT's wParam (the buffer's size, the closing zero included) and its answer, like
// WM_GETTEXTLENGTH's, count characters as the forms runtime counts them (UTF-16 units); the
// text is copied as whole UTF-8 characters, never cut inside one.
LRESULT defWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// WM_GETTEXT's answer for a window showing text: the text copied into the caller's buffer of
// wParam characters (cut to fit, always terminated); the number copied.
LRESULT copyWindowText(const std::string& text, WPARAM wParam, LPARAM lParam);

// The windows of another program on the same desktop (the lighting program under Wine). The
// registry hands every handle it does not know to it. Calls come from the loop's thread only;
// a program that cannot be reached answers as a window that is gone does: 0, nothing, false.
// Where an answer is used, nothing (std::nullopt) means unknown: the other program was reached
// but did not answer in time.
class ForeignWindows {
public:
    virtual ~ForeignWindows() = default;
    virtual std::optional<HWND> findWindow(const std::string& className, const std::string& caption) = 0;
    // Every descendant, in reporting order.
    virtual std::optional<std::vector<HWND>> childWindows(HWND parent) = 0;
    virtual std::string getClassName(HWND hwnd) = 0;
    virtual std::string getWindowText(HWND hwnd) = 0;
    virtual HWND getParent(HWND hwnd) = 0;
    virtual LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // As sendMessage, waiting up to waitMs for a result that is used.
    virtual std::optional<LRESULT> sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int waitMs) = 0;
    virtual bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual int showWindow(HWND hwnd, int cmd) = 0;
    virtual bool moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) = 0;
    virtual bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) = 0;
};

// Bytes a WM_GETTEXT buffer needs for `chars` characters, the closing zero included.
inline std::size_t textBufferBytes(std::size_t chars) { return 3 * chars + 1; }

class WindowRegistry {
public:
    // Observer of changes made through the registry (the view and the scenario runner follow it).
    struct Observer {
        virtual ~Observer() = default;
        virtual void windowChanged(HWND) {}
        // A top-level window moved in the z-order (SetWindowPos): the screen follows.
        virtual void windowRestacked(HWND) {}
        virtual void messageSent(HWND, UINT, WPARAM, LPARAM) {}
        // False: windowChanged and windowRestacked are never called (asked once, when added). A change then costs
        // nothing when no observer follows changes.
        virtual bool followsWindowChanges() const { return true; }
    };

    static WindowRegistry& current();
    static void setCurrent(WindowRegistry* registry);

    // Creates a window; a child (parent != 0) is added after its siblings. proc empty: defWindowProc.
    HWND create(const std::string& className, const std::string& text, HWND parent = 0,
                WndProc proc = {}, bool visible = false, Rect rect = {});
    // Destroys the window and all its descendants.
    void destroy(HWND hwnd);
    bool isWindow(HWND hwnd) const;

    // Replaces the procedure; returns the old one (empty when the handle is dead).
    WndProc setWindowProc(HWND hwnd, WndProc proc);
    LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // The result, waiting up to waitMs for another program's window; nothing when the window is
    // gone or its program did not answer in time.
    std::optional<LRESULT> sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int waitMs);
    // Queued for the loop's next pump; safe from any thread. False for a dead handle.
    bool postMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // First top-level window, in z-order, whose caption matches ignoring case (hidden ones too).
    HWND findWindow(const std::string& className, const std::string& caption) const;
    // The same, but nothing when the window may be another program's that did not answer in time.
    std::optional<HWND> lookUpWindow(const std::string& className, const std::string& caption) const;
    // Every descendant as enumChildWindows reports them; nothing when the parent's program did
    // not answer in time.
    std::optional<std::vector<HWND>> lookUpChildren(HWND parent) const;
    // Every descendant, depth-first, siblings in creation order; the callback returns false to stop.
    void enumChildWindows(HWND parent, const std::function<bool(HWND)>& callback) const;
    std::vector<HWND> children(HWND parent) const;
    std::vector<HWND> topLevelWindows() const;  // z-order, topmost first

    std::string getClassName(HWND hwnd) const;
    std::string getWindowText(HWND hwnd) const;
    // Sets the stored text without sending anything (for a window's own procedure). Ends a
    // shared text: the window keeps its own copy from then on.
    void setStoredText(HWND hwnd, const std::string& text);
    // The window's text is `*text` itself from now on, a string its owner keeps (a text box's
    // contents) and must outlive the sharing; it is not copied on each change. The owner calls
    // sharedTextChanged after each change of it, and unshareText with the same string before the
    // string goes. Both do nothing when the window does not share that string (sharedTextChanged
    // then returns false: the owner sets the text the general way).
    void shareText(HWND hwnd, const std::string* text);
    bool sharedTextChanged(HWND hwnd, const std::string* text) {
        // Every shared text still shared and nobody following changes (the scenario runner):
        // nothing to do, not even a look-up.
        if (brokenShares_ == 0 && changeObservers_.empty()) return true;
        return noteSharedTextChange(hwnd, text);
    }
    void unshareText(HWND hwnd, const std::string* text);
    HWND getParent(HWND hwnd) const;
    bool isVisible(HWND hwnd) const;
    // Returns whether the window was visible before.
    int showWindow(HWND hwnd, int cmd);
    bool moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint = true);
    bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
    Rect getWindowRect(HWND hwnd) const;
    bool isTopmost(HWND hwnd) const;
    // The user data slot of a window (the forms runtime keeps its control there).
    void setUserData(HWND hwnd, void* data);
    void* userData(HWND hwnd) const;

    void addObserver(Observer* o);
    void removeObserver(Observer* o);

    // Where handles that are not ours go (nullptr: nowhere, they are dead). Our handles are
    // always even; the foreign side must give out others.
    void setForeignWindows(ForeignWindows* foreign) { foreign_ = foreign; }
    ForeignWindows* foreignWindows() const { return foreign_; }
    std::size_t count() const { return windows_.size(); }

private:
    struct Window {
        std::string className;
        std::string text;  // unless shared
        const std::string* shared = nullptr;
        bool shareBroken = false;  // shared once, until a text was set apart from its owner
        const std::string& currentText() const { return shared ? *shared : text; }
        HWND parent = 0;
        std::vector<HWND> children;
        bool visible = false;
        bool topmost = false;
        Rect rect;
        WndProc proc;
        void* userData = nullptr;
    };
    Window* find(HWND hwnd);
    const Window* find(HWND hwnd) const;
    void changed(HWND hwnd);
    bool noteSharedTextChange(HWND hwnd, const std::string* text);

    std::unordered_map<HWND, Window> windows_;
    std::vector<HWND> zOrder_;  // top-level windows, topmost first
    std::vector<Observer*> observers_;
    std::vector<Observer*> changeObservers_;  // those of observers_ that follow changes
    std::size_t brokenShares_ = 0;            // windows whose sharing a set text ended
    ForeignWindows* foreign_ = nullptr;
    HWND nextHandle_ = 0x10010;
};

// Short forms for the program's code: the calls of the current registry.
inline LRESULT SendMessage(HWND h, UINT m, WPARAM w = 0, LPARAM l = 0) {
    return WindowRegistry::current().sendMessage(h, m, w, l);
}
inline bool PostMessage(HWND h, UINT m, WPARAM w = 0, LPARAM l = 0) {
    return WindowRegistry::current().postMessage(h, m, w, l);
}

} // namespace platform
