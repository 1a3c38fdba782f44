// The scroll bar's widget.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/scrollbar.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindScrollBar(forms::ScrollBar& control, QWidget* parent);

}  // namespace gui::detail
