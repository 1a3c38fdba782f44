// The mask painter's built-in brush shapes and its picture loader.
#pragma once
#include <string>

#include "platform/graphics/graphics.h"

namespace korvella {

inline constexpr int kBrushShapes = 16;
inline constexpr int kBrushSide = 200;

// Shape 0 to 15: a 200 x 200 picture, black on white. Shape 2 is kept as a 24-bit picture, the
// others as 32-bit ones. Any other index gives an empty picture.
platform::Bitmap builtInBrush(int index);

// The picture in a file (PNG, JPEG, BMP or GIF, told apart by content; the first frame of an
// animation), see-through parts laid on white. "" gives an empty picture. A missing file raises
// 53 (76 for a missing folder), data that is no picture 481 "Invalid picture".
platform::Bitmap LoadPicture(const std::string& path);

}  // namespace korvella
