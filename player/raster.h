// Scanline filling of polygons with solid colours, and the blending of spans into a bitmap.
// Pixels are sampled at their centres (no anti-aliasing), so output is exact and repeatable and
// neighbouring regions that share an edge meet without gaps or double blending.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/graphics/graphics.h"
#include "player/geometry.h"

namespace player {

// Pixels [x0, x1) of row y that a drawing wrote.
struct Span {
    int y, x0, x1;
};

// A span to be blended with a colour, as blendSpan does it (recorded instead of drawn).
struct Paint {
    int y, x0, x1;
    Rgba colour;
};

// A piece of a row of 32-bit pixels of one word, ending before x1 (it starts where the one
// before it ends, the first at 0).
struct Run {
    int x1;
    std::uint32_t word;
};

// Applies the paints of one row, in their order, to the row's runs: the words come out as
// blendSpan's pixels would. Neighbouring runs of one word are joined. False (the row left in
// any state) when the row would need more than maxRuns runs.
bool paintRuns(std::vector<Run>& row, const Paint* paints, std::size_t count, std::vector<Run>& scratch,
               std::size_t maxRuns);

// Sets n 32-bit pixels to one word, several at a time.
void fillWords(std::uint32_t* p, int n, std::uint32_t word);

// Blends pixels [x0, x1) of row y with a colour of the given alpha (0 leaves them, 255 paints).
// The caller clips; alpha of 32-bit targets blends like a colour channel towards 255.
void blendSpan(platform::Bitmap& target, int y, int x0, int x1, Rgba colour);

// Collects directed edges in pixel coordinates and fills what they enclose by the nonzero
// winding rule. Reused between shapes to keep its buffers.
class ScanFiller {
public:
    void reset() { edges_.clear(); }
    bool empty() const { return edges_.empty(); }
    void addEdge(Pt from, Pt to);
    // A closed polygon: every point joined to the next and the last to the first.
    void addPolygon(const std::vector<Pt>& points);
    // Fills into the target (clipped) and empties the edge list; the spans written are added to
    // `drawn` when given.
    void fill(platform::Bitmap& target, Rgba colour, std::vector<Span>* drawn = nullptr);
    // While set, fill draws nothing and adds what it would blend to the list instead.
    void recordInto(std::vector<Paint>* paints) { record_ = paints; }

    // Buffers for addStroke, kept between shapes.
    std::vector<Pt>& scratch() { return scratch_; }
    const std::vector<Pt>& unitCircle(int k);

private:
    struct Edge {
        double x0, y0, slope;  // x at y0 and dx/dy
        int rowFirst, rowEnd;  // rows whose centres it crosses, [first, end)
        int dir;
    };
    struct Crossing {
        double x;
        int dir;
    };
    std::vector<Edge> edges_;
    std::vector<int> active_;
    std::vector<Crossing> crossings_;
    std::vector<Pt> scratch_, unitCircle_;
    int circleK_ = 0;
    std::vector<Paint>* record_ = nullptr;
};

// Adds the outline of a stroked polyline (width in pixels) to a filler: a band per segment and,
// when the line is thick enough to show corners, round joins and caps.
void addStroke(ScanFiller& filler, const std::vector<Pt>& points, double width);

}  // namespace player
