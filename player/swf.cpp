#include "player/swf.h"

#include <zlib.h>

#include <cmath>
#include <cstring>

#include "player/bitreader.h"

namespace player {

namespace {

enum Tag {
    End = 0, ShowFrame = 1, DefineShape = 2, PlaceObject = 4, RemoveObject = 5, SetBackgroundColor = 9,
    DoAction = 12, DefineShape2 = 22, PlaceObject2 = 26, RemoveObject2 = 28, DefineShape3 = 32,
    DefineSprite = 39, FrameLabel = 43, PlaceObject3 = 70, DefineShape4 = 83,
};

constexpr int kMaxActionsPerFrame = 1000;

struct ReadState {
    SwfMovie& movie;
    std::size_t edges = 0;
    bool truncated = false;
};

Rgba readRgb(BitReader& r) {
    Rgba c;
    c.r = r.u8();
    c.g = r.u8();
    c.b = r.u8();
    return c;
}

Rgba readRgba(BitReader& r) {
    Rgba c = readRgb(r);
    c.a = r.u8();
    return c;
}

SwfRect readRect(BitReader& r) {
    r.align();
    const int n = static_cast<int>(r.ub(5));
    SwfRect rect;
    rect.xmin = r.sb(n);
    rect.xmax = r.sb(n);
    rect.ymin = r.sb(n);
    rect.ymax = r.sb(n);
    r.align();
    return rect;
}

Affine readMatrix(BitReader& r) {
    r.align();
    Affine m;
    if (r.ub(1)) {
        const int n = static_cast<int>(r.ub(5));
        m.a = r.fb(n);
        m.d = r.fb(n);
    }
    if (r.ub(1)) {
        const int n = static_cast<int>(r.ub(5));
        m.b = r.fb(n);
        m.c = r.fb(n);
    }
    const int n = static_cast<int>(r.ub(5));
    m.tx = r.sb(n);
    m.ty = r.sb(n);
    r.align();
    return m;
}

ColorTransform readColorTransform(BitReader& r, bool withAlpha) {
    r.align();
    ColorTransform t;
    const bool hasAdd = r.ub(1), hasMult = r.ub(1);
    const int n = static_cast<int>(r.ub(4));
    if (hasMult) {
        t.mr = r.sb(n);
        t.mg = r.sb(n);
        t.mb = r.sb(n);
        if (withAlpha) t.ma = r.sb(n);
    }
    if (hasAdd) {
        t.ar = r.sb(n);
        t.ag = r.sb(n);
        t.ab = r.sb(n);
        if (withAlpha) t.aa = r.sb(n);
    }
    r.align();
    return t;
}

// One fill style; gradients become their mean colour, bitmap fills transparent.
bool readFillStyle(BitReader& r, int shapeVersion, Rgba& out) {
    const int type = r.u8();
    if (type == 0x00) {
        out = shapeVersion >= 3 ? readRgba(r) : readRgb(r);
        return !r.overrun();
    }
    if (type == 0x10 || type == 0x12 || type == 0x13) {
        readMatrix(r);
        const int count = static_cast<int>(r.u8() & 0x0F);
        int sum[4] = {0, 0, 0, 0};
        for (int i = 0; i < count; ++i) {
            r.u8();  // ratio
            const Rgba c = shapeVersion >= 3 ? readRgba(r) : readRgb(r);
            sum[0] += c.r;
            sum[1] += c.g;
            sum[2] += c.b;
            sum[3] += c.a;
        }
        if (type == 0x13) r.u16();  // focal point
        if (count > 0)
            out = {static_cast<std::uint8_t>(sum[0] / count), static_cast<std::uint8_t>(sum[1] / count),
                   static_cast<std::uint8_t>(sum[2] / count), static_cast<std::uint8_t>(sum[3] / count)};
        else
            out = {0, 0, 0, 0};
        return !r.overrun();
    }
    if (type >= 0x40 && type <= 0x43) {
        r.u16();
        readMatrix(r);
        out = {0, 0, 0, 0};
        return !r.overrun();
    }
    return false;
}

// Appends a style array to the shape; false when it is broken or too large.
bool readStyles(BitReader& r, int shapeVersion, SwfShape& shape) {
    int fillCount = r.u8();
    if (fillCount == 0xFF && shapeVersion >= 2) fillCount = r.u16();
    if (static_cast<int>(shape.fills.size()) + fillCount > SwfLimits::kMaxStyles) return false;
    for (int i = 0; i < fillCount; ++i) {
        Rgba c;
        if (!readFillStyle(r, shapeVersion, c)) return false;
        shape.fills.push_back(c);
    }
    int lineCount = r.u8();
    if (lineCount == 0xFF && shapeVersion >= 2) lineCount = r.u16();
    if (static_cast<int>(shape.lines.size()) + lineCount > SwfLimits::kMaxStyles) return false;
    for (int i = 0; i < lineCount; ++i) {
        SwfShape::LineStyle ls;
        ls.width = r.u16();
        if (shapeVersion >= 4) {
            r.ub(2);  // start cap
            const int join = static_cast<int>(r.ub(2));
            const bool hasFill = r.ub(1);
            r.ub(11);  // scaling and hinting flags, no-close, end cap
            if (join == 2) r.u16();
            if (hasFill) {
                if (!readFillStyle(r, shapeVersion, ls.colour)) return false;
            } else {
                ls.colour = readRgba(r);
            }
        } else {
            ls.colour = shapeVersion >= 3 ? readRgba(r) : readRgb(r);
        }
        if (r.overrun()) return false;
        shape.lines.push_back(ls);
    }
    return !r.overrun();
}

void readShape(BitReader& r, int shapeVersion, ReadState& st) {
    const int id = r.u16();
    auto shape = std::make_shared<SwfShape>();
    shape->bounds = readRect(r);
    if (shapeVersion >= 4) {
        readRect(r);  // edge bounds
        r.u8();       // winding and stroke flags
    }
    if (!readStyles(r, shapeVersion, *shape)) return;
    r.align();
    int fillBits = static_cast<int>(r.ub(4)), lineBits = static_cast<int>(r.ub(4));
    int fillBase = 0, lineBase = 0;
    int fillEnd = static_cast<int>(shape->fills.size()), lineEnd = static_cast<int>(shape->lines.size());
    int fill0 = -1, fill1 = -1, line = -1;
    double x = 0, y = 0;
    // Style indexes are 1-based within the arrays in force; 0 means none.
    auto resolve = [](std::uint32_t index, int base, int end) {
        const long long i = static_cast<long long>(base) + index - 1;
        return index == 0 || i >= end ? -1 : static_cast<int>(i);
    };
    while (!r.overrun()) {
        if (r.ub(1) == 0) {
            const std::uint32_t flags = r.ub(5);
            if (flags == 0 || r.overrun()) break;  // end of shape
            if (flags & 1) {
                const int n = static_cast<int>(r.ub(5));
                x = r.sb(n);
                y = r.sb(n);
            }
            const std::uint32_t f0 = (flags & 2) ? r.ub(fillBits) : 0;
            const std::uint32_t f1 = (flags & 4) ? r.ub(fillBits) : 0;
            const std::uint32_t ln = (flags & 8) ? r.ub(lineBits) : 0;
            if (flags & 16) {
                fillBase = static_cast<int>(shape->fills.size());
                lineBase = static_cast<int>(shape->lines.size());
                r.align();
                if (!readStyles(r, shapeVersion, *shape)) break;
                fillEnd = static_cast<int>(shape->fills.size());
                lineEnd = static_cast<int>(shape->lines.size());
                r.align();
                fillBits = static_cast<int>(r.ub(4));
                lineBits = static_cast<int>(r.ub(4));
                // A new style array resets the styles in force.
                fill0 = fill1 = line = -1;
            }
            if (flags & 2) fill0 = resolve(f0, fillBase, fillEnd);
            if (flags & 4) fill1 = resolve(f1, fillBase, fillEnd);
            if (flags & 8) line = resolve(ln, lineBase, lineEnd);
            continue;
        }
        SwfShape::Edge e;
        e.from = {x, y};
        const bool straight = r.ub(1);
        const int n = static_cast<int>(r.ub(4)) + 2;
        if (straight) {
            double dx = 0, dy = 0;
            if (r.ub(1)) {
                dx = r.sb(n);
                dy = r.sb(n);
            } else if (r.ub(1)) {
                dy = r.sb(n);
            } else {
                dx = r.sb(n);
            }
            e.to = {x + dx, y + dy};
        } else {
            const double cdx = r.sb(n), cdy = r.sb(n), adx = r.sb(n), ady = r.sb(n);
            e.curved = true;
            e.control = {x + cdx, y + cdy};
            e.to = {e.control.x + adx, e.control.y + ady};
        }
        if (r.overrun()) break;
        x = e.to.x;
        y = e.to.y;
        if (fill0 < 0 && fill1 < 0 && line < 0) continue;
        if (++st.edges > SwfLimits::kMaxEdges) break;
        e.fill0 = fill0;
        e.fill1 = fill1;
        e.line = line;
        shape->edges.push_back(e);
    }
    if (!shape->edges.empty()) {
        Pt lo = shape->edges.front().from, hi = lo;
        auto take = [&](Pt p) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        };
        for (const auto& e : shape->edges) {
            take(e.from);
            take(e.to);
            if (e.curved) take(e.control);
        }
        shape->extentMin = lo;
        shape->extentMax = hi;
    }
    for (const auto& l : shape->lines) shape->widestLine = std::max(shape->widestLine, l.width);
    st.movie.shapes[id] = std::move(shape);
}

void readPlace(BitReader& r, int code, SwfFrame& frame) {
    SwfPlace p;
    if (code == PlaceObject) {
        p.hasCharacter = true;
        p.character = r.u16();
        p.depth = r.u16();
        if (r.overrun()) return;
        p.hasMatrix = true;
        p.matrix = readMatrix(r);
        if (!r.atEnd()) {
            p.hasColor = true;
            p.color = readColorTransform(r, false);
        }
    } else {
        const int flags = r.u8();
        bool hasClassName = false, hasImage = false;
        if (code == PlaceObject3) {
            const int flags2 = r.u8();
            hasClassName = flags2 & 0x08;
            hasImage = flags2 & 0x10;
        }
        p.move = flags & 0x01;
        p.hasCharacter = flags & 0x02;
        p.hasMatrix = flags & 0x04;
        p.hasColor = flags & 0x08;
        p.depth = r.u16();
        if (hasClassName || (hasImage && p.hasCharacter)) r.str();
        if (p.hasCharacter) p.character = r.u16();
        if (r.overrun()) return;
        if (p.hasMatrix) p.matrix = readMatrix(r);
        if (p.hasColor) p.color = readColorTransform(r, true);
        if (flags & 0x10) r.u16();  // morph ratio
        if (flags & 0x20) r.str();  // instance name
        if (flags & 0x40) p.clipDepth = r.u16();
    }
    // A record cut inside its depth or character is dropped above; what follows the fields read
    // here (filters, clip actions) is not needed.
    frame.places.push_back(p);
}

void readActions(BitReader& r, SwfFrame& frame) {
    while (!r.atEnd() && static_cast<int>(frame.actions.size()) < kMaxActionsPerFrame) {
        const int code = r.u8();
        if (code == 0) break;
        std::size_t len = code >= 0x80 ? r.u16() : 0;
        if (r.overrun()) break;
        BitReader body(r.here(), std::min(len, r.remaining()));
        r.skip(len);
        SwfAction a;
        switch (code) {
        case 0x07: a.kind = SwfAction::Stop; break;
        case 0x06: a.kind = SwfAction::Play; break;
        case 0x04: a.kind = SwfAction::NextFrame; break;
        case 0x05: a.kind = SwfAction::PrevFrame; break;
        case 0x81:
            a.kind = SwfAction::GotoFrame;
            a.frame = body.u16();
            if (body.overrun()) continue;
            break;
        case 0x8C:
            a.kind = SwfAction::GotoLabel;
            a.label = body.str();
            break;
        default: continue;  // scripting beyond the frame controls is not run
        }
        frame.actions.push_back(std::move(a));
    }
}

void readTimeline(BitReader& r, ReadState& st, SwfTimeline& tl, bool inSprite);

void readSprite(BitReader& r, ReadState& st) {
    const int id = r.u16();
    r.u16();  // declared frame count; the ShowFrame tags count
    if (r.overrun()) return;
    auto tl = std::make_shared<SwfTimeline>();
    BitReader body(r.here(), r.remaining());
    readTimeline(body, st, *tl, true);
    st.movie.sprites[id] = std::move(tl);
}

void readTimeline(BitReader& r, ReadState& st, SwfTimeline& tl, bool inSprite) {
    SwfFrame current;
    bool pending = false;
    bool ended = false;
    while (!r.atEnd()) {
        const std::uint16_t head = r.u16();
        std::size_t len = head & 0x3F;
        const int code = head >> 6;
        if (len == 0x3F) len = r.u32();
        if (r.overrun()) break;
        if (len > r.remaining()) {
            // The tag runs past the data: the file was cut short.
            st.truncated = true;
            break;
        }
        BitReader t(r.here(), len);
        r.skip(len);
        switch (code) {
        case End: ended = true; break;
        case ShowFrame:
            tl.frames.push_back(std::move(current));
            current = {};
            pending = false;
            if (static_cast<int>(tl.frames.size()) >= SwfLimits::kMaxFrames) ended = true;
            break;
        case SetBackgroundColor:
            if (!inSprite) {
                const Rgba c = readRgb(t);
                if (!t.overrun()) {
                    st.movie.hasBackground = true;
                    st.movie.background = c.r | (c.g << 8) | (c.b << 16);
                }
            }
            break;
        case DefineShape: if (!inSprite) readShape(t, 1, st); break;
        case DefineShape2: if (!inSprite) readShape(t, 2, st); break;
        case DefineShape3: if (!inSprite) readShape(t, 3, st); break;
        case DefineShape4: if (!inSprite) readShape(t, 4, st); break;
        case DefineSprite: if (!inSprite) readSprite(t, st); break;
        case PlaceObject:
        case PlaceObject2:
        case PlaceObject3:
            readPlace(t, code, current);
            pending = true;
            break;
        case RemoveObject:
        case RemoveObject2: {
            SwfPlace p;
            p.remove = true;
            if (code == RemoveObject) t.u16();
            p.depth = t.u16();
            if (!t.overrun()) {
                current.places.push_back(p);
                pending = true;
            }
            break;
        }
        case DoAction:
            readActions(t, current);
            pending = true;
            break;
        case FrameLabel: {
            const std::string name = t.str();
            if (!name.empty()) tl.labels.emplace(name, static_cast<int>(tl.frames.size()));
            break;
        }
        default: break;
        }
        if (ended) break;
    }
    if (!ended && !inSprite) st.truncated = true;
    // Tags after the last ShowFrame of a cut file still make a frame; so does an empty timeline.
    if (pending || tl.frames.empty()) tl.frames.push_back(std::move(current));
}

bool inflateBody(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out, bool& truncated) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    out.resize(std::min<std::size_t>(size * 4 + 1024, SwfLimits::kMaxDecompressedBytes));
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(std::min<std::size_t>(size, 0xFFFFFFFFu));
    std::size_t produced = 0;
    int rc = Z_OK;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() >= SwfLimits::kMaxDecompressedBytes) {
                truncated = true;
                break;
            }
            out.resize(std::min(out.size() * 2, SwfLimits::kMaxDecompressedBytes));
        }
        zs.next_out = out.data() + produced;
        zs.avail_out = static_cast<uInt>(out.size() - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = out.size() - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) {
            // Broken or cut-off data: keep what came out before the damage.
            truncated = true;
            break;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0) {
            truncated = true;
            break;
        }
    }
    inflateEnd(&zs);
    out.resize(produced);
    return true;
}

}  // namespace

std::unique_ptr<SwfMovie> readSwf(const std::uint8_t* data, std::size_t size, std::string* problem) {
    auto fail = [&](const char* why) {
        if (problem) *problem = why;
        return nullptr;
    };
    if (size < 8) return fail("too short for a movie");
    const bool fws = data[0] == 'F' && data[1] == 'W' && data[2] == 'S';
    const bool cws = data[0] == 'C' && data[1] == 'W' && data[2] == 'S';
    const bool zws = data[0] == 'Z' && data[1] == 'W' && data[2] == 'S';
    if (zws) return fail("LZMA-compressed movies are not supported");
    if (!fws && !cws) return fail("not a movie file");

    auto movie = std::make_unique<SwfMovie>();
    movie->version = data[3];
    movie->compressed = cws;
    std::vector<std::uint8_t> inflated;
    const std::uint8_t* body = data + 8;
    std::size_t bodySize = size - 8;
    bool truncated = false;
    if (cws) {
        if (!inflateBody(body, bodySize, inflated, truncated)) return fail("cannot start decompression");
        body = inflated.data();
        bodySize = inflated.size();
    }

    BitReader r(body, bodySize);
    movie->stage = readRect(r);
    movie->frameRate = r.u16();
    movie->declaredFrames = r.u16();
    if (r.overrun()) return fail("header cut short");
    const int maxTwips = SwfLimits::kMaxStagePixels * 20;
    if (movie->stage.width() <= 0 || movie->stage.height() <= 0) return fail("empty stage");
    if (movie->stage.width() > maxTwips || movie->stage.height() > maxTwips) return fail("stage too large");
    if (movie->frameRate == 0) movie->frameRate = 12 << 8;  // 0 would mean "as fast as possible"

    ReadState st{*movie};
    BitReader tags(r.here(), r.remaining());
    readTimeline(tags, st, movie->timeline, false);
    movie->truncated = truncated || st.truncated;
    return movie;
}

const SwfShape::Flat& SwfShape::flat(double toleranceTwips) const {
    int level = 0;
    if (std::isfinite(toleranceTwips) && toleranceTwips > 0) level = static_cast<int>(std::floor(std::log2(toleranceTwips)));
    level = std::clamp(level, -4, 12);
    if (auto it = flatCache_.find(level); it != flatCache_.end()) return *it->second;
    if (flatCache_.size() >= 8) flatCache_.clear();

    const double tol = std::ldexp(1.0, level);
    auto f = std::make_shared<Flat>();
    f->fillSegments.resize(fills.size());
    f->lineRuns.resize(lines.size());
    std::vector<Pt> lineEnd(lines.size(), Pt{NAN, NAN});
    std::vector<Pt> pts;
    for (const Edge& e : edges) {
        pts.clear();
        pts.push_back(e.from);
        if (e.curved) {
            // A quadratic strays from its chords by |p0 - 2c + p2| / (8 n^2).
            const double ddx = e.from.x - 2 * e.control.x + e.to.x, ddy = e.from.y - 2 * e.control.y + e.to.y;
            const double dev = std::sqrt(ddx * ddx + ddy * ddy);
            const int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(dev / (8 * tol)))), 1, 64);
            for (int i = 1; i < n; ++i) {
                const double t = static_cast<double>(i) / n, u = 1 - t;
                pts.push_back({u * u * e.from.x + 2 * u * t * e.control.x + t * t * e.to.x,
                               u * u * e.from.y + 2 * u * t * e.control.y + t * t * e.to.y});
            }
        }
        pts.push_back(e.to);
        // The region of fill1 lies right of the edge, that of fill0 left: turn fill0 edges round
        // so that every style's outline has its region on the right.
        if (e.fill0 != e.fill1) {
            for (std::size_t i = 1; i < pts.size(); ++i) {
                if (e.fill1 >= 0) {
                    f->fillSegments[e.fill1].push_back(pts[i - 1]);
                    f->fillSegments[e.fill1].push_back(pts[i]);
                }
                if (e.fill0 >= 0) {
                    f->fillSegments[e.fill0].push_back(pts[i]);
                    f->fillSegments[e.fill0].push_back(pts[i - 1]);
                }
            }
        }
        if (e.line >= 0) {
            auto& runs = f->lineRuns[e.line];
            Pt& last = lineEnd[e.line];
            if (runs.empty() || last.x != e.from.x || last.y != e.from.y)
                runs.push_back({e.from});
            runs.back().insert(runs.back().end(), pts.begin() + 1, pts.end());
            last = e.to;
        }
    }
    auto& slot = flatCache_[level];
    slot = std::move(f);
    return *slot;
}

}  // namespace player
