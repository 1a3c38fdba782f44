// The live desk's F-key hot keys, its projector buttons, and the kick-bass switch and options as
// the beat road follows them.
#include <gtest/gtest.h>

#include <map>

#include "live_fixture.h"

namespace korvella_test {
namespace {

using Strings = std::vector<std::string>;
constexpr int kF1 = 112;

// Counts the queries per key and answers from a scripted keyboard.
struct CountingKeyboard : platform::KeyboardService {
    std::int16_t getAsyncKeyState(int vk) override {
        ++queries[vk];
        return keys.getAsyncKeyState(vk);
    }
    platform::ScriptedKeyboard keys;
    std::map<int, int> queries;
};

struct HotKey {
    const char* box;
    const char* button;
};

inline std::ostream& operator<<(std::ostream& os, const HotKey& k) { return os << k.box << "/" << k.button; }

class HotKeyTest : public LiveDeskTest, public ::testing::WithParamInterface<HotKey> {};

TEST_P(HotKeyTest, PressesItsButtonOncePerTapAndOnEveryPollWhileHeld) {
    auto& d = desk();
    auto* box = dynamic_cast<forms::ComboBox*>(d.control(GetParam().box));
    auto* button = dynamic_cast<forms::CommandButton*>(d.control(GetParam().button));
    ASSERT_TRUE(box && button);
    std::vector<double> pressed;
    button->onClick = [&] { pressed.push_back(now()); };
    box->setText("F1");
    // Another window has the focus, the desk is hidden.
    frmBeats.Show();
    beats().Text3.SetFocus();
    keys.tap(kF1);
    until(20);
    EXPECT_EQ(pressed, std::vector<double>{5});
    keys.press(kF1);
    until(36);
    keys.release(kF1);
    until(60);
    EXPECT_EQ(pressed, (std::vector<double>{5, 25, 30, 35}));
    // Every other key leaves it alone, F10 to F12 included.
    for (int vk = kF1 + 1; vk < kF1 + 12; ++vk) keys.tap(vk);
    until(80);
    EXPECT_EQ(pressed.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(EightBoxes, HotKeyTest,
                         ::testing::Values(HotKey{"Combo1", "Command14"}, HotKey{"Combo2", "Command15"},
                                           HotKey{"Combo3", "Command16"}, HotKey{"Combo4", "Command17"},
                                           HotKey{"Combo6", "Command24"}, HotKey{"Combo5", "Command25"},
                                           HotKey{"Combo7", "Command26"}, HotKey{"Combo8", "Command27"}),
                         [](const auto& info) { return std::string(info.param.box); });

TEST_F(LiveDeskTest, AHeldKeyReloadsItsSlotOnEveryPoll) {
    effect("live-hot.swf", 150);
    auto& d = desk();
    d.Text2 = "\\Effekts\\live-hot.swf";
    d.Combo1.setText("F5");
    keys.press(kF1 + 4);
    until(16);
    keys.release(kF1 + 4);
    until(40);
    const std::string load = "LoadMovie 0 " + app + "\\Effekts\\live-hot.swf";
    EXPECT_EQ(calls, (std::vector<Call>{{1, "LoadMovie 999 " + app + "/Dimmer/0.swf"}, {5, load}, {10, load}, {15, load}}));
    EXPECT_EQ(layerWidthPx(0), 150);
}

TEST_F(LiveDeskTest, OneKeyInTwoBoxesPressesBothButtons) {
    auto& d = desk();
    d.Text3 = "\\a.swf";
    d.Text4 = "\\b.swf";
    d.Text8.userEdit("2");
    d.Combo2.setText("F2");
    d.Combo3.setText("F2");
    calls.clear();
    keys.press(kF1 + 1);
    until(6);
    keys.release(kF1 + 1);
    until(20);
    EXPECT_EQ(callsSince(0), (Strings{"LoadMovie 0 " + app + "\\a.swf", "LoadMovie 2 " + app + "\\b.swf"}));
}

TEST_F(LiveDeskTest, OnlyBoxesNamingAnFKeyQueryTheKeyboardAndOnlyWhileTheDeskIsLoaded) {
    CountingKeyboard counting;
    platform::setKeyboard(&counting);
    auto& d = desk();
    d.Combo3.setText("Keine Taste");
    d.Combo4.setText("F4");
    until(100);
    EXPECT_EQ(counting.queries, (std::map<int, int>{{kF1 + 3, 20}}));  // one per 5 ms
    ASSERT_TRUE(Form5.Unload(0));
    counting.keys.press(kF1 + 3);
    until(200);
    EXPECT_EQ(counting.queries[kF1 + 3], 20);
    platform::setKeyboard(&keys);
}

TEST_F(LiveDeskTest, TheStrobeKeyHeldStrobesAtTheSpeedOfTheBar) {
    auto& d = desk();
    d.Combo5.setText("F12");
    d.HScroll1.setValue(50);
    calls.clear();
    keys.press(kF1 + 11);
    until(250);
    keys.release(kF1 + 11);
    until(400);
    // Pressed at 5: 50 ms wait, 35 ms flash; the next poll 5 ms after the press returned.
    EXPECT_EQ(calls, (std::vector<Call>{{55, "BackgroundColor 16777215"}, {90, "BackgroundColor 0"},
                                        {145, "BackgroundColor 16777215"}, {180, "BackgroundColor 0"},
                                        {235, "BackgroundColor 16777215"}, {270, "BackgroundColor 0"}}));
}

TEST_F(LiveDeskTest, ClosingTheDeskDuringAHotKeyStrobeEndsItBlackAndStopsTheKey) {
    auto& d = desk();
    d.Combo5.setText("F12");
    calls.clear();
    platform::LoopTimer close([&] {
        close.setEnabled(false);
        Form5.Unload(0);
    });
    close.setInterval(60);
    close.setEnabled(true);
    keys.press(kF1 + 11);
    until(400);
    // Pressed at 5, closed at 61 during the 100 ms wait: the flash still runs and ends.
    EXPECT_FALSE(Form5.isLoaded());
    EXPECT_EQ(calls, (std::vector<Call>{{105, "BackgroundColor 16777215"}, {140, "BackgroundColor 0"}}));
}

TEST_F(LiveDeskTest, TheProjectorButtonsActAsTheMainWindowsOwn) {
    auto& d = desk();
    frmBeats.Show();
    calls.clear();
    d.Command27.userClick();
    EXPECT_FALSE(Form1->ShockwaveFlash1.Visible());
    d.Command26.userClick();
    EXPECT_EQ(callsSince(0), (Strings{"Visible 0", "Visible 1"}));
}

class KickBassTest : public LiveDeskTest {
protected:
    KickBassTest() { frmBeats.Show(); }
    // One counted kick-bass, as the dispatcher counts it.
    Strings kick() {
        calls.clear();
        beats().Text1 = std::to_string(++count_);
        return callsSince(0);
    }
    int selected() {
        auto& d = Form5();
        return d.Option1.Value() + 2 * d.Option2.Value() + 4 * d.Option3.Value() + 8 * d.Option4.Value();
    }
    int count_ = 0;
};

TEST_F(KickBassTest, TheFirstBeatLoadsTheDeskHiddenAndItsFirstTickLoadsDimmerZero) {
    writeDimmers();
    EXPECT_FALSE(Form5.isLoaded());
    beats().beat = "100";  // the detector's line crossed
    advance(1);
    ASSERT_TRUE(Form5.isLoaded());
    EXPECT_FALSE(Form5->Visible());
    EXPECT_EQ(beats().Text1.Text(), "1");
    const double loaded = now();
    calls.clear();
    advance(1);
    EXPECT_EQ(calls, (std::vector<Call>{{loaded + 1, "LoadMovie 999 " + app + "/Dimmer/0.swf"}}));
    EXPECT_EQ(layerWidthPx(999), 100);
}

TEST_F(KickBassTest, LiveModeKicksPlayOrStopAndPlayByTurnsOrDoNothing) {
    auto& d = desk();
    EXPECT_EQ(kick(), Strings{});  // playlist mode, "Start" not pressed: nothing plays
    d.Check1.userClick();
    EXPECT_EQ(kick(), Strings{"Play"});
    EXPECT_EQ(kick(), Strings{"Play"});
    d.Option2.userClick();
    EXPECT_EQ(selected(), 2);
    EXPECT_EQ(kick(), Strings{});
    d.Option3.userClick();
    EXPECT_EQ(selected(), 4);
    EXPECT_EQ(kick(), Strings{"Stop"});
    EXPECT_EQ(kick(), Strings{"Play"});
    EXPECT_EQ(kick(), Strings{"Stop"});
    d.Option4.userClick();
    EXPECT_EQ(selected(), 8);
    EXPECT_EQ(kick(), Strings{});
    d.Option1.userClick();
    EXPECT_EQ(selected(), 1);
    d.Check1.userClick();
    EXPECT_EQ(kick(), Strings{});
}

}  // namespace
}  // namespace korvella_test
