// The widget of a hosted control: its own painting at the display's rate, or an empty area.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/hosted.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindHostedControl(forms::HostedControl& control, QWidget* parent);

}  // namespace gui::detail
