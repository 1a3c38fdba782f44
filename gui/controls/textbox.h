// The text box's widget: a line edit, or a plain text edit for a multi-line box.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/textbox.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindTextBox(forms::TextBox& control, QWidget* parent);

}  // namespace gui::detail
