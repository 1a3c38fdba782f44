// Frames, menus, shapes and lines.
#pragma once
#include <cstdint>
#include <string>

#include "forms/control.h"

namespace forms {

class Frame : public Control {
public:
    Frame(Form* form, std::string name, std::string caption, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);

private:
    std::string caption_;
};

class Menu : public Control {
public:
    // parent: the menu this item sits in (nullptr: a title of the menu bar).
    Menu(Form* form, std::string name, std::string caption, Menu* parent = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    Menu* parentMenu() const { return parent_; }
    bool Checked() const { return checked_; }
    void setChecked(bool c);
    void userClick();
    std::function<void()> onClick;

private:
    std::string caption_;
    Menu* parent_;
    bool checked_ = false;
};

class Shape : public Control {
public:
    Shape(Form* form, std::string name, int shape = 0, Control* container = nullptr);
    int ShapeKind;  // 0 rectangle, 1 square, 2 oval, 3 circle
    int FillStyle = 1;  // 1 transparent, 0 solid
    std::uint32_t FillColor = 0;
    std::uint32_t BorderColor = 0;
    void setFillColor(std::uint32_t c);
};

class LineControl : public Control {
public:
    LineControl(Form* form, std::string name, double x1, double y1, double x2, double y2, Control* container = nullptr);
    double X1, Y1, X2, Y2;
    std::uint32_t BorderColor = 0;
};

}  // namespace forms
