// The widgets of list boxes (the file and folder lists too) and drop-down lists.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/listbox.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindListBox(forms::ListBox& control, QWidget* parent);
std::unique_ptr<Binding> bindComboBox(forms::ComboBox& control, QWidget* parent);

}  // namespace gui::detail
