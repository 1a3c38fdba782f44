#include "forms/controls/hosted.h"

#include "forms/form.h"

namespace forms {

HostedControl::HostedControl(Form* form, std::string name, const char* className, Control* container)
    : Control(form, std::move(name), Kind::Hosted, true, className, container) {}

}  // namespace forms
