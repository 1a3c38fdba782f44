// A small writer of vector movies: solid-coloured shapes with straight and curved edges and
// lines, sprites, placement with matrix and colour transform, and the frame actions stop, play
// and go-to. It makes the movies delivered with the program and the movies of the tests.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/geometry.h"

namespace player {

class BitWriter {
public:
    void ub(std::uint32_t value, int bits);
    void sb(std::int32_t value, int bits) { ub(static_cast<std::uint32_t>(value), bits); }
    void align();
    void u8(std::uint8_t v);
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void bytes(const std::vector<std::uint8_t>& b);
    void str(const std::string& s);
    std::vector<std::uint8_t>& data() {
        align();
        return out_;
    }
    // Bits a signed or unsigned field needs for the value.
    static int bitsSigned(std::int32_t v);
    static int bitsUnsigned(std::uint32_t v);

private:
    std::vector<std::uint8_t> out_;
    int bit_ = 0;
};

// An outline in twips. Styles are numbered from 1 in the order they are added; 0 is none.
class ShapeBuilder {
public:
    int addFill(Rgba colour);
    int addLine(int widthTwips, Rgba colour);
    // Styles for the edges that follow: fill0 lies left of them, fill1 right (y going down).
    void setStyles(int fill0, int fill1, int line);
    void moveTo(int x, int y);
    void lineTo(int x, int y);
    void curveTo(int controlX, int controlY, int x, int y);
    // A rectangle (clockwise on screen, its inside on the right) filled with fill1.
    void rect(int x0, int y0, int x1, int y1, int fill);
    // A closed polygon through the points, filled on its right side.
    void polygon(const std::vector<Pt>& points, int fill);

    struct Record {
        enum Kind { Style, Move, Line, Curve } kind;
        int a = 0, b = 0, c = 0, d = 0;  // styles (fill0, fill1, line) or coordinates
    };
    std::vector<Rgba> fills;
    std::vector<std::pair<int, Rgba>> lines;
    std::vector<Record> records;
};

// Frame contents shared by the main timeline and sprites.
class TimelineBuilder {
public:
    void place(int depth, int character, const Affine& matrix = {}, const std::optional<ColorTransform>& color = std::nullopt);
    void modify(int depth, const std::optional<Affine>& matrix, const std::optional<ColorTransform>& color = std::nullopt);
    void remove(int depth);
    void stop();
    void play();
    void gotoFrame(int frame);
    void gotoLabel(const std::string& label);
    void label(const std::string& name);
    void showFrame();
    // Any tag, for tests of the reader.
    void rawTag(int code, const std::vector<std::uint8_t>& body);
    int frames() const { return frames_; }
    // The tags written so far, with any pending actions and the End tag.
    std::vector<std::uint8_t> tagsWithEnd() const;

protected:
    void tag(int code, const std::vector<std::uint8_t>& body);
    void flushActions();
    std::vector<std::uint8_t> tags_;
    std::vector<std::uint8_t> actions_;
    int frames_ = 0;
};

class SwfWriter : public TimelineBuilder {
public:
    SwfWriter(int stageWidthPx, int stageHeightPx, double frameRate, int version = 8);

    void setBackground(std::uint32_t colour);  // &HBBGGRR
    // Returns the new character's id.
    int defineShape(const ShapeBuilder& shape);
    int defineRect(int x0, int y0, int x1, int y1, Rgba colour);
    int defineSprite(const TimelineBuilder& sprite);

    // The finished file: "FWS", or "CWS" with the body compressed.
    std::vector<std::uint8_t> finish(bool compress = false) const;

private:
    int width_, height_;
    std::uint16_t rate_;
    int version_;
    int nextId_ = 1;
};

// Writes a matrix or colour transform record (for hand-made test data).
void writeMatrix(BitWriter& w, const Affine& m);
void writeColorTransform(BitWriter& w, const ColorTransform& c, bool withAlpha);

}  // namespace player
