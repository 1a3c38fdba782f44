// Idle effects: the countdown restarted by every kick, one pass through the idle list with its
// waits, the repetition, the movie put back by the next kick, and the idle list file.
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

class IdleTest : public PlaylistTest {
protected:
    IdleTest() { beats().angeschaltet = "1"; }
    static std::string effect(const std::string& name, const std::string& path) {
        return name + std::string(50, ' ') + "|" + path;
    }
    std::vector<Call> loadsSince(double t) const {
        std::vector<Call> out;
        for (const auto& c : calls)
            if (c.t >= t && c.what.rfind("LoadMovie 0", 0) == 0) out.push_back({c.t - t, c.what.substr(12)});
        return out;
    }
};

TEST_F(IdleTest, TenSecondsWithoutAKickPlayTheIdleListOnceAndTheNextKickRestores) {
    auto& e = ed();
    const auto h = kommandoBox(2);
    e.List4.AddItem(effect("Eins", "/fx/1.swf"));
    e.List4.AddItem(effect("Zwei", "/fx/2.swf"));
    e.List4.AddItem("DMXC Blitz" + std::string(49, ' ') + "|1");
    Form1->ShockwaveFlash1.LoadMovie(0, "/fx/show.swf");

    kick();  // before Check5 nothing counts down
    EXPECT_FALSE(e.leerlauf.Enabled());
    e.Check5.setValue(1);
    const double before = now();
    kick();
    advance(4000);
    const double second = now();
    kick();  // a kick starts the countdown again
    advance(9000);
    EXPECT_TRUE(loadsSince(before).empty());
    const double T = second + 1 + 10000;  // the kick is counted at the next millisecond
    while (now() < T + 1000) advance(100);
    EXPECT_EQ(loadsSince(T), (std::vector<Call>{{0, "/fx/1.swf"}, {210, "/fx/2.swf"}}));
    using M = std::vector<std::pair<double, platform::UINT>>;
    EXPECT_EQ(received(h[1]), (M{{T + 480, platform::WM_LBUTTONDOWN}, {T + 500, platform::WM_LBUTTONDOWN},
                                 {T + 600, platform::WM_LBUTTONUP}, {T + 620, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(received(h[0]), M{});
    EXPECT_FALSE(e.leerlauf.Enabled());
    EXPECT_FALSE(e.leerlaufw.Enabled());
    EXPECT_EQ(e.Text10.Text(), "/fx/show.swf");

    const double k = now();
    kick();
    EXPECT_EQ(loadsSince(k), (std::vector<Call>{{1, "/fx/show.swf"}}));
    EXPECT_EQ(e.Text10.Text(), "");
    EXPECT_TRUE(e.leerlauf.Enabled());
}

TEST_F(IdleTest, ScrollBarsSetTheTimesAndTheRepetitionRunsUntilAKick) {
    auto& e = ed();
    e.HScroll1.setValue(3);
    e.HScroll2.setValue(4);
    EXPECT_EQ(e.Label14.Caption(), "3 Sekunden");
    EXPECT_EQ(e.Label15.Caption(), "4 Sekunden");
    EXPECT_EQ(e.leerlauf.Interval(), 3000);
    EXPECT_EQ(e.leerlaufw.Interval(), 4000);
    e.List4.AddItem(effect("Eins", "/fx/1.swf"));
    e.Check5.setValue(1);
    e.Check4.setValue(1);
    const double before = now();
    kick();
    advance(3000 + 3 * 4000 + 400);
    // The entry pass at 3 s after the kick; the repeat timer keeps its 4 s beat, as a repeat
    // pass of one item (210 ms) is shorter than its interval.
    const double T = 1 + 3000;
    EXPECT_EQ(loadsSince(before), (std::vector<Call>{{T, "/fx/1.swf"},
                                                     {T + 4000, "/fx/1.swf"},
                                                     {T + 2 * 4000, "/fx/1.swf"},
                                                     {T + 3 * 4000, "/fx/1.swf"}}));
    e.Check5.setValue(0);
    kick();  // stops both; with the idle effects off nothing counts down again
    const double k = now();
    advance(20000);
    EXPECT_TRUE(loadsSince(k).empty());
}

TEST_F(IdleTest, BrokenItemsStillTakeTheirTimeAndAnEmptyListOnlyStoresTheMovie) {
    auto& e = ed();
    e.List4.AddItem("Bild.jpg");
    e.List4.AddItem("DMXC Weg" + std::string(49, ' ') + "|abc");
    e.List4.AddItem("DMXC Fehlt" + std::string(49, ' ') + "|9");
    e.Check4.setValue(1);
    Form1->ShockwaveFlash1.LoadMovie(0, "/fx/show.swf");
    const double t = now();
    const std::size_t before = calls.size();
    e.leerlauf_Timer();
    EXPECT_EQ(now() - t, 210 + 350 + 350);
    EXPECT_EQ(calls.size(), before);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(e.leerlaufw.Enabled());

    e.List4.Clear();
    e.leerlaufw.setEnabled(false);
    e.Check4.setValue(0);
    e.leerlauf.setEnabled(true);
    Form1->ShockwaveFlash1.LoadMovie(0, "/fx/zwei.swf");
    const double u = now();
    e.leerlauf_Timer();
    EXPECT_EQ(now(), u);
    EXPECT_EQ(e.Text10.Text(), "/fx/zwei.swf");
    EXPECT_FALSE(e.leerlauf.Enabled());
    EXPECT_FALSE(e.leerlaufw.Enabled());
}

TEST_F(IdleTest, TheIdleListFileKeepsEveryRowAndIsReadAtLoad) {
    auto& e = ed();
    EXPECT_EQ(e.List4.ListCount(), 0);  // no file yet
    const std::vector<std::string> items{effect("Grün, \"hell\"", "/fx/g.swf"), "DMXC A" + std::string(49, ' ') + "|0"};
    for (const auto& i : items) e.List4.AddItem(i);
    e.Command16.setValue(true);
    EXPECT_EQ(fileText(home / "Leerlaufliste.lrlst"),
              "Gr\xFCn, \"hell\"" + std::string(50, ' ') + "|/fx/g.swf\r\nDMXC A" + std::string(49, ' ') + "|0\r\n");
    Form2.discard();
    EXPECT_EQ(ed().List4.items(), items);

    // Names holding "_", umlauts or even the separator itself keep their values.
    const std::vector<std::string> odd{effect("Straße_1", "/fx/Straße_1.swf"),
                                       "DMXC Grün        |rot" + std::string(49, ' ') + "|1"};
    ed().List4.Clear();
    for (const auto& i : odd) ed().List4.AddItem(i);
    ed().Command16.setValue(true);
    Form2.discard();
    EXPECT_EQ(ed().List4.items(), odd);
    const auto h = kommandoBox(2);
    const double t = now();
    ed().leerlauf.onTimer();
    EXPECT_EQ(loadsSince(t), (std::vector<Call>{{0, "/fx/Straße_1.swf"}}));
    EXPECT_EQ(received(h[1]).size(), 4u);
    EXPECT_TRUE(received(h[0]).empty());

    // Items the code page cannot hold are named by their display part; every item is saved.
    ed().List4.Clear();
    ed().List4.AddItem(effect("Łódź", "/fx/Łódź.swf"));
    ed().List4.AddItem(effect("Gut", "/fx/gut.swf"));
    ed().Command16.setValue(true);
    EXPECT_EQ(fileText(home / "Leerlaufliste.lrlst"),
              "?\xF3" "d?" + std::string(50, ' ') + "|/fx/?\xF3" "d?.swf\r\nGut" + std::string(50, ' ') + "|/fx/gut.swf\r\n");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "Diese Einträge enthalten Zeichen, die die Datei nicht speichern kann; sie wurden "
                                          "mit \"?\" an deren Stelle gespeichert:\r\n" + home.string() +
                                          "/Leerlaufliste.lrlst\r\n\r\nEintrag 1: Łódź");
    dialogs.clear();

    // A file that cannot be written is reported; the program goes on.
    std::filesystem::remove(home / "Leerlaufliste.lrlst");
    std::filesystem::create_directories(home / "Leerlaufliste.lrlst");
    ed().Command16.setValue(true);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    Form2.discard();
    EXPECT_EQ(ed().List4.ListCount(), 0);
}

TEST_F(IdleTest, AnIdleListLargerThanAnyRealOneIsNotReadAtLoad) {
    ed();
    {
        std::ofstream(home / "Leerlaufliste.lrlst", std::ios::binary) << "Blitz" << std::string(50, ' ') << "|/fx/b.swf\r\n";
    }
    std::filesystem::resize_file(home / "Leerlaufliste.lrlst", 17u << 20);
    Form2.discard();
    EXPECT_EQ(ed().List4.ListCount(), 0);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "Die Leerlauf Effekte konnten nicht geladen werden:\r\n" + home.string() +
                                              "/Leerlaufliste.lrlst\r\n\r\nFile too large: more than 16 MB");
}

}  // namespace
}  // namespace playlist_test
