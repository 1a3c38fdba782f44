#include "forms/controls/shapes.h"

#include "forms/form.h"

namespace forms {

Frame::Frame(Form* form, std::string name, std::string caption, Control* container)
    : Control(form, std::move(name), Kind::Frame, true, "ThunderRT6Frame", container), caption_(std::move(caption)) {
    setWindowText(caption_);
}

void Frame::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

Menu::Menu(Form* form, std::string name, std::string caption, Menu* parent)
    : Control(form, std::move(name), Kind::Menu, false, ""), caption_(std::move(caption)), parent_(parent) {}

void Menu::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    notify(Prop::Caption);
}

void Menu::setChecked(bool c) {
    if (c == checked_) return;
    checked_ = c;
    notify(Prop::Value);
}

void Menu::userClick() {
    if (Enabled()) fire(onClick);
}

Shape::Shape(Form* form, std::string name, int shape, Control* container)
    : Control(form, std::move(name), Kind::Shape, false, "", container), ShapeKind(shape) {}

void Shape::setFillColor(std::uint32_t c) {
    if (c == FillColor) return;
    FillColor = c;
    notify(Prop::Colors);
}

LineControl::LineControl(Form* form, std::string name, double x1, double y1, double x2, double y2, Control* container)
    : Control(form, std::move(name), Kind::Line, false, "", container), X1(x1), Y1(y1), X2(x2), Y2(y2) {}

}  // namespace forms
