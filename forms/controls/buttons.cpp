#include "forms/controls/buttons.h"

#include "forms/form.h"
#include "platform/error.h"

namespace forms {

using platform::raise;

CommandButton::CommandButton(Form* form, std::string name, std::string caption, Control* container)
    : Control(form, std::move(name), Kind::CommandButton, true, "ThunderRT6CommandButton", container),
      caption_(std::move(caption)) {
    setWindowText(caption_);
}

void CommandButton::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void CommandButton::setValue(bool v) {
    if (v) fire(onClick);
}

void CommandButton::userClick() {
    if (!Enabled()) return;
    SetFocus();
    fire(onMouseDown, 1, 0, 0.0, 0.0);
    fire(onMouseUp, 1, 0, 0.0, 0.0);
    fire(onClick);
}

LRESULT CommandButton::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::WM_LBUTTONDOWN:
        down_ = true;
        fire(onMouseDown, 1, 0, 0.0, 0.0);
        return 0;
    case platform::WM_LBUTTONUP:
        fire(onMouseUp, 1, 0, 0.0, 0.0);
        if (down_) {
            down_ = false;
            fire(onClick);
        }
        return 0;
    case platform::WM_SETTEXT:
        setCaption(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

CheckBox::CheckBox(Form* form, std::string name, std::string caption, int value, Control* container)
    : Control(form, std::move(name), Kind::CheckBox, true, "ThunderRT6CheckBox", container),
      caption_(std::move(caption)), value_(value) {
    setWindowText(caption_);
}

void CheckBox::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void CheckBox::setValue(int v) {
    if (v < 0 || v > 2) raise(380);
    if (v == value_) return;
    value_ = v;
    notify(Prop::Value);
    fire(onClick);
}

void CheckBox::userClick() {
    if (!Enabled()) return;
    SetFocus();
    setValue(value_ == 1 ? 0 : 1);
}

LRESULT CheckBox::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::BM_GETCHECK:
        return value_;
    case platform::WM_LBUTTONDOWN:
        down_ = true;
        return 0;
    case platform::WM_LBUTTONUP:
        if (down_) {
            down_ = false;
            setValue(value_ == 1 ? 0 : 1);
        }
        return 0;
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

OptionButton::OptionButton(Form* form, std::string name, std::string caption, bool value, Control* container)
    : Control(form, std::move(name), Kind::OptionButton, true, "ThunderRT6OptionButton", container),
      caption_(std::move(caption)), value_(value) {
    setWindowText(caption_);
}

void OptionButton::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void OptionButton::setValue(bool v) {
    if (!v) {
        if (value_) {
            value_ = false;
            notify(Prop::Value);
        }
        return;
    }
    if (value_) return;
    if (form()) {
        for (Control* c : form()->Controls()) {
            if (c != this && c->kind() == Kind::OptionButton && c->container() == container()) {
                auto* o = static_cast<OptionButton*>(c);
                if (o->value_) {
                    o->value_ = false;
                    o->notify(Prop::Value);
                }
            }
        }
    }
    value_ = true;
    notify(Prop::Value);
    fire(onClick);
}

void OptionButton::userClick() {
    if (!Enabled()) return;
    SetFocus();
    setValue(true);
}

LRESULT OptionButton::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == platform::BM_GETCHECK) return value_ ? 1 : 0;
    if (msg == platform::WM_LBUTTONUP) {
        setValue(true);
        return 0;
    }
    return Control::wndProc(msg, wParam, lParam);
}

}  // namespace forms
