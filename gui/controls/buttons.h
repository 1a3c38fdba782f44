// The widgets of buttons, check boxes and option buttons.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/buttons.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindCommandButton(forms::CommandButton& control, QWidget* parent);
std::unique_ptr<Binding> bindCheckBox(forms::CheckBox& control, QWidget* parent);
std::unique_ptr<Binding> bindOptionButton(forms::OptionButton& control, QWidget* parent);

}  // namespace gui::detail
