// BMOVE: moves that overlap, and the two refusals with their information boxes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>

#include "forms/bmove.h"
#include "platform/windows/dialogs.h"

using platform::ScriptedDialogs;

namespace {

class BmoveTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setDialogs(&boxes);
        std::iota(data.begin(), data.end(), 1);  // 1..100
    }
    void TearDown() override { platform::setDialogs(nullptr); }

    ScriptedDialogs boxes;
    std::array<std::int32_t, 100> data{};
};

TEST_F(BmoveTest, ShiftsAHistoryByOneOntoItself) {
    // Entries 2..100 move to 1..99, the last keeps its value.
    vb::BMOVE(&data[1], &data[0], 99 * 4);
    for (int i = 0; i < 99; ++i)
        EXPECT_EQ(data[i], i + 2) << i;
    EXPECT_EQ(data[99], 100);
    // And back up by one: the copy runs the other way round.
    vb::BMOVE(&data[0], &data[1], 99 * 4);
    EXPECT_EQ(data[0], 2);
    for (int i = 1; i < 100; ++i)
        EXPECT_EQ(data[i], i + 1) << i;
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(BmoveTest, CopiesExactlyTheCountBetweenBuffers) {
    std::array<std::int16_t, 8> target{};
    const std::array<std::int16_t, 8> samples{10, -20, 30, -40, 50, -60, 70, -80};
    vb::BMOVE(samples.data(), target.data(), 5 * 2);
    EXPECT_EQ(target, (std::array<std::int16_t, 8>{10, -20, 30, -40, 50, 0, 0, 0}));
    // An odd byte count moves half a sample.
    std::array<std::uint8_t, 4> bytes{};
    const std::array<std::uint8_t, 4> src{1, 2, 3, 4};
    vb::BMOVE(src.data(), bytes.data(), 3);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{1, 2, 3, 0}));
}

TEST_F(BmoveTest, ZeroCountDoesNothingEvenWithoutADestination) {
    vb::BMOVE(&data[1], &data[0], 0);
    vb::BMOVE(&data[1], nullptr, 0);
    vb::BMOVE(nullptr, nullptr, 0);
    EXPECT_EQ(data[0], 1);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(BmoveTest, NegativeCountShowsTheInformationBoxAndMovesNothing) {
    vb::BMOVE(&data[1], &data[0], -4);
    EXPECT_EQ(data[0], 1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto& box = boxes.shown()[0];
    EXPECT_EQ(box.kind, ScriptedDialogs::Kind::Message);
    EXPECT_EQ(box.style, 64);
    EXPECT_EQ(box.title, "BMOVE");
    EXPECT_EQ(box.text, "Versuchte Verwendug von BMOVE mit negativer Anzahl von Bytes!");
    vb::BMOVE(&data[1], &data[0], INT32_MIN);
    EXPECT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(data[0], 1);
}

TEST_F(BmoveTest, NegativeCountWithNullDestinationShowsOnlyTheFirstBox) {
    vb::BMOVE(&data[0], nullptr, -1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Versuchte Verwendug von BMOVE mit negativer Anzahl von Bytes!");
}

TEST_F(BmoveTest, NullDestinationShowsTheAddressBox) {
    vb::BMOVE(&data[0], nullptr, 400);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto& box = boxes.shown()[0];
    EXPECT_EQ(box.style, 64);
    EXPECT_EQ(box.title, "BMOVE");
    EXPECT_EQ(box.text, "Zieladresse ist 0 ");
    EXPECT_EQ(box.answer, platform::IDOK);
}

TEST_F(BmoveTest, NullSourceMovesNothingWithoutABox) {
    vb::BMOVE(nullptr, &data[0], 400);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[99], 100);
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace
