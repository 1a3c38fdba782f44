// Vector movies: the parsed form of a movie file (header, characters, timeline) and its reader.
// Only what the light show needs is kept: solid-coloured shapes, sprites, the display-list tags
// and the frame actions stop, play and go-to; every other tag is skipped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/geometry.h"

namespace player {

// Limits that keep a hostile or broken file from exhausting memory or time.
struct SwfLimits {
    static constexpr std::size_t kMaxDecompressedBytes = 64u << 20;
    static constexpr int kMaxStagePixels = 8192;   // per side
    static constexpr int kMaxFrames = 16000;       // per timeline
    static constexpr std::size_t kMaxEdges = 2'000'000;  // all shapes together
    static constexpr int kMaxStyles = 4096;         // per shape
};

struct SwfRect {
    int xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // twips
    int width() const { return xmax - xmin; }
    int height() const { return ymax - ymin; }
};

struct SwfShape {
    struct Edge {
        Pt from, control, to;  // twips; control used by curves only
        bool curved = false;
        int fill0 = -1, fill1 = -1, line = -1;  // style indexes into fills/lines, -1 none
    };
    struct LineStyle {
        double width = 20;  // twips
        Rgba colour;
    };
    SwfRect bounds;
    std::vector<Rgba> fills;  // gradients kept as their mean colour, bitmaps as transparent
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
    // Box round all edge points and control points, and the widest line (twips).
    Pt extentMin, extentMax;
    double widestLine = 0;

    // Flattened outlines for one curve tolerance: per fill style the directed segments that bound
    // it (its region on their right), per line style the connected runs of points.
    struct Flat {
        std::vector<std::vector<Pt>> fillSegments;  // pairs of points
        std::vector<std::vector<std::vector<Pt>>> lineRuns;
    };
    // Flattens with a tolerance in twips; results are cached per power of two.
    const Flat& flat(double toleranceTwips) const;

private:
    mutable std::map<int, std::shared_ptr<Flat>> flatCache_;
};

struct SwfAction {
    enum Kind { Stop, Play, GotoFrame, GotoLabel, NextFrame, PrevFrame };
    Kind kind = Stop;
    int frame = 0;
    std::string label;
};

struct SwfPlace {
    bool remove = false;
    int depth = 0;
    bool move = false;
    bool hasCharacter = false;
    int character = 0;
    bool hasMatrix = false;
    Affine matrix;  // twips
    bool hasColor = false;
    ColorTransform color;
    int clipDepth = 0;  // > 0: a mask layer, which is not drawn
};

struct SwfFrame {
    std::vector<SwfPlace> places;
    std::vector<SwfAction> actions;
};

struct SwfTimeline {
    std::vector<SwfFrame> frames;  // at least one
    std::map<std::string, int> labels;
};

struct SwfMovie {
    int version = 0;
    bool compressed = false;
    SwfRect stage;
    std::uint16_t frameRate = 12 << 8;  // 8.8 fixed point, never 0
    int declaredFrames = 0;
    bool hasBackground = false;
    std::uint32_t background = 0;  // &HBBGGRR
    std::map<int, std::shared_ptr<const SwfShape>> shapes;
    std::map<int, std::shared_ptr<const SwfTimeline>> sprites;
    SwfTimeline timeline;
    bool truncated = false;  // the data ended before the End tag
};

// Reads a movie file. Returns null and sets `problem` when the data is no usable movie;
// a movie cut short keeps the frames read so far.
std::unique_ptr<SwfMovie> readSwf(const std::uint8_t* data, std::size_t size, std::string* problem = nullptr);

}  // namespace player
