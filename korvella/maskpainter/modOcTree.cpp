#include "korvella/maskpainter/modOcTree.h"

#include <algorithm>

#include "platform/error.h"

namespace korvella::modOcTree {

namespace {

constexpr std::int32_t kPoolStep = 1024;

void addChecked(std::int32_t& sum, std::int32_t value) {
    if (__builtin_add_overflow(sum, value, &sum)) platform::raise(6);
}

int childPosition(std::int32_t level, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    const std::int32_t mask = BitMask[level];
    return 4 * BitTable[r & mask] + 2 * BitTable[g & mask] + BitTable[b & mask];
}

int keptPosition(std::int32_t level) {
    return childPosition(level, static_cast<std::uint8_t>(KeptColour), static_cast<std::uint8_t>(KeptColour >> 8),
                         static_cast<std::uint8_t>(KeptColour >> 16));
}

bool holdsOnlyKeptColour(const OctreeNode& leaf) {
    if (KeptColour < 0 || leaf.PixelCount <= 0) return false;
    const auto pure = [&](std::int32_t sum, int shift) {
        return static_cast<long long>(sum) == static_cast<long long>(leaf.PixelCount) * ((KeptColour >> shift) & 0xFF);
    };
    return pure(leaf.SumB, 0) && pure(leaf.SumG, 8) && pure(leaf.SumR, 16);
}

// Turns leaf c (at the given level), which holds the kept colour alone, back into an inner node
// with one new node per level below it down to the leaf level, where its pixels go; the new inner
// nodes wait on their levels' lists as if the colour had been added anew. The leaf count stays.
void splitKeptLeaf(std::int32_t c, std::int32_t level, std::int32_t leafLevel) {
    const OctreeNode saved = Nodes[c];
    Nodes[c].IsLeaf = 0;
    Nodes[c].PixelCount = Nodes[c].SumB = Nodes[c].SumG = Nodes[c].SumR = 0;
    std::int32_t parent = c;
    for (std::int32_t l = level + 1; l <= leafLevel; ++l) {
        const std::int32_t n = NewNode();  // may grow the pool: no reference into it is held across
        Nodes[parent].Child[keptPosition(l)] = n;
        OctreeNode& fresh = Nodes[n];
        fresh.IsLeaf = l == leafLevel ? -1 : 0;
        fresh.PixelCount = fresh.SumB = fresh.SumG = fresh.SumR = 0;
        fresh.NextReducible = 0;
        fresh.Queued = 0;
        if (l < leafLevel) {
            fresh.NextReducible = ReducibleNodes[l];
            ReducibleNodes[l] = n;
            fresh.Queued = -1;
        }
        parent = n;
    }
    OctreeNode& leaf = Nodes[parent];
    leaf.PixelCount = saved.PixelCount;
    leaf.SumB = saved.SumB;
    leaf.SumG = saved.SumG;
    leaf.SumR = saved.SumR;
}

// Whether merging node n (at the given level) would mix the kept colour with other colours: n
// lies on the kept colour's path and holds anything else. Decided before the kept colour's own
// pixels arrive, since once such a node is a leaf they would be counted into it. Only nodes on
// that path are ever left unmerged, so every other subtree a reduction reaches holds leaves only.
bool mergeWouldLoseKeptColour(std::int32_t n, std::int32_t level) {
    if (KeptColour < 0) return false;
    std::int32_t node = 1;
    for (std::int32_t l = 1; l <= level; ++l) {
        if (Nodes[node].IsLeaf != 0) return false;
        node = Nodes[node].Child[keptPosition(l)];
        if (node == 0) return false;
    }
    if (node != n) return false;
    for (std::int32_t l = level + 1; l <= 8 && node != 0 && Nodes[node].IsLeaf == 0; ++l) {
        const int kept = keptPosition(l);
        for (int p = 0; p <= 7; ++p)
            if (p != kept && Nodes[node].Child[p] != 0) return true;
        node = Nodes[node].Child[kept];
    }
    if (node == 0 || Nodes[node].IsLeaf == 0) return false;
    return !holdsOnlyKeptColour(Nodes[node]);
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
std::int32_t KeptColour = -1;

void InitOctree() {
    ReducibleNodes.fill(0);
    Nodes.assign(kPoolStep + 1, OctreeNode{});
    FreeList = 0;
    PaletteCount = 0;
    KeptColour = -1;
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
    const int position = childPosition(level, b, g, r);
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
    if (Nodes[c].IsLeaf != 0 && level < leafLevel && holdsOnlyKeptColour(Nodes[c]) &&
        !(b == static_cast<std::uint8_t>(KeptColour) && g == static_cast<std::uint8_t>(KeptColour >> 8) &&
          r == static_cast<std::uint8_t>(KeptColour >> 16))) {
        // Another colour reaches a leaf merged from the kept colour alone: the kept pixels move
        // down their own path again, so that the two stay apart.
        splitKeptLeaf(c, level, leafLevel);
        AddColor(c, level + 1, leafLevel, leafCount, b, g, r);
        return;
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
    std::int32_t level = 0;
    std::int32_t n = 0;
    for (;;) {
        level = std::min<std::int32_t>(leafLevel, 8);
        while (level >= 1 && ReducibleNodes[level] == 0) --level;
        if (level < 1) return false;
        // The deepest waiting node, the one queued last on its level.
        n = ReducibleNodes[level];
        ReducibleNodes[level] = Nodes[n].NextReducible;
        // A node that would swallow the kept colour leaves the waiting list for good.
        if (!mergeWouldLoseKeptColour(n, level)) break;
    }
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
                         std::int32_t maxColours, std::int32_t leafLevel, std::int32_t keptColour) {
    if (stride < 0 || rows < 0 || pad < 0 || pad > stride) platform::raise(5);
    if (static_cast<long long>(stride) * rows > static_cast<long long>(bytes.size())) platform::raise(9);
    InitOctree();
    std::int32_t leafCount = 0;
    const std::int32_t pixels = (stride - pad) / 3;
    // A colour the picture does not hold needs no entry: the build then runs as without one.
    if (keptColour >= 0) {
        const std::uint8_t kb = static_cast<std::uint8_t>(keptColour), kg = static_cast<std::uint8_t>(keptColour >> 8),
                           kr = static_cast<std::uint8_t>(keptColour >> 16);
        for (std::int32_t row = 0; row < rows && KeptColour < 0; ++row)
            for (std::int32_t x = 0; x < pixels; ++x) {
                const std::size_t at = static_cast<std::size_t>(row) * stride + 3 * static_cast<std::size_t>(x);
                if (bytes[at] == kb && bytes[at + 1] == kg && bytes[at + 2] == kr) {
                    KeptColour = keptColour & 0xFFFFFF;
                    break;
                }
            }
    }
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
