#include "korvella/maskpainter/ScreenFonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <optional>

namespace korvella {

namespace {

std::optional<std::vector<std::string>>& fontOverride() {
    static std::optional<std::vector<std::string>> fonts;
    return fonts;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Fontconfig's configuration, loaded once and handed back at exit.
bool fontconfigReady() {
    static const bool ready = [] {
        if (!FcInit()) return false;
        std::atexit(FcFini);
        return true;
    }();
    return ready;
}

std::vector<std::string> listFamilies() {
    std::vector<std::string> names;
    if (!fontconfigReady()) return names;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    if (set) {
        for (int i = 0; i < set->nfont; ++i) {
            FcChar8* family = nullptr;
            for (int n = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, n, &family) == FcResultMatch; ++n)
                names.emplace_back(reinterpret_cast<const char*>(family));
        }
        FcFontSetDestroy(set);
    }
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = lower(a), lb = lower(b);
        return la != lb ? la < lb : a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// The file and face index fontconfig picks for a font (its nearest match when the name is unknown).
bool fontFile(const forms::Font& font, std::string& file, int& index) {
    if (!fontconfigReady()) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.name.c_str()));
    FcPatternAddDouble(pattern, FC_SIZE, font.size);
    if (font.bold) FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
    if (font.italic) FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ITALIC);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (ok) {
        file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    }
    FcPatternDestroy(match);
    return ok;
}

FT_Library freetype() {
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        return FT_Init_FreeType(&lib) == 0 ? lib : nullptr;
    }();
    return library;
}

struct FaceCloser {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};

// Code points of UTF-8 text; a broken sequence counts as one U+FFFD.
std::vector<char32_t> codePoints(const std::string& s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool good = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) good = false;
            cp = (cp << 6) | (n & 0x3F);
        }
        if (!good) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

}  // namespace

std::vector<std::string> screenFonts() {
    if (fontOverride()) return *fontOverride();
    static const std::vector<std::string> fonts = listFamilies();
    return fonts;
}

void setScreenFontsForTests(std::vector<std::string> fonts) { fontOverride() = std::move(fonts); }
void clearScreenFontsForTests() { fontOverride().reset(); }

int printText(platform::Bitmap& target, int x, int y, const std::string& text, const forms::Font& font,
              std::uint32_t colour) {
    std::string file;
    int index = 0;
    FT_Library lib = freetype();
    if (!lib || !fontFile(font, file, index)) return y;
    FT_Face raw = nullptr;
    if (FT_New_Face(lib, file.c_str(), index, &raw) != 0) return y;
    std::unique_ptr<FT_FaceRec_, FaceCloser> face(raw);
    const double size = font.size > 0 ? font.size : 8.25;
    if (FT_Set_Char_Size(face.get(), 0, static_cast<FT_F26Dot6>(size * 64 + 0.5), 96, 96) != 0 &&
        (face->num_fixed_sizes <= 0 || FT_Select_Size(face.get(), 0) != 0))
        return y;

    const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
    const int lineHeight = std::max(1, static_cast<int>(face->size->metrics.height >> 6));
    int penX = x, lineTop = y;
    const std::vector<char32_t> cps = codePoints(text);
    for (std::size_t i = 0; i < cps.size(); ++i) {
        const char32_t cp = cps[i];
        if (cp == U'\r' || cp == U'\n') {
            if (cp == U'\r' && i + 1 < cps.size() && cps[i + 1] == U'\n') ++i;
            penX = x;
            lineTop += lineHeight;
            continue;
        }
        if (FT_Load_Char(face.get(), cp, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        const int left = penX + g->bitmap_left, top = lineTop + ascender - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
            const unsigned char* bits = bm.buffer + static_cast<std::ptrdiff_t>(row) * bm.pitch;
            for (unsigned col = 0; col < bm.width; ++col) {
                const bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col / 8] & (0x80 >> (col % 8))) != 0
                                                                     : bits[col] >= 128;
                if (on) target.setPixel(left + static_cast<int>(col), top + static_cast<int>(row), colour);
            }
        }
        penX += static_cast<int>(g->advance.x >> 6);
    }
    return lineTop + lineHeight;
}

}  // namespace korvella
