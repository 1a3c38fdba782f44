#include "player/swf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace player {

// ---- bits ----

void BitWriter::ub(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        if (bit_ == 0) out_.push_back(0);
        if ((value >> i) & 1u) out_.back() |= static_cast<std::uint8_t>(0x80u >> bit_);
        bit_ = (bit_ + 1) & 7;
    }
}

void BitWriter::align() { bit_ = 0; }

void BitWriter::u8(std::uint8_t v) {
    align();
    out_.push_back(v);
}

void BitWriter::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}

void BitWriter::u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
}

void BitWriter::bytes(const std::vector<std::uint8_t>& b) {
    align();
    out_.insert(out_.end(), b.begin(), b.end());
}

void BitWriter::str(const std::string& s) {
    align();
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
}

int BitWriter::bitsUnsigned(std::uint32_t v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

int BitWriter::bitsSigned(std::int32_t v) {
    return bitsUnsigned(static_cast<std::uint32_t>(v >= 0 ? v : ~v)) + 1;
}

namespace {

void writeRect(BitWriter& w, int xmin, int xmax, int ymin, int ymax) {
    w.align();
    const int n = std::max({BitWriter::bitsSigned(xmin), BitWriter::bitsSigned(xmax), BitWriter::bitsSigned(ymin),
                            BitWriter::bitsSigned(ymax)});
    w.ub(static_cast<std::uint32_t>(n), 5);
    w.sb(xmin, n);
    w.sb(xmax, n);
    w.sb(ymin, n);
    w.sb(ymax, n);
    w.align();
}

void writeRgba(BitWriter& w, Rgba c) {
    w.u8(c.r);
    w.u8(c.g);
    w.u8(c.b);
    w.u8(c.a);
}

int fixed16(double v) { return static_cast<int>(std::lround(std::clamp(v, -32768.0, 32767.0) * 65536)); }

// Edge fields hold at most 17 bits (a 4-bit count plus 2).
constexpr int kMaxDelta = 65535;

}  // namespace

void writeMatrix(BitWriter& w, const Affine& m) {
    w.align();
    if (m.a != 1 || m.d != 1) {
        const int sx = fixed16(m.a), sy = fixed16(m.d);
        const int n = std::max(BitWriter::bitsSigned(sx), BitWriter::bitsSigned(sy));
        w.ub(1, 1);
        w.ub(static_cast<std::uint32_t>(n), 5);
        w.sb(sx, n);
        w.sb(sy, n);
    } else {
        w.ub(0, 1);
    }
    if (m.b != 0 || m.c != 0) {
        const int r0 = fixed16(m.b), r1 = fixed16(m.c);
        const int n = std::max(BitWriter::bitsSigned(r0), BitWriter::bitsSigned(r1));
        w.ub(1, 1);
        w.ub(static_cast<std::uint32_t>(n), 5);
        w.sb(r0, n);
        w.sb(r1, n);
    } else {
        w.ub(0, 1);
    }
    const int tx = static_cast<int>(std::lround(m.tx)), ty = static_cast<int>(std::lround(m.ty));
    const int n = (tx == 0 && ty == 0) ? 0 : std::max(BitWriter::bitsSigned(tx), BitWriter::bitsSigned(ty));
    w.ub(static_cast<std::uint32_t>(n), 5);
    w.sb(tx, n);
    w.sb(ty, n);
    w.align();
}

void writeColorTransform(BitWriter& w, const ColorTransform& c, bool withAlpha) {
    w.align();
    auto clip = [](int v) { return std::clamp(v, -16384, 16383); };
    const int mult[4] = {clip(c.mr), clip(c.mg), clip(c.mb), clip(c.ma)};
    const int add[4] = {clip(c.ar), clip(c.ag), clip(c.ab), clip(c.aa)};
    const int channels = withAlpha ? 4 : 3;
    bool hasMult = false, hasAdd = false;
    int n = 1;
    for (int i = 0; i < channels; ++i) {
        hasMult |= mult[i] != 256;
        hasAdd |= add[i] != 0;
    }
    for (int i = 0; i < channels; ++i) {
        if (hasMult) n = std::max(n, BitWriter::bitsSigned(mult[i]));
        if (hasAdd) n = std::max(n, BitWriter::bitsSigned(add[i]));
    }
    w.ub(hasAdd, 1);
    w.ub(hasMult, 1);
    w.ub(static_cast<std::uint32_t>(n), 4);
    if (hasMult)
        for (int i = 0; i < channels; ++i) w.sb(mult[i], n);
    if (hasAdd)
        for (int i = 0; i < channels; ++i) w.sb(add[i], n);
    w.align();
}

// ---- shapes ----

int ShapeBuilder::addFill(Rgba colour) {
    fills.push_back(colour);
    return static_cast<int>(fills.size());
}

int ShapeBuilder::addLine(int widthTwips, Rgba colour) {
    lines.emplace_back(widthTwips, colour);
    return static_cast<int>(lines.size());
}

void ShapeBuilder::setStyles(int fill0, int fill1, int line) { records.push_back({Record::Style, fill0, fill1, line, 0}); }
void ShapeBuilder::moveTo(int x, int y) { records.push_back({Record::Move, x, y, 0, 0}); }
void ShapeBuilder::lineTo(int x, int y) { records.push_back({Record::Line, x, y, 0, 0}); }
void ShapeBuilder::curveTo(int cx, int cy, int x, int y) { records.push_back({Record::Curve, cx, cy, x, y}); }

void ShapeBuilder::rect(int x0, int y0, int x1, int y1, int fill) {
    setStyles(0, fill, 0);
    moveTo(x0, y0);
    lineTo(x1, y0);
    lineTo(x1, y1);
    lineTo(x0, y1);
    lineTo(x0, y0);
}

void ShapeBuilder::polygon(const std::vector<Pt>& points, int fill) {
    if (points.empty()) return;
    setStyles(0, fill, 0);
    moveTo(static_cast<int>(std::lround(points[0].x)), static_cast<int>(std::lround(points[0].y)));
    for (std::size_t i = 1; i <= points.size(); ++i) {
        const Pt& p = points[i % points.size()];
        lineTo(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)));
    }
}

// ---- timelines ----

void TimelineBuilder::tag(int code, const std::vector<std::uint8_t>& body) {
    BitWriter w;
    if (body.size() < 0x3F) {
        w.u16(static_cast<std::uint16_t>((code << 6) | static_cast<int>(body.size())));
    } else {
        w.u16(static_cast<std::uint16_t>((code << 6) | 0x3F));
        w.u32(static_cast<std::uint32_t>(body.size()));
    }
    w.bytes(body);
    tags_.insert(tags_.end(), w.data().begin(), w.data().end());
}

void TimelineBuilder::rawTag(int code, const std::vector<std::uint8_t>& body) { tag(code, body); }

void TimelineBuilder::place(int depth, int character, const Affine& matrix, const std::optional<ColorTransform>& color) {
    BitWriter w;
    w.u8(static_cast<std::uint8_t>(0x02 | 0x04 | (color ? 0x08 : 0)));
    w.u16(static_cast<std::uint16_t>(depth));
    w.u16(static_cast<std::uint16_t>(character));
    writeMatrix(w, matrix);
    if (color) writeColorTransform(w, *color, true);
    tag(26, w.data());
}

void TimelineBuilder::modify(int depth, const std::optional<Affine>& matrix, const std::optional<ColorTransform>& color) {
    BitWriter w;
    w.u8(static_cast<std::uint8_t>(0x01 | (matrix ? 0x04 : 0) | (color ? 0x08 : 0)));
    w.u16(static_cast<std::uint16_t>(depth));
    if (matrix) writeMatrix(w, *matrix);
    if (color) writeColorTransform(w, *color, true);
    tag(26, w.data());
}

void TimelineBuilder::remove(int depth) {
    BitWriter w;
    w.u16(static_cast<std::uint16_t>(depth));
    tag(28, w.data());
}

void TimelineBuilder::stop() { actions_.push_back(0x07); }
void TimelineBuilder::play() { actions_.push_back(0x06); }

void TimelineBuilder::gotoFrame(int frame) {
    actions_.insert(actions_.end(), {0x81, 2, 0, static_cast<std::uint8_t>(frame), static_cast<std::uint8_t>(frame >> 8)});
}

void TimelineBuilder::gotoLabel(const std::string& label) {
    const std::size_t len = label.size() + 1;
    actions_.insert(actions_.end(), {0x8C, static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8)});
    actions_.insert(actions_.end(), label.begin(), label.end());
    actions_.push_back(0);
}

void TimelineBuilder::label(const std::string& name) {
    BitWriter w;
    w.str(name);
    tag(43, w.data());
}

void TimelineBuilder::flushActions() {
    if (actions_.empty()) return;
    auto body = actions_;
    body.push_back(0);
    tag(12, body);
    actions_.clear();
}

void TimelineBuilder::showFrame() {
    flushActions();
    tag(1, {});
    ++frames_;
}

std::vector<std::uint8_t> TimelineBuilder::tagsWithEnd() const {
    TimelineBuilder copy = *this;
    copy.flushActions();
    copy.tag(0, {});
    return copy.tags_;
}

// ---- the movie ----

SwfWriter::SwfWriter(int stageWidthPx, int stageHeightPx, double frameRate, int version)
    : width_(stageWidthPx),
      height_(stageHeightPx),
      rate_(static_cast<std::uint16_t>(std::clamp<long>(std::lround(frameRate * 256), 1, 65535))),
      version_(version) {}

void SwfWriter::setBackground(std::uint32_t colour) {
    tag(9, {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8), static_cast<std::uint8_t>(colour >> 16)});
}

int SwfWriter::defineShape(const ShapeBuilder& s) {
    const int id = nextId_++;
    BitWriter w;
    w.u16(static_cast<std::uint16_t>(id));

    int xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    bool any = false;
    auto take = [&](int x, int y) {
        if (!any) {
            xmin = xmax = x;
            ymin = ymax = y;
            any = true;
        }
        xmin = std::min(xmin, x);
        xmax = std::max(xmax, x);
        ymin = std::min(ymin, y);
        ymax = std::max(ymax, y);
    };
    for (const auto& r : s.records) {
        if (r.kind == ShapeBuilder::Record::Move || r.kind == ShapeBuilder::Record::Line) take(r.a, r.b);
        if (r.kind == ShapeBuilder::Record::Curve) {
            take(r.a, r.b);
            take(r.c, r.d);
        }
    }
    int widest = 0;
    for (const auto& l : s.lines) widest = std::max(widest, l.first);
    writeRect(w, xmin - widest / 2, xmax + widest / 2, ymin - widest / 2, ymax + widest / 2);

    auto count = [&](std::size_t n) {
        if (n < 0xFF) {
            w.u8(static_cast<std::uint8_t>(n));
        } else {
            w.u8(0xFF);
            w.u16(static_cast<std::uint16_t>(n));
        }
    };
    count(s.fills.size());
    for (const Rgba& f : s.fills) {
        w.u8(0x00);
        writeRgba(w, f);
    }
    count(s.lines.size());
    for (const auto& [width, colour] : s.lines) {
        w.u16(static_cast<std::uint16_t>(width));
        writeRgba(w, colour);
    }
    const int fillBits = BitWriter::bitsUnsigned(static_cast<std::uint32_t>(s.fills.size()));
    const int lineBits = BitWriter::bitsUnsigned(static_cast<std::uint32_t>(s.lines.size()));
    w.ub(static_cast<std::uint32_t>(fillBits), 4);
    w.ub(static_cast<std::uint32_t>(lineBits), 4);

    int cx = 0, cy = 0;
    auto straight = [&](int x, int y) {
        const int dx = x - cx, dy = y - cy;
        if (dx == 0 && dy == 0) return;
        const int pieces = (std::max(std::abs(dx), std::abs(dy)) + kMaxDelta - 1) / kMaxDelta;
        const int sx = cx, sy = cy;
        for (int i = 1; i <= pieces; ++i) {
            const int tx = static_cast<int>(sx + static_cast<long long>(dx) * i / pieces);
            const int ty = static_cast<int>(sy + static_cast<long long>(dy) * i / pieces);
            const int ex = tx - cx, ey = ty - cy;
            const int n = std::max({BitWriter::bitsSigned(ex), BitWriter::bitsSigned(ey), 2});
            w.ub(1, 1);  // edge
            w.ub(1, 1);  // straight
            w.ub(static_cast<std::uint32_t>(n - 2), 4);
            w.ub(1, 1);  // general line
            w.sb(ex, n);
            w.sb(ey, n);
            cx = tx;
            cy = ty;
        }
    };
    for (const auto& r : s.records) {
        switch (r.kind) {
        case ShapeBuilder::Record::Style:
            w.ub(0, 1);
            w.ub(0b01110, 5);  // line, fill1, fill0 follow
            w.ub(static_cast<std::uint32_t>(r.a), fillBits);
            w.ub(static_cast<std::uint32_t>(r.b), fillBits);
            w.ub(static_cast<std::uint32_t>(r.c), lineBits);
            break;
        case ShapeBuilder::Record::Move: {
            w.ub(0, 1);
            w.ub(0b00001, 5);
            const int n = std::max(BitWriter::bitsSigned(r.a), BitWriter::bitsSigned(r.b));
            w.ub(static_cast<std::uint32_t>(n), 5);
            w.sb(r.a, n);
            w.sb(r.b, n);
            cx = r.a;
            cy = r.b;
            break;
        }
        case ShapeBuilder::Record::Line: straight(r.a, r.b); break;
        case ShapeBuilder::Record::Curve: {
            const int c1 = r.a - cx, c2 = r.b - cy, a1 = r.c - r.a, a2 = r.d - r.b;
            if (std::max({std::abs(c1), std::abs(c2), std::abs(a1), std::abs(a2)}) > kMaxDelta) {
                // Too long for one record: keep the outline closed with straight edges.
                straight(r.a, r.b);
                straight(r.c, r.d);
                break;
            }
            const int n = std::max({BitWriter::bitsSigned(c1), BitWriter::bitsSigned(c2), BitWriter::bitsSigned(a1),
                                    BitWriter::bitsSigned(a2), 2});
            w.ub(1, 1);
            w.ub(0, 1);
            w.ub(static_cast<std::uint32_t>(n - 2), 4);
            w.sb(c1, n);
            w.sb(c2, n);
            w.sb(a1, n);
            w.sb(a2, n);
            cx = r.c;
            cy = r.d;
            break;
        }
        }
    }
    w.ub(0, 6);  // end of shape
    tag(32, w.data());
    return id;
}

int SwfWriter::defineRect(int x0, int y0, int x1, int y1, Rgba colour) {
    ShapeBuilder s;
    s.rect(x0, y0, x1, y1, s.addFill(colour));
    return defineShape(s);
}

int SwfWriter::defineSprite(const TimelineBuilder& sprite) {
    const int id = nextId_++;
    BitWriter w;
    w.u16(static_cast<std::uint16_t>(id));
    w.u16(static_cast<std::uint16_t>(std::max(sprite.frames(), 1)));
    w.bytes(sprite.tagsWithEnd());
    tag(39, w.data());
    return id;
}

std::vector<std::uint8_t> SwfWriter::finish(bool compress) const {
    BitWriter body;
    writeRect(body, 0, width_ * 20, 0, height_ * 20);
    body.u16(rate_);
    body.u16(static_cast<std::uint16_t>(std::max(frames_, 1)));
    body.bytes(tagsWithEnd());
    const std::vector<std::uint8_t>& raw = body.data();

    BitWriter file;
    file.u8(compress ? 'C' : 'F');
    file.u8('W');
    file.u8('S');
    file.u8(static_cast<std::uint8_t>(version_));
    file.u32(static_cast<std::uint32_t>(8 + raw.size()));
    if (!compress) {
        file.bytes(raw);
        return file.data();
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("movie compression failed");
    packed.resize(packedSize);
    file.bytes(packed);
    return file.data();
}

}  // namespace player
