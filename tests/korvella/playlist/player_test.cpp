// The playlist player: one entry per tick, the timed and counted entries with the flags they set
// for the per-beat actions, the end of a movie, DMXControl sets, zoom runs and the list's end.
#include "platform/loop/eventloop.h"
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

class PlayerTest : public PlaylistTest {
protected:
    PlayerTest() {
        beats().angeschaltet = "1";
        ed();
    }
    // Records every change of a text box as "name=text" at its virtual time.
    void watch(forms::TextBox& box) {
        box.onChange = [this, &box] { changes.push_back({now() - t0, box.name() + "=" + box.Text()}); };
    }
    void start() {
        t0 = now();
        ed().Timer1A.setEnabled(true);
    }
    std::vector<Call> player(const std::string& prefix = "") const {
        std::vector<Call> out;
        for (const auto& c : calls)
            if (c.what.rfind(prefix, 0) == 0) out.push_back({c.t - t0, c.what});
        return out;
    }
    double t0 = 0;
    std::vector<Call> changes;
};

TEST_F(PlayerTest, StepsOneEntryPerTickAndStaysPastTheEndWithTheSecondOption) {
    const std::string a = movie("A.swf", 2), b = movie("B.swf", 2);
    setRows({{"A", a}, {"Beamer Effekt entladen", ""}, {"Zoom in", ""}, {"B", b}, {"DMXC entladen", ""}});
    ed().HandleDMXC.AddItem("123");
    ed().Option2.setValue(true);
    start();
    advance(8);
    // Past the end the last effect stays: nothing more is loaded.
    EXPECT_EQ(player("Load"), (std::vector<Call>{{1, "LoadMovie 0 " + a}, {2, "LoadMovie 0 0"}, {4, "LoadMovie 0 " + b}}));
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), b);
    EXPECT_TRUE(Form1->ShockwaveFlash1.player().hasLayer(0));
    EXPECT_EQ(ed().HandleDMXC.ListCount(), 0);
    EXPECT_EQ(ed().Text3.Text(), "5");
    EXPECT_EQ(ed().List1.ListIndex(), 4);  // past the end the last mark stays

    // "Zoom in": ten steps 15 ms apart from its tick at 3 ms, then the run ends by itself.
    advance(200);
    std::vector<Call> zooms;
    for (int k = 1; k <= 10; ++k) zooms.push_back({3 + 15.0 * k, "Zoom 98"});
    EXPECT_EQ(player("Zoom"), zooms);
    EXPECT_FALSE(ed().zoomin.Enabled());
    EXPECT_EQ(ed().zoom1.Text(), "0");
}

// An empty row matches no keyword: a movie-less entry, passed over in its tick.
TEST_F(PlayerTest, AnEmptyRowIsPassedOverInItsTick) {
    const std::string a = movie("A.swf", 2), b = movie("B.swf", 2);
    setRows({{"A", a}, {"", ""}, {"B", b}});
    ed().Option2.setValue(true);
    start();
    advance(6);
    EXPECT_EQ(player("Load"), (std::vector<Call>{{1, "LoadMovie 0 " + a}, {3, "LoadMovie 0 " + b}}));
    EXPECT_EQ(ed().Text3.Text(), "3");
}

TEST_F(PlayerTest, ZoomBackToStandardTakesFourteenStepsAndAFinalJump) {
    ed().zoomout2.setEnabled(true);
    t0 = now();
    advance(15 * 15);
    std::vector<Call> expected;
    for (int k = 1; k <= 14; ++k) expected.push_back({15.0 * k, "Zoom 130"});
    expected.push_back({225, "Zoom 900"});
    EXPECT_EQ(player("Zoom"), expected);
    EXPECT_FALSE(ed().zoomout2.Enabled());
    ed().zoomout.setEnabled(true);
    advance(15 * 11);
    EXPECT_EQ(player("Zoom 103").size(), 10u);
}

TEST_F(PlayerTest, TimedEntriesHoldTheListAndSetTheFlags) {
    setRows({{"Warte Millisekunden 100", ""}, {"StartStop-Pause Millisekunden 50", ""},
             {"Beaterkennung-Pause Millisekunden 30", ""}, {"Zoom out", ""}});
    ed().Option2.setValue(true);
    watch(beats().beatschalt), watch(beats().nobass), watch(ed().Text3);
    start();
    advance(200);
    EXPECT_EQ(changes, (std::vector<Call>{{1, "beatschalt=0"}, {1, "nobass=1"}, {101, "Text3=1"}, {101, "nobass=0"},
                                          {102, "beatschalt=1"}, {152, "Text3=2"}, {152, "beatschalt=0"},
                                          {183, "Text3=3"}, {184, "Text3=4"}}));
    const auto zooms = player("Zoom");
    ASSERT_FALSE(zooms.empty());
    EXPECT_EQ(zooms[0], (Call{199, "Zoom 103"}));
}

TEST_F(PlayerTest, KicksDuringATimedPauseStillPressAndPlay) {
    setRows({{"Beaterkennung-Pause Millisekunden 200", ""}});
    ed().Option2.setValue(true);
    const platform::HWND button = foreignWindow();
    ed().HandleDMXC.AddItem(std::to_string(button));
    int count = 0;
    platform::LoopTimer beat([&] { beats().Text1 = std::to_string(++count); });
    beat.setInterval(70);
    start();
    beat.setEnabled(true);
    advance(1);  // the whole wait runs inside this tick
    beat.setEnabled(false);
    EXPECT_EQ(now() - t0, 201);
    EXPECT_EQ(player("Play"), (std::vector<Call>{{70, "Play"}, {140, "Play"}}));
    EXPECT_EQ(received(button), (std::vector<std::pair<double, platform::UINT>>{
                                    {t0 + 70, platform::WM_LBUTTONDOWN}, {t0 + 130, platform::WM_LBUTTONUP},
                                    {t0 + 140, platform::WM_LBUTTONDOWN}, {t0 + 200, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(ed().Text3.Text(), "1");
}

TEST_F(PlayerTest, CountedEntriesWaitForTheirKicks) {
    setRows({{"Warte Kickbässe 3", ""}, {"StartStop-Pause Kickbässe 2", ""}, {"Beaterkennung-Pause Kickbässe 1", ""}});
    auto& e = ed();
    auto state = [&] {
        return e.Text3.Text() + " " + e.Text4.Text() + " online " + e.online.Text() + " nobass " + beats().nobass.Text() +
               " beatschalt " + beats().beatschalt.Text();
    };
    start();
    advance(5);
    EXPECT_EQ(state(), "0 0 online 1 nobass 1 beatschalt 0");
    kick();
    kick();
    EXPECT_EQ(state(), "0 2 online 1 nobass 1 beatschalt 0");
    EXPECT_TRUE(player("Play").empty());  // "Warte": kicks only count
    kick();
    EXPECT_EQ(state(), "1 0 online 1 nobass 0 beatschalt 1");
    const double t1 = now() - t0;
    kick();
    kick();
    EXPECT_EQ(player("Play").size() + player("Stop").size(), 2u);
    EXPECT_EQ(player().back().what, "Stop");
    EXPECT_GT(player().back().t, t1);
    EXPECT_EQ(state(), "2 0 online 1 nobass 0 beatschalt 0");
    kick();  // pressing mode: plays, counts and the list starts again ("Wiederholen")
    EXPECT_EQ(player().back().what, "Play");
    EXPECT_EQ(state(), "0 0 online 1 nobass 1 beatschalt 0");

    // A count already beyond N, and a number that cannot be read, end the entry at once.
    e.Text4 = "5";
    advance(1);
    EXPECT_EQ(e.Text3.Text(), "1");
    e.List1.setList(2, "Beaterkennung-Pause Kickbässe");
    e.Text4 = "x";
    advance(1);
    EXPECT_EQ(e.Text3.Text() + " " + e.Text4.Text(), "2 0");
    advance(1);
    EXPECT_EQ(e.Text3.Text(), "3");
}

TEST_F(PlayerTest, TheEndOfTheMovieMovesTheListOnAndMarksEvenWithCheck8) {
    const std::string m = movie("M.swf", 5, 10);  // frames 100 ms apart, the last one 400 ms in
    setRows({{"M", m}, {"Effektwechsel wenn Effekt zuende ist", ""}, {"Zoom in", ""}});
    ed().Option2.setValue(true);
    ed().Check8.setValue(1);
    watch(beats().angeschaltet), watch(ed().Text3);
    start();
    advance(510);
    EXPECT_EQ(changes, (std::vector<Call>{{1, "Text3=1"}, {101, "angeschaltet=0"}, {401, "Text3=2"},
                                          {401, "angeschaltet=1"}, {402, "Text3=3"}}));
    EXPECT_EQ(player("Play"), (std::vector<Call>{{101, "Play"}, {201, "Play"}, {301, "Play"}, {401, "Play"}}));
    EXPECT_EQ(ed().List1.ListIndex(), 2);
    // Past the end the last movie stays and goes on running.
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), m);
    EXPECT_EQ(ed().Text5.Text(), "0");
}

TEST_F(PlayerTest, DmxcEntriesPressTheirButtonsAndSetsGrowWithPlus) {
    const auto h = kommandoBox(3);
    setRows({{"DMXC Blitz", "1"}, {"+DMXC Strobe", "2"}});
    ed().Option2.setValue(true);
    start();
    advance(300);
    using M = std::vector<std::pair<double, platform::UINT>>;
    EXPECT_EQ(received(h[0]), M{});
    EXPECT_EQ(received(h[1]), (M{{t0 + 1, platform::WM_LBUTTONDOWN}, {t0 + 1, platform::WM_LBUTTONUP},
                                 {t0 + 2, platform::WM_LBUTTONDOWN}, {t0 + 2, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(received(h[2]), (M{{t0 + 112, platform::WM_LBUTTONDOWN}, {t0 + 172, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(ed().HandleDMXC.items(), (std::vector<std::string>{std::to_string(h[1]), std::to_string(h[2])}));
}

TEST_F(PlayerTest, KeywordsDecideInTheirOrder) {
    kommandoBox(2);
    struct Case {
        std::string text, value;
        std::string loaded;  // the movie loaded, "-" for none
        int handles;         // HandleDMXC afterwards (it held one row before)
        bool zoom;
    };
    const Case cases[] = {
        {"DMXC entladen", "", "-", 0, false},
        {"Mein DMXC Film", "/x/film.swf", "-", 0, false},
        {"+DMXC a", "1", "-", 2, false},
        {"DMXC b", "abc", "-", 0, false},
        {"Zoom into", "", "-", 1, true},
        {"WarteKickbässe 3", "/x/w.swf", "/x/w.swf", 1, false},
        {"", "", "-", 1, false},  // no movie to load: the projector keeps its picture
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ed().Timer1A.setEnabled(false);
        ed().zoomin.setEnabled(false);
        ed().List1.Clear(), ed().List2.Clear();
        setRows({{c.text, c.value}});
        ed().HandleDMXC.Clear();
        ed().HandleDMXC.AddItem("0");
        ed().Option2.setValue(true);
        ed().Text3 = "0";
        calls.clear();
        start();
        advance(1);
        EXPECT_EQ(ed().Text3.Text(), "1");
        const auto loads = player("LoadMovie");
        EXPECT_EQ(loads.empty() ? "-" : loads[0].what.substr(12), c.loaded);
        EXPECT_EQ(ed().HandleDMXC.ListCount(), c.handles);
        EXPECT_EQ(ed().zoomin.Enabled(), c.zoom);
    }
}

TEST_F(PlayerTest, WithNothingToPlayTheProjectorKeepsWhatTheIdleEffectsLoad) {
    const std::string idle = movie("Idle.swf", 50), last = movie("Last.swf", 50);
    auto& e = ed();
    e.List4.AddItem("Idle" + std::string(50, ' ') + "|" + idle);
    e.Check5.setValue(1);
    e.HScroll1.setValue(3);
    // An empty playlist with "Wiederholen": the idle effect loads and stays.
    start();
    kick();
    advance(3000 + 100);
    EXPECT_EQ(player("LoadMovie 0"), (std::vector<Call>{{1 + 3000, "LoadMovie 0 " + idle}}));
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), idle);
    EXPECT_TRUE(Form1->ShockwaveFlash1.player().hasLayer(0));

    // Past the end with "Lezten Effekt dauerhaft wiederholen": the last effect, then the idle one.
    e.Timer1A.setEnabled(false);
    setRows({{"Last", last}});
    e.Text3 = "0";
    e.Option2.setValue(true);
    calls.clear();
    start();
    advance(5);
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), last);
    kick();
    advance(3000 + 100);
    EXPECT_EQ(player("LoadMovie 0"), (std::vector<Call>{{1, "LoadMovie 0 " + last}, {5 + 1 + 3000, "LoadMovie 0 " + idle}}));
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), idle);
    EXPECT_TRUE(Form1->ShockwaveFlash1.player().hasLayer(0));
    EXPECT_EQ(e.Text3.Text(), "1");
}

TEST_F(PlayerTest, TheListsEndAndAnUnreadableIndex) {
    // An empty list with "Wiederholen": every tick runs the missing entry, which loads nothing,
    // and moves to "1".
    start();
    advance(3);
    EXPECT_EQ(player(), std::vector<Call>{});
    EXPECT_EQ(ed().Text3.Text(), "1");
    // Text that is no index counts as past the end.
    setRows({{"Zoom out", ""}});
    ed().Text3 = "zwei";
    advance(1);
    EXPECT_EQ(ed().Text3.Text(), "1");
    EXPECT_TRUE(ed().zoomout.Enabled());
    ed().zoomout.setEnabled(false);
    ed().Option2.setValue(true);
    ed().Text3 = "zwei";
    calls.clear();
    advance(1);
    EXPECT_EQ(ed().Text3.Text(), "zwei");
    EXPECT_EQ(player(), std::vector<Call>{});
}

TEST_F(PlayerTest, StopDuringAWaitFinishesTheRunningEntryOnly) {
    setRows({{"Warte Millisekunden 100", ""}, {"Zoom in", ""}});
    platform::LoopTimer stop([&] { beats().Command3.setValue(true); });
    stop.setInterval(50);
    start();
    stop.setEnabled(true);
    advance(1);
    stop.setEnabled(false);
    advance(50);
    EXPECT_EQ(ed().Text3.Text(), "1");
    EXPECT_EQ(beats().nobass.Text(), "0");
    EXPECT_FALSE(ed().zoomin.Enabled());
    EXPECT_EQ(beats().angeschaltet.Text(), "0");
}

}  // namespace
}  // namespace playlist_test
