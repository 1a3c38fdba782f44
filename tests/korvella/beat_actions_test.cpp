// What each counted beat does: the DMXControl press sequence, the three playlist modes, the live
// desk's options and the movie restored after the idle effects.
#include <gtest/gtest.h>

#include <map>

#include "fixture.h"

namespace korvella_test {
namespace {

class BeatActionsTest : public KorvellaTest {
protected:
    BeatActionsTest() {
        frmBeats.Show();
        beats().angeschaltet = "1";
    }
    void beat() { beats().Text1 = std::to_string(++count_); }
    int count_ = 0;
};

class PressSequenceTest : public BeatActionsTest, public ::testing::WithParamInterface<int> {};

TEST_P(PressSequenceTest, UpToFourButtonsPerBeat) {
    const int n = GetParam();
    std::map<platform::HWND, int> item;
    for (int i = 0; i < n; ++i) {
        const platform::HWND h = foreignWindow();
        item[h] = i;
        Form2->HandleDMXC.AddItem(std::to_string(h));
    }
    const double t0 = now();
    beat();
    EXPECT_EQ(callsSince(t0), std::vector<std::string>{"Play"});
    double stopped = -1;
    bool ran = beats().timerrofl.Enabled();
    while (now() - t0 < 700) {
        advance(1);
        if (ran && stopped < 0 && !beats().timerrofl.Enabled()) stopped = now() - t0;
    }
    std::vector<std::pair<int, double>> downs, ups;
    for (const auto& m : sent) {
        EXPECT_EQ(m.w, 0u);
        EXPECT_EQ(m.l, 0);
        (m.msg == platform::WM_LBUTTONDOWN ? downs : ups).push_back({item[m.hwnd], m.t - t0});
    }
    const std::vector<std::pair<int, double>> allDowns{{0, 0}, {1, 110}, {2, 220}, {3, 330}};
    const std::vector<std::pair<int, double>> allUps{{0, 60}, {1, 170}, {2, 340}, {3, 510}};
    const std::size_t pressed = static_cast<std::size_t>(std::min(n, 4));
    const std::vector<std::pair<int, double>> expectedDowns(allDowns.begin(), allDowns.begin() + pressed);
    EXPECT_EQ(downs, expectedDowns);
    std::vector<std::pair<int, double>> expectedUps(allUps.begin(), allUps.begin() + pressed);
    std::sort(expectedUps.begin(), expectedUps.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_EQ(ups, expectedUps);
    // timerrofl stops on the tick after the last item: 110 x n for n <= 4, its sixth tick for six.
    EXPECT_EQ(ran, n >= 2);
    if (ran) {
        EXPECT_EQ(stopped, 110.0 * n);
    }
    EXPECT_EQ(beats().zehlen.Text(), "1");
}

INSTANTIATE_TEST_SUITE_P(Buttons, PressSequenceTest, ::testing::Values(1, 2, 3, 4, 5, 6));

TEST_F(BeatActionsTest, TheNextBeatStartsAgainWithItemZeroAndOne) {
    std::vector<platform::HWND> h;
    for (int i = 0; i < 4; ++i) {
        h.push_back(foreignWindow());
        Form2->HandleDMXC.AddItem(std::to_string(h.back()));
    }
    beat();
    advance(600);
    sent.clear();
    const double t0 = now();
    beat();
    advance(115);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].hwnd, h[0]);
    EXPECT_EQ(sent[0].t, t0);
    EXPECT_EQ(sent[2].hwnd, h[1]);
    EXPECT_EQ(sent[2].msg, platform::WM_LBUTTONDOWN);
    EXPECT_EQ(sent[2].t - t0, 110);
}

TEST_F(BeatActionsTest, AHandleThatIsNoNumberOrNoListPressesNothingButTheBeatGoesOn) {
    beat();
    EXPECT_TRUE(beats().timerre.Enabled());
    EXPECT_EQ(callsSince(0), std::vector<std::string>{"Play"});
    Form2->HandleDMXC.AddItem("abc");
    Form2->HandleDMXC.AddItem(std::to_string(foreignWindow()));
    Form2->online = "1";
    beat();
    EXPECT_EQ(Form2->Text4.Text(), "1");
    EXPECT_TRUE(beats().timerrofl.Enabled());
    advance(700);
    ASSERT_EQ(sent.size(), 2u);  // item 1 only, down and up
    // A window that is gone: the message goes nowhere.
    windows().destroy(sent[0].hwnd);
    sent.clear();
    beat();
    advance(700);
    EXPECT_TRUE(sent.empty());
}

TEST_F(BeatActionsTest, StartStopPauseAlternatesAndCountsWhileOnline) {
    beats().beatschalt = "1";
    Form2->online = "1";
    for (int i = 0; i < 3; ++i) beat();
    EXPECT_EQ(callsSince(0), (std::vector<std::string>{"Play", "Stop", "Play"}));
    EXPECT_EQ(Form2->Text4.Text(), "3");
    EXPECT_EQ(beats().drehen.Text(), "0");
    EXPECT_EQ(beats().Text7.Text(), "Laut gerade");
    // "Reset" counts as a kick in this mode.
    beats().Command2.setValue(true);
    EXPECT_EQ(callsSince(0).back(), "Stop");
    Form2->online = "0";
    beat();
    EXPECT_EQ(Form2->Text4.Text(), "4");
}

TEST_F(BeatActionsTest, WarteOnlyCountsWhileOnline) {
    beats().nobass = "1";
    beat();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Form2->Text4.Text(), "0");
    Form2->online = "1";
    beat();
    beats().Command2.setValue(true);
    EXPECT_EQ(Form2->Text4.Text(), "2");
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(beats().timerre.Enabled());
}

TEST_F(BeatActionsTest, AfterStopOrOnResetTheThirdModeDoesNothing) {
    Form2->HandleDMXC.AddItem(std::to_string(foreignWindow()));
    beats().angeschaltet = "0";
    beats().Text7 = "";
    beat();
    EXPECT_EQ(beats().Text7.Text(), "Laut gerade");
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(sent.empty());
    beats().angeschaltet = "1";
    beats().Command2.setValue(true);  // "0"
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(sent.empty());
}

TEST_F(BeatActionsTest, LiveModeFollowsTheDesksOptions) {
    Form5->Check1.setValue(1);
    Form2->HandleDMXC.AddItem(std::to_string(foreignWindow()));
    beat();
    beat();
    EXPECT_EQ(callsSince(0), (std::vector<std::string>{"Play", "Play"}));
    Form5->Option3.setValue(true);
    calls.clear();
    beat();
    beat();
    beat();
    EXPECT_EQ(callsSince(0), (std::vector<std::string>{"Stop", "Play", "Stop"}));
    EXPECT_EQ(beats().Text10.Text(), "1");
    Form5->Option2.setValue(true);
    calls.clear();
    beat();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Form2->Text4.Text(), "0");
}

TEST_F(BeatActionsTest, TheIdleEffectsMovieComesBackOnTheNextBeatInEveryMode) {
    Form2->Text10 = "/effects/Puls.swf";
    beat();
    EXPECT_EQ(callsSince(0), (std::vector<std::string>{"LoadMovie 0 /effects/Puls.swf", "Play"}));
    EXPECT_EQ(Form2->Text10.Text(), "");
    calls.clear();
    beat();
    EXPECT_EQ(callsSince(0), std::vector<std::string>{"Play"});
    // In live mode, and on "Reset".
    Form5->Check1.setValue(1);
    Form5->Option2.setValue(true);
    Form2->Text10 = "/effects/Ringe.jpg";
    calls.clear();
    beats().Command2.setValue(true);
    EXPECT_EQ(callsSince(0), std::vector<std::string>{"LoadMovie 0 /effects/Ringe.jpg"});
}

}  // namespace
}  // namespace korvella_test
