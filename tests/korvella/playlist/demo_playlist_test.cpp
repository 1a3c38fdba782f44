// The delivered demo playlist: installed into the program folder beside the sample effects, it
// loads in the editor and shows every sample effect in turn, each held for its kick-basses.
#include "platform/storage/files.h"
#include "player/assets.h"
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

#ifdef KORVELLA_ASSETS_DIR
class DemoPlaylistTest : public PlaylistTest {
protected:
    // The effect entries loaded so far, by name.
    std::vector<std::string> loaded() const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            const auto slash = c.what.find_last_of('\\');
            if (c.what.rfind("LoadMovie 0 ", 0) == 0 && slash != std::string::npos) out.push_back(c.what.substr(slash + 1));
        }
        return out;
    }
    int count(const std::string& what) const {
        int n = 0;
        for (const auto& c : calls) n += c.what == what;
        return n;
    }
};

TEST_F(DemoPlaylistTest, LoadsFromTheProgramFolderAndShowsEachSampleEffectForItsKickBasses) {
    ASSERT_EQ(player::installAssets(home.string(), KORVELLA_ASSETS_DIR), 26 + 5 + 1);
    dialogs.pushFile((home / "Demo.bpl").string());
    ed().Command6.setValue(true);
    const Rows r = rows();
    ASSERT_EQ(r.size(), 10u);
    for (std::size_t i = 0; i < r.size(); i += 2) {
        EXPECT_EQ(r[i].second.rfind(home.string() + "\\Effekts\\", 0), 0u) << r[i].first;
        EXPECT_TRUE(platform::fileExists(r[i].second)) << r[i].second;
    }
    EXPECT_EQ(r[1].first, "Warte Kickbässe 8");
    EXPECT_EQ(r[3].first, "Beaterkennung-Pause Kickbässe 16");
    EXPECT_EQ(r[5].first, "StartStop-Pause Kickbässe 8");
    EXPECT_TRUE(ed().Option1.Value()) << "the list starts again at its end";

    beats().angeschaltet = "1";
    ed().Timer1A.setEnabled(true);
    advance(5);
    EXPECT_EQ(loaded(), (std::vector<std::string>{"Puls.swf"}));
    std::vector<std::pair<int, std::string>> changes;  // kick count, effect
    std::size_t seen = 1;
    int plays = 0, stops = 0;
    for (int k = 1; k <= 48; ++k) {
        const int playsBefore = count("Play"), stopsBefore = count("Stop");
        kick();
        if (k > 8 && k <= 24) plays += count("Play") - playsBefore;
        if (k > 24 && k <= 32) stops += count("Stop") - stopsBefore;
        for (; seen < loaded().size(); ++seen) changes.push_back({k, loaded()[seen]});
    }
    EXPECT_EQ(changes, (std::vector<std::pair<int, std::string>>{
                           {8, "Schritte.swf"}, {24, "Balken.swf"}, {32, "Farbkreis.swf"}, {40, "Ringe.jpg"}, {48, "Puls.swf"}}));
    EXPECT_GE(plays, 15) << "the steps go on with the kick-basses";
    EXPECT_GE(stops, 4) << "the bars stop and go with the kick-basses";
}
#endif

}  // namespace
}  // namespace playlist_test
