#include "forms/controls/textbox.h"

#include <algorithm>

#include "forms/form.h"

namespace forms {

namespace {
// Characters as the runtime counts them (a UTF-8 sequence is one).
std::size_t charCount(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string firstChars(const std::string& s, std::size_t count) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == count) return s.substr(0, i);
            ++n;
        }
    }
    return s;
}
}  // namespace

TextBox::TextBox(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::TextBox, true, "ThunderRT6TextBox", container) {
    setBackColor(kWindowBackground);
    // The window's text is this box's own string: a change is not copied into the registry too.
    if (hWnd()) platform::WindowRegistry::current().shareText(hWnd(), &text_);
}

TextBox::~TextBox() {
    if (hWnd()) platform::WindowRegistry::current().unshareText(hWnd(), &text_);
}

void TextBox::store(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    if (hWnd()) {
        auto& reg = platform::WindowRegistry::current();
        // A text set on the window apart from the box (a replaced procedure passing WM_SETTEXT on)
        // ended the sharing: the box's text goes in the general way and is shared again.
        if (!reg.sharedTextChanged(hWnd(), &text_)) {
            reg.setStoredText(hWnd(), text_);
            reg.shareText(hWnd(), &text_);
        }
    }
    notify(Prop::Text);
    fire(onChange);
}

void TextBox::setText(const std::string& text) {
    store(MaxLength > 0 && charCount(text) > static_cast<std::size_t>(MaxLength) ? firstChars(text, MaxLength) : text);
}

void TextBox::setSelStart(int pos) {
    selStart_ = std::clamp(pos, 0, static_cast<int>(charCount(text_)));
    notify(Prop::Selection);
}

void TextBox::userKey(int keyCode, int keyAscii, int shift) {
    if (form() && form()->KeyPreview) form()->Form_KeyDown(keyCode, shift);
    if (keyCode) fire(onKeyDown, keyCode, shift);
    if (keyAscii) {
        fire(onKeyPress, keyAscii);
        if (keyAscii && !Locked) {
            if (keyAscii == 8) {
                if (!text_.empty()) {
                    std::size_t n = charCount(text_);
                    store(firstChars(text_, n - 1));
                }
            } else if (keyAscii >= 32 && (MaxLength == 0 || charCount(text_) < static_cast<std::size_t>(MaxLength))) {
                store(text_ + std::string(1, static_cast<char>(keyAscii)));
            }
        }
    }
    if (keyCode) fire(onKeyUp, keyCode, shift);
}

void TextBox::userEdit(const std::string& text) {
    if (Locked) {
        notify(Prop::Text);  // the view shows the text again
        return;
    }
    setText(text);
}

LRESULT TextBox::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::WM_SETTEXT:
        // A raw message is not held to MaxLength.
        store(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    case platform::WM_KEYUP: {
        int code = static_cast<int>(wParam & 0xFFFF);
        fire(onKeyUp, code, 0);
        return 0;
    }
    case platform::WM_KEYDOWN: {
        int code = static_cast<int>(wParam & 0xFFFF);
        fire(onKeyDown, code, 0);
        return 0;
    }
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

}  // namespace forms
