// Octree colour quantiser: reduces a 24-bit picture to at most a given number of colours and maps
// each colour of that picture to its palette index. One tree exists at a time; every build
// replaces it, and the lookups read the last build until the next one.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace korvella::modOcTree {

struct OctreeNode {
    std::int32_t IsLeaf = 0;       // -1 for a leaf (one palette colour)
    std::int32_t Queued = 0;       // -1 once put on its level's waiting list
    std::int32_t PixelCount = 0;
    std::int32_t SumB = 0;
    std::int32_t SumG = 0;
    std::int32_t SumR = 0;
    std::array<std::int32_t, 8> Child{};  // node numbers, 0 = none
    std::int32_t NextReducible = 0;       // next on the waiting list, or next free node
    std::int32_t PaletteIndex = 0;
};

// Module state. Nodes are numbered from 1 (element 0 is never used); node 1 is the root.
extern std::vector<OctreeNode> Nodes;
extern std::int32_t NodeCount;
extern std::int32_t FreeList;
extern std::array<std::int32_t, 9> ReducibleNodes;  // levels 1 to 8
extern std::array<std::int32_t, 9> BitMask;         // levels 1 to 8
extern std::array<std::uint8_t, 129> BitTable;
extern std::vector<std::int32_t> Palette;  // byte 0 blue, 1 green, 2 red, 3 zero
extern std::int32_t PaletteCount;
// The colour (byte 0 blue, 1 green, 2 red) that reductions never merge with other colours, so
// that it keeps an exact palette entry; -1 when every colour may merge.
extern std::int32_t KeptColour;

void InitOctree();
std::int32_t NewNode();
void FreeNode(std::int32_t n);
void AddColor(std::int32_t node, std::int32_t level, std::int32_t leafLevel, std::int32_t& leafCount, std::uint8_t b,
              std::uint8_t g, std::uint8_t r);
bool ReduceTree(std::int32_t& leafCount, std::int32_t leafLevel);
void FillPalette(std::vector<OctreeNode>& nodes, std::vector<std::int32_t>& palette, std::int32_t& next, std::int32_t n);

// Builds tree and palette from rows of (stride - pad) / 3 blue-green-red pixels followed by pad
// unused bytes each. Raises 9 when bytes holds fewer than stride * rows bytes. A kept colour
// (see KeptColour) gets a palette entry of its own whenever the picture holds it; keeping it
// may leave up to 57 leaves when fewer colours are asked for.
void CreateOctreePalette(std::int32_t stride, std::int32_t rows, std::int32_t pad, const std::vector<std::uint8_t>& bytes,
                         std::int32_t maxColours, std::int32_t leafLevel, std::int32_t keptColour = -1);

std::int32_t GetPaletteIndex(std::uint8_t b, std::uint8_t g, std::uint8_t r);
std::int32_t GetPaletteUBound();
// Raises 9 for an index outside the palette.
void GetPaletteColor(std::int32_t index, std::uint8_t& b, std::uint8_t& g, std::uint8_t& r);

}  // namespace korvella::modOcTree
