// The label's widget.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/label.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindLabel(forms::Label& control, QWidget* parent);

}  // namespace gui::detail
