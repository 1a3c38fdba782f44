#include "forms/controls/label.h"

#include "forms/form.h"

namespace forms {

Label::Label(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::Label, false, "", container) {}

void Label::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    notify(Prop::Caption);
    fire(onChange);
}

}  // namespace forms
