// The beat dispatcher: counting, the lock, the long-bass filter and mute, and what it does after
// each beat to the idle effects and the DMXControl beat window.
#include <gtest/gtest.h>

#include "fixture.h"

namespace korvella_test {
namespace {

class DispatcherTest : public KorvellaTest {
protected:
    DispatcherTest() { frmBeats.Show(); }
    void on() { beats().beat = "100"; }
    void off() { beats().beat = "200"; }
    // One short kick: counted at the next tick, gone after 20 ms, then the lock runs out.
    void kick() {
        on();
        advance(20);
        off();
        advance(200);
    }
    std::vector<double> countTimes() {
        std::vector<double> t;
        beats().Text1.onChange = [this, &t] {
            t.push_back(now());
            beats().Text1_Change();
        };
        return t;
    }
};

TEST_F(DispatcherTest, ALongKickIsCountedOnceThroughTheLockAndItsAfterWindow) {
    auto& b = beats();
    EXPECT_EQ(b.Timer2.Interval(), 100);  // until HScroll1 first changes, while Text3 shows 85
    EXPECT_EQ(b.Text3.Text(), "85");
    on();
    advance(1);
    EXPECT_EQ(b.Text1.Text(), "1");
    EXPECT_TRUE(b.Timer2.Enabled());
    advance(99);
    EXPECT_EQ(b.Text1.Text(), "1");
    advance(1);  // 101: the lock ends after this tick of the dispatcher
    EXPECT_TRUE(b.Timeralf.Enabled());
    advance(1);  // 102: still above the line in the after-lock window: swallowed, locked again
    EXPECT_EQ(b.Text1.Text(), "1");
    EXPECT_TRUE(b.Timer2.Enabled());
    advance(400);
    EXPECT_EQ(b.Text1.Text(), "1");

    // Once below the line for the whole after-lock window, the next kick counts.
    off();
    advance(200);
    on();
    advance(1);
    EXPECT_EQ(b.Text1.Text(), "2");
}

TEST_F(DispatcherTest, WithoutTheFilterALongKickCountsAgainAfterTheLock) {
    auto& b = beats();
    b.Check4.setValue(0);
    std::vector<double> t;
    b.Text1.onChange = [&] {
        t.push_back(now());
        b.Text1_Change();
    };
    on();
    advance(250);
    EXPECT_EQ(t, (std::vector<double>{1, 102, 203}));
}

TEST_F(DispatcherTest, ABeatDuringTheLockIsNeitherCountedNorExtendsIt) {
    auto& b = beats();
    on();
    advance(1);
    off();
    advance(40);
    on();  // 41
    advance(59);
    EXPECT_EQ(b.Text1.Text(), "1");
    advance(1);  // 101
    EXPECT_FALSE(b.Timer2.Enabled());
    EXPECT_TRUE(b.Timeralf.Enabled());
}

TEST_F(DispatcherTest, TheLongBassMuteHoldsFor150MsAfterARisingEdge) {
    auto& b = beats();
    b.Check4.setValue(0);
    b.Check2.setValue(1);
    std::vector<double> t;
    b.Text1.onChange = [&] {
        t.push_back(now());
        b.Text1_Change();
    };
    on();  // 0: rising edge, Timer3 until 150
    advance(1);
    EXPECT_EQ(b.Text6.Text(), "NO");  // counted before the mirror turned
    off();
    advance(119);
    on();  // 120: a new edge does not push the mute back
    advance(40);
    EXPECT_EQ(t, (std::vector<double>{1, 151}));

    // Without the mute the same kick counts as soon as the lock is over.
    t.clear();
    b.Check2.setValue(0);
    off();
    advance(300);
    const double t0 = now();
    on();
    advance(1);
    off();
    advance(119);
    on();
    advance(2);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1] - t0, 121);
}

TEST_F(DispatcherTest, HScroll1SetsTheLockAndTheMuteWindow) {
    auto& b = beats();
    b.HScroll1.setValue(25);
    EXPECT_EQ(b.Timer2.Interval(), 25);
    EXPECT_EQ(b.Text3.Text(), "25");
    EXPECT_EQ(b.Timer3.Interval(), 75);
    b.Check4.setValue(0);
    std::vector<double> t;
    b.Text1.onChange = [&] {
        t.push_back(now());
        b.Text1_Change();
    };
    on();
    advance(60);
    EXPECT_EQ(t, (std::vector<double>{1, 27, 53}));
}

TEST_F(DispatcherTest, EveryNthBeatPressesManualBeatOnItsParent) {
    const platform::HWND parent = foreignWindow("ThunderRT6FormDC");
    windows().setStoredText(parent, "DMXC ManualBeat");  // what Form3's finder looks for
    const platform::HWND first = foreignWindow("ThunderRT6TextBox", parent);
    const platform::HWND button = foreignWindow("ThunderRT6CommandButton", parent);
    Form3->Check1.setValue(1);
    Form3->HScroll1.setValue(2);
    EXPECT_EQ(Form3->Label5.Caption(), "1");
    Form3->Label1.setCaption("DMXC ManualBeat window found");
    Form3->List1.AddItem(std::to_string(first));
    Form3->List1.AddItem(std::to_string(button));
    std::vector<double> presses;
    for (int i = 0; i < 5; ++i) {
        const double t0 = now();
        kick();
        for (const auto& m : sent)
            if (m.t > t0 && m.msg == platform::WM_COMMAND) {
                EXPECT_EQ(m.hwnd, parent);
                EXPECT_EQ(m.w, 0u);
                EXPECT_EQ(m.l, button);
                presses.push_back(i);
            }
    }
    EXPECT_EQ(presses, (std::vector<double>{0, 2, 4}));
    EXPECT_EQ(Form3->Label5.Caption(), "2");
}

TEST_F(DispatcherTest, WithoutABeatButtonTheCountdownGoesOnAndNothingIsPressed) {
    Form3->Check1.setValue(1);
    Form3->Label1.setCaption("DMXC ManualBeat window found");
    Form3->List1.AddItem(std::to_string(foreignWindow()));
    on();
    advance(1);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Form3->Label5.Caption(), "1");  // reloaded from N = 1
    EXPECT_TRUE(beats().Timer2.Enabled());    // the dispatcher went on to the lock
    // Not found: the countdown runs, nothing is sent; a countdown that is no number reads 0.
    Form3->Label1.setCaption("DMXC ManualBeat window not found...");
    Form3->Label5.setCaption("x");
    off();
    advance(200);
    kick();
    EXPECT_EQ(Form3->Label5.Caption(), "-1");
    EXPECT_TRUE(sent.empty());
}

TEST_F(DispatcherTest, EachBeatRestartsTheIdleCountdownWhenIdleEffectsAreOn) {
    Form2->leerlaufw.setEnabled(true);
    kick();
    EXPECT_FALSE(Form2->leerlauf.Enabled());
    EXPECT_FALSE(Form2->leerlaufw.Enabled());
    Form2->Check5.setValue(1);
    Form2->leerlaufw.setEnabled(true);
    on();
    advance(1);
    EXPECT_TRUE(Form2->leerlauf.Enabled());
    EXPECT_FALSE(Form2->leerlaufw.Enabled());
    // Swallowed beats restart it too: it has 10 s from the last one.
    advance(101);  // swallowed 101 ms after it was counted
    off();
    bool ticked = false;
    Form2->leerlauf.onTimer = [&] { ticked = true; };
    advance(9999);
    EXPECT_FALSE(ticked);
    advance(1);
    EXPECT_TRUE(ticked);
}

TEST_F(DispatcherTest, TheFirstBeatLoadsTheLiveDeskAndLiveModeOnlyLocks) {
    EXPECT_FALSE(Form5.isLoaded());
    kick();
    ASSERT_TRUE(Form5.isLoaded());
    EXPECT_FALSE(Form5->Visible());

    Form5->Check1.setValue(1);
    Form2->Check5.setValue(1);
    Form2->leerlaufw.setEnabled(true);
    Form3->Check1.setValue(1);
    on();
    advance(1);
    EXPECT_EQ(beats().Text1.Text(), "2");
    EXPECT_TRUE(Form2->leerlaufw.Enabled());
    EXPECT_FALSE(Form2->leerlauf.Enabled());
    EXPECT_EQ(Form3->Label5.Caption(), "1");
    EXPECT_TRUE(beats().Timer2.Enabled());
}

}  // namespace
}  // namespace korvella_test
