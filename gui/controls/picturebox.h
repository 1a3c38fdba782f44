// The picture box's widget: its persistent image, repainted by the tiles drawn on.
#pragma once
#include <QWidget>
#include <memory>

#include "forms/controls/picturebox.h"
#include "gui/bindings.h"

namespace gui::detail {

std::unique_ptr<Binding> bindPictureBox(forms::PictureBox& control, QWidget* parent);

}  // namespace gui::detail
