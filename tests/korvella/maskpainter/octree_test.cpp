// The octree quantiser: palettes, merging, lookups and the module state a build leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "korvella/maskpainter/modOcTree.h"
#include "platform/error.h"

namespace oct = korvella::modOcTree;

namespace {

struct Bgr {
    std::uint8_t b, g, r;
};

// Rows of pixels as a 24-bit buffer: stride 3 * width rounded up to 4, padding filled with
// `padByte` so that reading it would show.
struct Picture24 {
    std::int32_t stride = 0, rows = 0, pad = 0;
    std::vector<std::uint8_t> bytes;
};

Picture24 picture(const std::vector<std::vector<Bgr>>& rows, std::uint8_t padByte = 0xEE) {
    Picture24 p;
    const int width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    p.stride = (3 * width + 3) / 4 * 4;
    p.pad = p.stride - 3 * width;
    p.rows = static_cast<int>(rows.size());
    p.bytes.assign(static_cast<std::size_t>(p.stride) * p.rows, padByte);
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr c = rows[y][x];
            p.bytes[y * p.stride + 3 * x] = c.b;
            p.bytes[y * p.stride + 3 * x + 1] = c.g;
            p.bytes[y * p.stride + 3 * x + 2] = c.r;
        }
    return p;
}

void build(const Picture24& p, int maxColours = 256) { oct::CreateOctreePalette(p.stride, p.rows, p.pad, p.bytes, maxColours, 8); }

std::tuple<int, int, int> colour(int index) {
    std::uint8_t b = 0, g = 0, r = 0;
    oct::GetPaletteColor(index, b, g, r);
    return {b, g, r};
}

int indexOf(Bgr c) { return oct::GetPaletteIndex(c.b, c.g, c.r); }

TEST(OcTree, OneColourGivesOneLeafInASixteenEntryPalette) {
    const Bgr c{10, 20, 30};
    build(picture({{c, c, c}, {c, c, c}}));
    EXPECT_EQ(oct::GetPaletteUBound(), 0);
    ASSERT_EQ(oct::Palette.size(), 16u);
    EXPECT_EQ(colour(0), std::make_tuple(10, 20, 30));
    for (int i = 1; i < 16; ++i) EXPECT_EQ(oct::Palette[i], 0);
    EXPECT_EQ(oct::Palette[0] >> 24, 0);  // the fourth byte stays 0
    EXPECT_EQ(indexOf(c), 0);
    EXPECT_EQ(oct::NodeCount, 9);  // the root and one node per level
}

TEST(OcTree, SixteenColoursFitSixteenEntriesSeventeenTakeTheFullPalette) {
    // Greys 0, 16, ..., 240: leaves come out in depth-first order, lower positions first, so the
    // palette is sorted.
    std::vector<Bgr> row;
    for (int i = 0; i < 16; ++i) row.push_back({static_cast<std::uint8_t>(16 * i), static_cast<std::uint8_t>(16 * i),
                                                static_cast<std::uint8_t>(16 * i)});
    build(picture({row}));
    EXPECT_EQ(oct::GetPaletteUBound(), 15);
    EXPECT_EQ(oct::Palette.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(colour(i), std::make_tuple(16 * i, 16 * i, 16 * i));
        EXPECT_EQ(indexOf(row[i]), i);
    }

    row.push_back({255, 255, 255});
    build(picture({row}));
    EXPECT_EQ(oct::GetPaletteUBound(), 16);
    ASSERT_EQ(oct::Palette.size(), 256u);
    EXPECT_EQ(colour(16), std::make_tuple(255, 255, 255));
    for (int i = 17; i < 256; ++i) EXPECT_EQ(oct::Palette[i], 0) << i;
}

TEST(OcTree, NoPixelsGiveAnEmptyPalette) {
    build(picture({}));
    EXPECT_EQ(oct::GetPaletteUBound(), -1);
    EXPECT_EQ(oct::Palette, std::vector<std::int32_t>(16, 0));
    // Rows without a whole pixel in them.
    oct::CreateOctreePalette(2, 3, 2, std::vector<std::uint8_t>(6, 0x80), 256, 8);
    EXPECT_EQ(oct::GetPaletteUBound(), -1);
}

TEST(OcTree, PaddingIsNeverReadAndEveryRowCounts) {
    const Bgr white{255, 255, 255}, red{0, 0, 255};
    // Width 3: 9 bytes of pixels and 3 of padding per row; the only red pixel is in row 0.
    const auto rows = std::vector<std::vector<Bgr>>{{white, white, red}, {white, white, white}};
    build(picture(rows, 0x00));
    const std::vector<std::int32_t> clean = oct::Palette;
    build(picture(rows, 0x7B));
    EXPECT_EQ(oct::Palette, clean);
    EXPECT_EQ(oct::GetPaletteUBound(), 1);
    EXPECT_EQ(colour(indexOf(red)), std::make_tuple(0, 0, 255));
    EXPECT_EQ(colour(indexOf(white)), std::make_tuple(255, 255, 255));
}

TEST(OcTree, MergedLeavesAverageTheirPixelsWeightedByCount) {
    // Room for one colour. The buffer is read from its end: three blacks, then the dark red,
    // which shares only the level-1 node with black, so every level merges down to that node.
    const Bgr black{0, 0, 0}, darkRed{0, 0, 127};
    build(picture({{darkRed, black, black, black}}), 1);
    EXPECT_EQ(oct::GetPaletteUBound(), 0);
    EXPECT_EQ(colour(0), std::make_tuple(0, 0, 127 / 4));  // (3 * 0 + 127) \ 4, not 127 \ 2
    EXPECT_EQ(indexOf(black), 0);
    EXPECT_EQ(indexOf(darkRed), 0);
    // Everything below the shared level-1 node went back to the free list.
    EXPECT_EQ(oct::NodeCount, 2);
    EXPECT_NE(oct::FreeList, 0);
}

TEST(OcTree, TheDeepestNodeQueuedLastMergesFirst) {
    // Blues 0..255 fill the 256 places; one more colour forces one merge. The level-7 node queued
    // last holds blues 254 and 255.
    std::vector<Bgr> row{{0, 1, 0}};
    for (int b = 255; b >= 0; --b) row.push_back({static_cast<std::uint8_t>(b), 0, 0});
    build(picture({row}));
    EXPECT_EQ(oct::GetPaletteUBound(), 255);
    EXPECT_EQ(indexOf({0, 0, 0}), 0);
    EXPECT_EQ(indexOf({1, 0, 0}), 1);
    EXPECT_EQ(indexOf({0, 1, 0}), 2);
    EXPECT_EQ(colour(2), std::make_tuple(0, 1, 0));
    EXPECT_EQ(indexOf({100, 0, 0}), 101);
    EXPECT_EQ(colour(101), std::make_tuple(100, 0, 0));
    EXPECT_EQ(indexOf({254, 0, 0}), 255);
    EXPECT_EQ(indexOf({255, 0, 0}), 255);
    EXPECT_EQ(colour(255), std::make_tuple(254, 0, 0));  // (254 + 255) \ 2
}

TEST(OcTree, PoolGrowsAndEveryColourFindsItsOwnEntry) {
    // 256 scattered colours need more than 1,024 nodes and no merge.
    std::vector<Bgr> row;
    std::set<std::tuple<int, int, int>> seen;
    std::uint32_t s = 12345;
    while (row.size() < 256) {
        s = s * 1103515245 + 12345;
        const Bgr c{static_cast<std::uint8_t>(s >> 8), static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 24)};
        if (seen.insert({c.b, c.g, c.r}).second) row.push_back(c);
    }
    build(picture({row, row}));
    EXPECT_GT(oct::Nodes.size(), 1025u);
    EXPECT_EQ(oct::GetPaletteUBound(), 255);
    for (const Bgr& c : row) EXPECT_EQ(colour(indexOf(c)), std::make_tuple(c.b, c.g, c.r));

    // The next build starts from a fresh pool.
    build(picture({{Bgr{1, 2, 3}}}));
    EXPECT_EQ(oct::Nodes.size(), 1025u);
    EXPECT_EQ(oct::NodeCount, 9);
    EXPECT_EQ(oct::GetPaletteUBound(), 0);
}

TEST(OcTree, ManyColoursAreCutBackToTheLimitAfterEveryPixel) {
    std::vector<Bgr> row;
    std::uint32_t s = 99;
    for (int i = 0; i < 2000; ++i) {
        s = s * 1664525 + 1013904223;
        row.push_back({static_cast<std::uint8_t>(s >> 24), static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 8)});
    }
    build(picture({row}), 8);
    EXPECT_GE(oct::GetPaletteUBound(), 0);
    EXPECT_LE(oct::GetPaletteUBound(), 7);
    EXPECT_EQ(oct::Palette.size(), 16u);
    for (const Bgr& c : row) {
        const int i = indexOf(c);
        EXPECT_GE(i, 0);
        EXPECT_LE(i, oct::GetPaletteUBound());
    }
    // One merge removes up to seven leaves at once, so the full limit leaves a few places free.
    build(picture({row}));
    EXPECT_LE(oct::GetPaletteUBound(), 255);
    EXPECT_GT(oct::GetPaletteUBound(), 240);
}

TEST(OcTree, ColoursTheBuildNeverSawStillAnswerAnIndex) {
    build(picture({{Bgr{0, 0, 0}}}));
    EXPECT_EQ(oct::GetPaletteIndex(255, 255, 255), 0);  // scans to the existing branch
    build(picture({{Bgr{255, 255, 255}}, {Bgr{255, 255, 255}}}));
    EXPECT_EQ(oct::GetPaletteIndex(0, 0, 0), 0);  // only position 7 exists: the scan runs out
    oct::Nodes.clear();
    EXPECT_EQ(oct::GetPaletteIndex(1, 2, 3), 0);  // no tree at all
}

// Near-white shades (every channel 248 to 255, white among them) and scattered darker colours:
// more than 256 colours, so the deepest nodes, white's own among them, are merged.
std::vector<Bgr> nearWhiteAndMore() {
    std::vector<Bgr> row;
    for (int b = 248; b <= 255; ++b)
        for (int g = 248; g <= 255; ++g)
            for (int r = 248; r <= 255; ++r)
                row.push_back({static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)});
    std::uint32_t s = 7;
    for (int i = 0; i < 600; ++i) {
        s = s * 1664525 + 1013904223;
        row.push_back({static_cast<std::uint8_t>(s >> 24), static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 8)});
    }
    return row;
}

bool paletteHolds(std::tuple<int, int, int> c) {
    for (int i = 0; i <= oct::GetPaletteUBound(); ++i)
        if (colour(i) == c) return true;
    return false;
}

void buildKeepingWhite(const Picture24& p, int maxColours = 256) {
    oct::CreateOctreePalette(p.stride, p.rows, p.pad, p.bytes, maxColours, 8, 0xFFFFFF);
}

TEST(OcTree, AKeptColourKeepsItsOwnEntryAmongItsNearShades) {
    const Bgr white{255, 255, 255};
    const auto row = nearWhiteAndMore();
    const Picture24 p = picture({row, row});
    build(p);
    ASSERT_FALSE(paletteHolds({255, 255, 255}));  // merged with its neighbours when nothing is kept

    for (int most : {256, 16, 1}) {
        SCOPED_TRACE(most);
        buildKeepingWhite(p, most);
        EXPECT_EQ(colour(indexOf(white)), std::make_tuple(255, 255, 255));
        // Every other colour still finds an entry, and none of them is white.
        for (const Bgr& c : row) {
            const int i = indexOf(c);
            ASSERT_GE(i, 0);
            ASSERT_LE(i, oct::GetPaletteUBound());
            if (c.b != 255 || c.g != 255 || c.r != 255) {
                ASSERT_NE(colour(i), std::make_tuple(255, 255, 255));
            }
        }
        // Fewer places than asked for may be left when the kept colour blocks merges.
        EXPECT_LE(oct::GetPaletteUBound(), std::max(most, 57) - 1);
        EXPECT_GE(static_cast<int>(oct::Palette.size()), oct::GetPaletteUBound() + 1);
    }
}

TEST(OcTree, KeepingAColourThatSurvivesAnywayChangesNothing) {
    // Colours with at least one channel below 128 besides a few whites: they part from white at
    // the first level, so white is never merged with another colour; its own branch folds up.
    std::vector<Bgr> row;
    std::uint32_t s = 3;
    for (int i = 0; i < 3000; ++i) {
        s = s * 1664525 + 1013904223;
        Bgr c{static_cast<std::uint8_t>(s >> 24), static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 8)};
        if (c.b >= 128 && c.g >= 128 && c.r >= 128) c.g = static_cast<std::uint8_t>(c.g - 128);
        row.push_back(c);
        if (i % 500 == 0) row.push_back({255, 255, 255});
    }
    const Picture24 p = picture({row});
    for (int most : {256, 8}) {
        build(p, most);
        ASSERT_TRUE(paletteHolds({255, 255, 255}));
        const auto palette = oct::Palette;
        const auto bound = oct::GetPaletteUBound();
        std::vector<int> indexes;
        for (const Bgr& c : row) indexes.push_back(indexOf(c));
        buildKeepingWhite(p, most);
        EXPECT_EQ(oct::Palette, palette);
        EXPECT_EQ(oct::GetPaletteUBound(), bound);
        std::vector<int> again;
        for (const Bgr& c : row) again.push_back(indexOf(c));
        EXPECT_EQ(again, indexes);
    }
}

TEST(OcTree, WhiteIsKeptInEveryPictureAndTheResultOnlyChangesWhereItWasLost) {
    // Pictures of few to many colours, light and dark, each with some white in it.
    int survived = 0, lost = 0;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        std::uint32_t s = seed;
        auto next = [&] { return s = s * 1664525 + 1013904223; };
        const int n = 50 + static_cast<int>(next() >> 20) % 1500;
        const int spread = 1 + static_cast<int>(next() >> 24) % 256;
        std::vector<Bgr> row;
        for (int i = 0; i < n; ++i) {
            if (next() >> 28 == 0) {
                row.push_back({255, 255, 255});
                continue;
            }
            const bool light = (next() >> 31) != 0;
            auto channel = [&] {
                const int v = static_cast<int>(next() >> 16) % spread;
                return static_cast<std::uint8_t>(light ? 255 - v : v);
            };
            row.push_back({channel(), channel(), channel()});
        }
        row.push_back({255, 255, 255});
        const Picture24 p = picture({row});
        SCOPED_TRACE(seed);
        build(p);
        const bool whiteSurvives = colour(indexOf({255, 255, 255})) == std::make_tuple(255, 255, 255);
        const auto palette = oct::Palette;
        std::vector<int> indexes;
        for (const Bgr& c : row) indexes.push_back(indexOf(c));

        buildKeepingWhite(p);
        ASSERT_EQ(colour(indexOf({255, 255, 255})), std::make_tuple(255, 255, 255));
        ASSERT_LE(oct::GetPaletteUBound(), 255);
        if (whiteSurvives) {
            ++survived;
            ASSERT_EQ(oct::Palette, palette);
            std::vector<int> again;
            for (const Bgr& c : row) again.push_back(indexOf(c));
            ASSERT_EQ(again, indexes);
        } else {
            ++lost;
        }
    }
    EXPECT_GT(survived, 10);
    EXPECT_GT(lost, 10);
}

TEST(OcTree, AKeptColourThePictureLacksChangesNothing) {
    const auto row = nearWhiteAndMore();
    std::vector<Bgr> noWhite;
    for (const Bgr& c : row)
        if (c.b != 255 || c.g != 255 || c.r != 255) noWhite.push_back(c);
    const Picture24 p = picture({noWhite});
    build(p);
    const auto palette = oct::Palette;
    buildKeepingWhite(p);
    EXPECT_EQ(oct::Palette, palette);
}

TEST(OcTree, BadArgumentsRaiseInsteadOfReadingOutside) {
    const Picture24 p = picture({{Bgr{1, 1, 1}, Bgr{2, 2, 2}}});
    auto number = [](auto f) {
        try {
            f();
        } catch (const platform::VbError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([&] { oct::CreateOctreePalette(p.stride, p.rows + 1, p.pad, p.bytes, 256, 8); }), 9);
    EXPECT_EQ(number([&] { oct::CreateOctreePalette(p.stride, p.rows, p.stride + 1, p.bytes, 256, 8); }), 5);
    EXPECT_EQ(number([&] { oct::CreateOctreePalette(-4, 1, 0, p.bytes, 256, 8); }), 5);
    EXPECT_EQ(number([&] { oct::CreateOctreePalette(p.stride, p.rows, p.pad, p.bytes, 256, 9); }), 9);
    build(p);
    EXPECT_EQ(number([] { colour(-1); }), 9);
    EXPECT_EQ(number([] { colour(16); }), 9);
    EXPECT_EQ(number([] { colour(15); }), 0);
}

}  // namespace
