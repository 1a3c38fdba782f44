#include "korvella/maskpainter/modOcTree.h"

#include <algorithm>

#include "platform/error.h"

namespace korvella::modOcTree {

namespace {

constexpr std::int32_t kPoolStep = 1024;

void addChecked(std::int32_t& sum, std::int32_t value) {
    if (__builtin_add_overflow(sum, value, &sum)) platform::raise(6);
}

}  // namespace

std::vector<OctreeNode> Nodes;
std::int32_t NodeCount = 0;
std::int32_t FreeList = 0;
std::array<std::int32_t, 9> ReducibleNodes{};
std::array<std::int32_t, 9> BitMask{};
std::array<std::uint8_t, 129> BitTable{};
std::vector<std::int32_t> Palette;
std::int32_t PaletteCount = 0;

void InitOctree() {
    ReducibleNodes.fill(0);
    Nodes.assign(kPoolStep + 1, OctreeNode{});
    FreeList = 0;
    PaletteCount = 0;
    NodeCount = 1;
    for (int level = 1; level <= 8; ++level) BitMask[level] = 1 << (8 - level);
    BitTable.fill(0);
    for (int i = 0; i <= 7; ++i) BitTable[1u << i] = 1;
}

std::int32_t NewNode() {
    ++NodeCount;
    if (FreeList != 0) {
        const std::int32_t n = FreeList;
        FreeList = Nodes[n].NextReducible;
        Nodes[n].Child.fill(0);
        return n;
    }
    // With no free node the nodes in use are exactly 1 to NodeCount.
    const std::int32_t n = NodeCount;
    if (n % kPoolStep == 0) Nodes.resize(static_cast<std::size_t>(n) + kPoolStep + 1);
    return n;
}

void FreeNode(std::int32_t n) {
    OctreeNode& node = Nodes[n];
    node.NextReducible = FreeList;
    FreeList = n;
    node.IsLeaf = 0;
    node.Queued = 0;
    --NodeCount;
}

void AddColor(std::int32_t node, std::int32_t level, std::int32_t leafLevel, std::int32_t& leafCount, std::uint8_t b,
              std::uint8_t g, std::uint8_t r) {
    // A leaf level beyond the eight bits of a byte has no bit left to look at.
    if (level < 1 || level > 8) platform::raise(9);
    const std::int32_t mask = BitMask[level];
    const int position = 4 * BitTable[r & mask] + 2 * BitTable[g & mask] + BitTable[b & mask];
    std::int32_t c = Nodes[node].Child[position];
    if (c == 0) {
        c = NewNode();  // may grow the pool: no reference into it is held across this call
        Nodes[node].Child[position] = c;
        OctreeNode& fresh = Nodes[c];
        fresh.IsLeaf = level == leafLevel ? -1 : 0;
        fresh.PixelCount = 0;
        fresh.SumB = 0;
        fresh.SumG = 0;
        fresh.SumR = 0;
        fresh.NextReducible = 0;
    }
    OctreeNode& child = Nodes[c];
    if (child.IsLeaf != 0) {
        if (child.PixelCount == 0) ++leafCount;
        addChecked(child.PixelCount, 1);
        addChecked(child.SumB, b);
        addChecked(child.SumG, g);
        addChecked(child.SumR, r);
        return;
    }
    if (child.Queued == 0) {
        child.NextReducible = ReducibleNodes[level];
        ReducibleNodes[level] = c;
        child.Queued = -1;
    }
    AddColor(c, level + 1, leafLevel, leafCount, b, g, r);
}

bool ReduceTree(std::int32_t& leafCount, std::int32_t leafLevel) {
    std::int32_t level = std::min<std::int32_t>(leafLevel, 8);
    while (level >= 1 && ReducibleNodes[level] == 0) --level;
    if (level < 1) return false;

    // The deepest waiting node, the one queued last on its level.
    const std::int32_t n = ReducibleNodes[level];
    ReducibleNodes[level] = Nodes[n].NextReducible;
    std::int32_t count = 0, sumB = 0, sumG = 0, sumR = 0, merged = 0;
    for (int position = 0; position <= 7; ++position) {
        const std::int32_t c = Nodes[n].Child[position];
        if (c == 0) continue;
        addChecked(count, Nodes[c].PixelCount);
        addChecked(sumB, Nodes[c].SumB);
        addChecked(sumG, Nodes[c].SumG);
        addChecked(sumR, Nodes[c].SumR);
        FreeNode(c);
        ++merged;
        Nodes[n].Child[position] = 0;
    }
    leafCount -= merged - 1;
    OctreeNode& node = Nodes[n];
    node.PixelCount = count;
    node.SumB = sumB;
    node.SumG = sumG;
    node.SumR = sumR;
    node.IsLeaf = -1;
    return true;
}

void FillPalette(std::vector<OctreeNode>& nodes, std::vector<std::int32_t>& palette, std::int32_t& next, std::int32_t n) {
    OctreeNode& node = nodes[n];
    if (node.IsLeaf != 0) {
        if (next < 0 || next >= static_cast<std::int32_t>(palette.size())) platform::raise(9);
        const std::int32_t count = node.PixelCount;
        auto average = [count](std::int32_t sum) { return count > 0 ? sum / count : 0; };
        palette[next] = average(node.SumB) | (average(node.SumG) << 8) | (average(node.SumR) << 16);
        node.PaletteIndex = next;
        ++next;
        return;
    }
    for (int position = 0; position <= 7; ++position) {
        const std::int32_t c = nodes[n].Child[position];
        if (c != 0) FillPalette(nodes, palette, next, c);
    }
}

void CreateOctreePalette(std::int32_t stride, std::int32_t rows, std::int32_t pad, const std::vector<std::uint8_t>& bytes,
                         std::int32_t maxColours, std::int32_t leafLevel) {
    if (stride < 0 || rows < 0 || pad < 0 || pad > stride) platform::raise(5);
    if (static_cast<long long>(stride) * rows > static_cast<long long>(bytes.size())) platform::raise(9);
    InitOctree();
    std::int32_t leafCount = 0;
    const std::int32_t pixels = (stride - pad) / 3;
    // Last row first and, within a row, last pixel first: the order decides which nodes merge.
    for (std::int32_t row = rows - 1; row >= 0; --row) {
        for (std::int32_t x = pixels - 1; x >= 0; --x) {
            const std::size_t at = static_cast<std::size_t>(row) * stride + 3 * static_cast<std::size_t>(x);
            AddColor(1, 1, leafLevel, leafCount, bytes[at], bytes[at + 1], bytes[at + 2]);
            while (leafCount > maxColours)
                if (!ReduceTree(leafCount, leafLevel)) break;
        }
    }
    Palette.assign(leafCount <= 16 ? 16 : 256, 0);
    PaletteCount = 0;
    FillPalette(Nodes, Palette, PaletteCount, 1);
    PaletteCount -= 1;
}

std::int32_t GetPaletteIndex(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    if (Nodes.size() < 2) return 0;  // no build yet
    std::int32_t node = 1;
    // A colour the build never saw: take the first existing child from a scan position shared by
    // all levels, never position 7, and answer 0 when the scan runs out.
    int scan = 0;
    for (int level = 1; level <= 8; ++level) {
        const std::int32_t mask = BitMask[level];
        const int position = 4 * BitTable[r & mask] + 2 * BitTable[g & mask] + BitTable[b & mask];
        std::int32_t c = Nodes[node].Child[position];
        if (c == 0) {
            while (scan < 7 && Nodes[node].Child[scan] == 0) ++scan;
            if (scan >= 7) return 0;
            c = Nodes[node].Child[scan];
        }
        node = c;
        if (Nodes[node].IsLeaf != 0) return Nodes[node].PaletteIndex;
    }
    return 0;
}

std::int32_t GetPaletteUBound() { return PaletteCount; }

void GetPaletteColor(std::int32_t index, std::uint8_t& b, std::uint8_t& g, std::uint8_t& r) {
    if (index < 0 || index >= static_cast<std::int32_t>(Palette.size())) platform::raise(9);
    const std::uint32_t entry = static_cast<std::uint32_t>(Palette[index]);
    b = static_cast<std::uint8_t>(entry);
    g = static_cast<std::uint8_t>(entry >> 8);
    r = static_cast<std::uint8_t>(entry >> 16);
}

}  // namespace korvella::modOcTree
