// The screen fonts and printing text into a picture: the family names the system offers
// (fontconfig), and text drawn into a bitmap with one of them (FreeType), without smoothing, so
// that every inked pixel has exactly the text colour.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "forms/control.h"
#include "platform/graphics/graphics.h"

namespace korvella {

// Family names of the installed fonts, each once, sorted case-insensitively (read once per run).
std::vector<std::string> screenFonts();
// Tests: the list screenFonts answers from now on (an empty optional-like reset: pass nothing).
void setScreenFontsForTests(std::vector<std::string> fonts);
void clearScreenFontsForTests();

// Prints text with its top-left corner at (x, y) in pixels, lines split at CR LF or LF, at
// 96 pixels per inch. Pixels between the strokes stay as they were. Returns the y below the last
// line; nothing is drawn (and y is returned) when no font file can be found.
int printText(platform::Bitmap& target, int x, int y, const std::string& text, const forms::Font& font,
              std::uint32_t colour);

}  // namespace korvella
