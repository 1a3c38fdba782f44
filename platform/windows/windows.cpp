#include "platform/windows/windows.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/loop/eventloop.h"
#include "platform/loop/observers.h"
#include "platform/storage/text.h"

namespace platform {

namespace {
WindowRegistry* g_registry = nullptr;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

LRESULT defWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& reg = WindowRegistry::current();
    switch (msg) {
    case WM_SETTEXT:
        reg.setStoredText(hwnd, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    case WM_GETTEXT:
        return copyWindowText(reg.getWindowText(hwnd), wParam, lParam);
    case WM_GETTEXTLENGTH: {
        const std::string text = reg.getWindowText(hwnd);
        std::size_t units = 0;
        utf8PrefixBytes(text, text.size(), units);
        return static_cast<LRESULT>(units);
    }
    default:
        return 0;
    }
}

LRESULT copyWindowText(const std::string& text, WPARAM wParam, LPARAM lParam) {
    if (wParam == 0 || !lParam) return 0;
    // wParam and the answer count characters (UTF-16 units); only whole characters are copied.
    std::size_t units = 0;
    const std::size_t n = utf8PrefixBytes(text, wParam - 1, units);
    std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
    reinterpret_cast<char*>(lParam)[n] = '\0';
    return static_cast<LRESULT>(units);
}

WindowRegistry& WindowRegistry::current() {
    if (!g_registry) throw std::logic_error("no window registry installed");
    return *g_registry;
}

void WindowRegistry::setCurrent(WindowRegistry* registry) { g_registry = registry; }

WindowRegistry::Window* WindowRegistry::find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

const WindowRegistry::Window* WindowRegistry::find(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

void WindowRegistry::changed(HWND hwnd) {
    forEachObserver(changeObservers_, [&](Observer* o) { o->windowChanged(hwnd); });
}

HWND WindowRegistry::create(const std::string& className, const std::string& text, HWND parent, WndProc proc,
                            bool visible, Rect rect) {
    const HWND h = nextHandle_;
    nextHandle_ += 2;  // handles stay even and never come back within a run
    Window w;
    w.className = className;
    w.text = text;
    w.visible = visible;
    w.rect = rect;
    w.proc = proc ? std::move(proc) : WndProc(defWindowProc);
    Window* p = parent ? find(parent) : nullptr;
    w.parent = p ? parent : 0;
    windows_.emplace(h, std::move(w));
    if (p)
        p->children.push_back(h);
    else
        zOrder_.insert(zOrder_.begin(), h);  // a new top-level window opens on top
    changed(h);
    return h;
}

void WindowRegistry::destroy(HWND hwnd) {
    Window* w = find(hwnd);
    if (!w) return;
    for (HWND c : std::vector<HWND>(w->children)) destroy(c);
    w = find(hwnd);
    if (w->parent) {
        if (Window* p = find(w->parent)) std::erase(p->children, hwnd);
    } else {
        std::erase(zOrder_, hwnd);
    }
    if (w->shareBroken) --brokenShares_;
    windows_.erase(hwnd);
    changed(hwnd);
}

bool WindowRegistry::isWindow(HWND hwnd) const { return find(hwnd) != nullptr; }

WndProc WindowRegistry::setWindowProc(HWND hwnd, WndProc proc) {
    Window* w = find(hwnd);
    if (!w) return {};
    WndProc old = std::move(w->proc);
    w->proc = proc ? std::move(proc) : WndProc(defWindowProc);
    return old;
}

LRESULT WindowRegistry::sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = find(hwnd);
    if (!w) return foreign_ ? foreign_->sendMessage(hwnd, msg, wParam, lParam) : 0;
    forEachObserver(observers_, [&](Observer* o) { o->messageSent(hwnd, msg, wParam, lParam); });
    WndProc proc = w->proc;  // the procedure may replace itself or destroy the window
    return proc(hwnd, msg, wParam, lParam);
}

std::optional<LRESULT> WindowRegistry::sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int waitMs) {
    if (find(hwnd)) return sendMessage(hwnd, msg, wParam, lParam);
    if (!foreign_) return std::nullopt;
    return foreign_->sendMessageTimeout(hwnd, msg, wParam, lParam, waitMs);
}

bool WindowRegistry::postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    EventLoop* loop = EventLoop::currentOrNull();
    if (!loop) return false;
    // Any thread may post; whether the window still lives is checked on the loop's thread,
    // where a message for a window that died meanwhile is dropped.
    WindowRegistry* self = this;
    loop->post([self, hwnd, msg, wParam, lParam] {
        if (self->isWindow(hwnd))
            self->sendMessage(hwnd, msg, wParam, lParam);
        else if (self->foreign_)
            self->foreign_->postMessage(hwnd, msg, wParam, lParam);
    });
    return true;
}

HWND WindowRegistry::findWindow(const std::string& className, const std::string& caption) const {
    return lookUpWindow(className, caption).value_or(0);
}

std::optional<HWND> WindowRegistry::lookUpWindow(const std::string& className, const std::string& caption) const {
    for (HWND h : zOrder_) {
        const Window* w = find(h);
        if (!w) continue;
        if (!className.empty() && !equalsIgnoringCase(w->className, className)) continue;
        if (equalsIgnoringCase(w->currentText(), caption)) return h;
    }
    return foreign_ ? foreign_->findWindow(className, caption) : HWND(0);
}

std::optional<std::vector<HWND>> WindowRegistry::lookUpChildren(HWND parent) const {
    if (!find(parent) && foreign_) return foreign_->childWindows(parent);
    std::vector<HWND> all;
    enumChildWindows(parent, [&all](HWND h) {
        all.push_back(h);
        return true;
    });
    return all;
}

void WindowRegistry::enumChildWindows(HWND parent, const std::function<bool(HWND)>& callback) const {
    // Pre-order walk over a snapshot, so a callback that creates or destroys windows is safe.
    if (!find(parent) && foreign_) {
        for (HWND h : foreign_->childWindows(parent).value_or(std::vector<HWND>{}))
            if (!callback(h)) return;
        return;
    }
    std::vector<HWND> order;
    std::function<void(HWND)> walk = [&](HWND h) {
        const Window* w = find(h);
        if (!w) return;
        for (HWND c : w->children) {
            order.push_back(c);
            walk(c);
        }
    };
    walk(parent);
    for (HWND h : order) {
        if (!isWindow(h)) continue;
        if (!callback(h)) return;
    }
}

std::vector<HWND> WindowRegistry::children(HWND parent) const {
    const Window* w = find(parent);
    return w ? w->children : std::vector<HWND>{};
}

std::vector<HWND> WindowRegistry::topLevelWindows() const { return zOrder_; }

std::string WindowRegistry::getClassName(HWND hwnd) const {
    const Window* w = find(hwnd);
    if (!w) return foreign_ ? foreign_->getClassName(hwnd) : std::string();
    return w->className;
}

std::string WindowRegistry::getWindowText(HWND hwnd) const {
    const Window* w = find(hwnd);
    if (!w) return foreign_ ? foreign_->getWindowText(hwnd) : std::string();
    return w->currentText();
}

void WindowRegistry::setStoredText(HWND hwnd, const std::string& text) {
    Window* w = find(hwnd);
    if (!w) return;
    if (w->shared) {
        w->text = *w->shared;
        w->shared = nullptr;
        w->shareBroken = true;
        ++brokenShares_;
    }
    if (w->text == text) return;
    w->text = text;
    changed(hwnd);
}

void WindowRegistry::shareText(HWND hwnd, const std::string* text) {
    Window* w = find(hwnd);
    if (!w || !text || w->shared == text) return;
    // Taking up the owner's string is a change of text only when it differs.
    const bool differs = w->currentText() != *text;
    if (w->shareBroken) {
        w->shareBroken = false;
        --brokenShares_;
    }
    w->shared = text;
    w->text.clear();
    w->text.shrink_to_fit();
    if (differs) changed(hwnd);
}

bool WindowRegistry::noteSharedTextChange(HWND hwnd, const std::string* text) {
    const Window* w = find(hwnd);
    if (!w || w->shared != text) return false;
    // The text is already the owner's: only the notices are left.
    changed(hwnd);
    return true;
}

void WindowRegistry::unshareText(HWND hwnd, const std::string* text) {
    Window* w = find(hwnd);
    if (!w || !text || w->shared != text) return;
    w->text = *text;
    w->shared = nullptr;
}

HWND WindowRegistry::getParent(HWND hwnd) const {
    const Window* w = find(hwnd);
    if (!w) return foreign_ ? foreign_->getParent(hwnd) : 0;
    return w->parent;
}

bool WindowRegistry::isVisible(HWND hwnd) const {
    const Window* w = find(hwnd);
    return w && w->visible;
}

int WindowRegistry::showWindow(HWND hwnd, int cmd) {
    Window* w = find(hwnd);
    if (!w) return foreign_ ? foreign_->showWindow(hwnd, cmd) : 0;
    const bool was = w->visible;
    w->visible = cmd != SW_HIDE;
    if (was != w->visible) changed(hwnd);
    return was ? 1 : 0;
}

bool WindowRegistry::moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    Window* w = find(hwnd);
    if (!w) return foreign_ && foreign_->moveWindow(hwnd, x, y, width, height, repaint);
    Rect r{x, y, x + width, y + height};
    if (w->rect != r) {
        w->rect = r;
        changed(hwnd);
    }
    return true;
}

bool WindowRegistry::setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = find(hwnd);
    if (!w) return foreign_ && foreign_->setWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
    Rect r = w->rect;
    if (!(flags & SWP_NOMOVE)) r = Rect{x, y, x + r.width(), y + r.height()};
    if (!(flags & SWP_NOSIZE)) r.right = r.left + cx, r.bottom = r.top + cy;
    w->rect = r;
    if (!(flags & SWP_NOZORDER) && !w->parent) {
        if (insertAfter == HWND_TOPMOST) w->topmost = true;
        if (insertAfter == HWND_NOTOPMOST) w->topmost = false;
        std::erase(zOrder_, hwnd);
        if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST) {
            zOrder_.insert(zOrder_.begin(), hwnd);
        } else if (insertAfter == HWND_NOTOPMOST) {
            // Above every window that is not topmost.
            auto it = std::find_if(zOrder_.begin(), zOrder_.end(), [&](HWND h) {
                const Window* o = find(h);
                return !o || !o->topmost;
            });
            zOrder_.insert(it, hwnd);
        } else {
            auto it = std::find(zOrder_.begin(), zOrder_.end(), insertAfter);
            zOrder_.insert(it == zOrder_.end() ? it : it + 1, hwnd);
        }
    }
    const bool restacked = !(flags & SWP_NOZORDER) && !w->parent;
    changed(hwnd);
    if (restacked && find(hwnd))
        forEachObserver(changeObservers_, [&](Observer* o) { o->windowRestacked(hwnd); });
    return true;
}

Rect WindowRegistry::getWindowRect(HWND hwnd) const {
    const Window* w = find(hwnd);
    return w ? w->rect : Rect{};
}

bool WindowRegistry::isTopmost(HWND hwnd) const {
    const Window* w = find(hwnd);
    return w && w->topmost;
}

void WindowRegistry::setUserData(HWND hwnd, void* data) {
    if (Window* w = find(hwnd)) w->userData = data;
}

void* WindowRegistry::userData(HWND hwnd) const {
    const Window* w = find(hwnd);
    return w ? w->userData : nullptr;
}

void WindowRegistry::addObserver(Observer* o) {
    observers_.push_back(o);
    if (o->followsWindowChanges()) changeObservers_.push_back(o);
}

void WindowRegistry::removeObserver(Observer* o) {
    std::erase(observers_, o);
    std::erase(changeObservers_, o);
}

}  // namespace platform
