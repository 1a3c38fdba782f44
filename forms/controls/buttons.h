// Buttons, check boxes and option buttons: clicks from the operator, from code and by message.
#pragma once
#include <string>

#include "forms/control.h"

namespace forms {

class CommandButton : public Control {
public:
    CommandButton(Form* form, std::string name, std::string caption, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    // Value = True presses the button: Click runs at once. Reading gives False.
    void setValue(bool v);
    bool Value() const { return false; }
    // The operator's click: the focused text box loses the focus first.
    void userClick();
    std::function<void()> onClick;
    std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseUp;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    bool down_ = false;
};

class CheckBox : public Control {
public:
    CheckBox(Form* form, std::string name, std::string caption, int value = 0, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    int Value() const { return value_; }
    // 0, 1 or 2; anything else raises 380. A different value runs Click.
    void setValue(int v);
    void userClick();
    std::function<void()> onClick;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    int value_;
    bool down_ = false;
};

// Option buttons with the same container (form, frame or picture box) form one group.
class OptionButton : public Control {
public:
    OptionButton(Form* form, std::string name, std::string caption, bool value = false, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    bool Value() const { return value_; }
    // True clears the others of the group and runs Click (not when already selected).
    void setValue(bool v);
    void userClick();
    std::function<void()> onClick;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    bool value_;
};

}  // namespace forms
