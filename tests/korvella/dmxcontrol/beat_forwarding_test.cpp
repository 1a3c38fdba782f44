// Every N-th kick-bass pressing DMXControl's ManualBeat button through the beat road, once the
// beat window has found DMXControl's window.
#include <gtest/gtest.h>

#include "dmxc_fixture.h"

namespace korvella_test {
namespace {

class BeatForwardingTest : public DmxcTest {
protected:
    BeatForwardingTest() {
        dmxc.openManualBeat();
        frmBeats.Show();  // loads Form3 at 0: its finder ticks at 500, 1000, ...
        Form3->Check1.setValue(1);
    }
    // One short kick, counted at the dispatcher's next tick; 220 ms from kick to kick.
    void kick() {
        beats().beat = "100";
        advance(20);
        beats().beat = "200";
        advance(200);
    }
};

TEST_F(BeatForwardingTest, EveryNthKickPressesTheBeatButtonOnceTheWindowIsFound) {
    auto& f = Form3();
    f.HScroll1.setValue(2);
    // Before the finder's first tick the status says not found: the countdown runs, no press.
    kick();
    EXPECT_EQ(f.Label5.Caption(), "2");
    advance(500 - static_cast<int>(now()));
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");

    const double t0 = now();
    for (int i = 0; i < 6; ++i) kick();
    // WM_COMMAND to the parent of List1 row 1, naming the button: kicks 2, 4 and 6.
    EXPECT_EQ(receivedSince(0), (std::vector<std::string>{"721 ManualBeat command beat", "1161 ManualBeat command beat",
                                                          "1601 ManualBeat command beat"}));
    EXPECT_EQ(dmxc.received()[0].wParam, 0u);
    EXPECT_EQ(windows().getWindowText(dmxc.bpmField()), "136");  // 60000 / 440 ms
    EXPECT_EQ(now() - t0, 6 * 220);

    // Forwarding off: the countdown stands still and nothing is pressed.
    f.Check1.setValue(0);
    kick();
    kick();
    EXPECT_EQ(dmxc.beats(), 3);
    EXPECT_EQ(f.Label5.Caption(), "2");
}

TEST_F(BeatForwardingTest, AVanishedOrIncompleteWindowGetsNothingAndTheBeatRoadGoesOn) {
    auto& f = Form3();
    advance(500);
    kick();
    EXPECT_EQ(dmxc.beats(), 1);

    // Closed between two ticks of the finder: the status still says found, the press goes to a
    // handle that is gone, and the dispatcher carries on to the lock.
    const auto stale = f.List1.List(1);
    dmxc.closeManualBeat();
    beats().beat = "100";
    advance(1);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");
    EXPECT_EQ(f.List1.List(1), stale);
    EXPECT_TRUE(beats().Timer2.Enabled());
    EXPECT_EQ(beats().Text1.Text(), "2");
    EXPECT_EQ(dmxc.received().size(), 1u);
    beats().beat = "200";

    // Opened again with its beat button gone: row 1 is empty, nothing to press.
    dmxc.openManualBeat();
    windows().destroy(dmxc.beatButton());
    windows().destroy(dmxc.resetButton());
    advance(1000 - static_cast<int>(now()));
    EXPECT_EQ(f.List1.ListCount(), 1);
    kick();
    EXPECT_EQ(dmxc.received().size(), 1u);
    EXPECT_EQ(f.Label5.Caption(), "1");
    EXPECT_EQ(beats().Text1.Text(), "3");
}

}  // namespace
}  // namespace korvella_test
