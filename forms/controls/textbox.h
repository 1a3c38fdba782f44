// The text box: typed and set text, MaxLength, the key events and the change notice.
#pragma once
#include <string>

#include "forms/control.h"

namespace forms {

class TextBox : public Control {
public:
    TextBox(Form* form, std::string name, Control* container = nullptr);
    ~TextBox() override;
    const std::string& Text() const { return text_; }
    // Change runs only when the text differs. Text from code is cut to MaxLength.
    void setText(const std::string& text);
    TextBox& operator=(const std::string& text) {
        setText(text);
        return *this;
    }
    int MaxLength = 0;
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    bool Locked = false;
    bool MultiLine = false;
    int SelStart() const { return selStart_; }
    void setSelStart(int pos);

    // The operator typing: KeyDown, KeyPress (a zeroed KeyAscii swallows the key), the edit, KeyUp.
    void userKey(int keyCode, int keyAscii, int shift = 0);
    // The operator's edit replacing the whole text (typing, pasting, deleting).
    void userEdit(const std::string& text);

    std::function<void()> onChange;
    std::function<void(int& keyCode, int shift)> onKeyDown, onKeyUp;
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void()> onClick, onDblClick;

    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void store(const std::string& text);
    std::string text_;
    int selStart_ = 0;
};

}  // namespace forms
