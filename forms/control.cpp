#include "forms/control.h"

#include "forms/application.h"
#include "forms/form.h"
#include "platform/loop/observers.h"

namespace forms {

std::uint32_t resolveColor(std::uint32_t color) {
    if ((color & 0xFF000000u) != 0x80000000u) return color & 0xFFFFFFu;
    switch (color & 0xFFu) {
    case 5: return 0xFFFFFF;   // window background
    case 8: return 0x000000;   // window text
    case 15: return 0xC0C0C0;  // button face
    case 18: return 0x000000;  // button text
    default: return 0xC0C0C0;
    }
}

Control::Control(Form* form, std::string name, Kind kind, bool windowed, const char* className, Control* container)
    : form_(form), name_(std::move(name)), kind_(kind), container_(container) {
    if (windowed && form_) {
        HWND parent = container_ && container_->hWnd() ? container_->hWnd() : form_->hWnd();
        hwnd_ = platform::WindowRegistry::current().create(
            className, "", parent, [this](HWND, UINT m, WPARAM w, LPARAM l) { return wndProc(m, w, l); }, true);
        platform::WindowRegistry::current().setUserData(hwnd_, this);
    }
    if (form_) form_->addControl(this);
}

Control::~Control() {
    if (form_) form_->removeControl(this);
    destroyWindow();
}

void Control::destroyWindow() {
    if (hwnd_) {
        if (auto* reg = &platform::WindowRegistry::current()) reg->destroy(hwnd_);
        hwnd_ = 0;
    }
}

void Control::Move(double left, double top, double width, double height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    left_ = left, top_ = top, width_ = width, height_ = height;
    if (hwnd_) {
        platform::WindowRegistry::current().moveWindow(
            hwnd_, static_cast<int>(left / kTwipsPerPixel + 0.5), static_cast<int>(top / kTwipsPerPixel + 0.5),
            static_cast<int>(width / kTwipsPerPixel + 0.5), static_cast<int>(height / kTwipsPerPixel + 0.5));
    }
    notify(Prop::Geometry);
}

void Control::setVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    if (hwnd_) platform::WindowRegistry::current().showWindow(hwnd_, v ? platform::SW_SHOW : platform::SW_HIDE);
    notify(Prop::Visible);
}

void Control::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    notify(Prop::Enabled);
}

void Control::setBackColor(std::uint32_t c) {
    if (c == backColor_) return;
    backColor_ = c;
    notify(Prop::Colors);
}

void Control::setForeColor(std::uint32_t c) {
    if (c == foreColor_) return;
    foreColor_ = c;
    notify(Prop::Colors);
}

void Control::setFont(const Font& f) {
    if (f == font_) return;
    font_ = f;
    notify(Prop::Font);
}

void Control::setFontSize(double s) {
    Font f = font_;
    f.size = s;
    setFont(f);
}

void Control::setFontBold(bool b) {
    Font f = font_;
    f.bold = b;
    setFont(f);
}

void Control::SetFocus() {
    if (!form_) return;
    Control* old = form_->focused();
    if (old == this) return;
    form_->setFocused(this);
    if (old) fire(old->onLostFocus);
    fire(onGotFocus);
}

void Control::notify(Prop p) {
    platform::forEachObserver(Application::controlObservers(), [&](FormsObserver* o) { o->controlChanged(*this, p); });
}

void Control::setWindowText(const std::string& text) {
    if (hwnd_) platform::WindowRegistry::current().setStoredText(hwnd_, text);
}

LRESULT Control::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return platform::defWindowProc(hwnd_, msg, wParam, lParam);
}

}  // namespace forms
