// The widgets of frames, shapes and lines.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/shapes.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindFrame(forms::Frame& control, QWidget* parent);
// Shapes and lines.
std::unique_ptr<Binding> bindShape(forms::Control& control, QWidget* parent);

}  // namespace gui::detail
