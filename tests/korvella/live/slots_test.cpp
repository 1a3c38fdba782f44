// The quick-load slots, the effect list and the effect advance of the live desk.
#include <gtest/gtest.h>

#include "forms/conv.h"
#include "live_fixture.h"

namespace korvella_test {
namespace {

using Strings = std::vector<std::string>;

class SlotsTest : public LiveDeskTest {
protected:
    void choose(const std::string& file) {
        auto& f = Form5->File1;
        const auto& rows = f.items();
        const auto it = std::find(rows.begin(), rows.end(), file);
        ASSERT_NE(it, rows.end()) << file;
        f.userClickRow(static_cast<int>(it - rows.begin()));
    }
    Strings callsAfter(const std::function<void()>& act) {
        const double t0 = now();
        const std::size_t n = calls.size();
        act();
        EXPECT_EQ(now(), t0);  // nothing here waits
        Strings out;
        for (std::size_t i = n; i < calls.size(); ++i) out.push_back(calls[i].what);
        return out;
    }
};

TEST_F(SlotsTest, AChosenEffectIsStoredRelativeToTheProgramFolderAndLoadedIntoTheSlotsLayer) {
    effect("live-a.swf", 321);
    effect("live-sub/live-b.swf");
    auto& d = desk();
    choose("live-a.swf");
    d.Command11.userClick();
    EXPECT_EQ(d.Text3.Text(), "\\Effekts\\live-a.swf");
    EXPECT_EQ(d.Text3.SelStart(), vb::Len(d.Text3.Text()));
    d.Text7.userEdit("3");
    EXPECT_EQ(callsAfter([&] { d.Command15.userClick(); }), Strings{"LoadMovie 3 " + app + "\\Effekts\\live-a.swf"});
    EXPECT_EQ(layerWidthPx(3), 321);

    // A sub-folder stays in the path; with no file chosen only the folder is stored.
    d.Dir1.setPath(app + "\\Effekts\\live-sub");
    EXPECT_EQ(d.File1.Path(), d.Dir1.Path());
    d.Command13.userClick();
    EXPECT_EQ(d.Text5.Text(), "\\Effekts\\live-sub\\");
    choose("live-b.swf");
    d.Command12.userClick();
    EXPECT_EQ(d.Text4.Text(), "\\Effekts\\live-sub\\live-b.swf");
}

TEST_F(SlotsTest, SlotOneIsTheMasterLayerAndAnEmptyPathLoadsTheProgramFolder) {
    auto& d = desk();
    d.Text7.userEdit("5");
    d.Text9.userEdit("7");
    EXPECT_EQ(callsAfter([&] { d.Command14.userClick(); }), Strings{"LoadMovie 0 " + app});
    EXPECT_EQ(callsAfter([&] { d.Command19.userClick(); }), Strings{"LoadMovie 0 0"});
    EXPECT_EQ(callsAfter([&] { d.Command20.userClick(); }), Strings{"LoadMovie 7 0"});
    EXPECT_EQ(callsAfter([&] { d.Command24.userClick(); }),
              (Strings{"LoadMovie 7 0", "LoadMovie 0 0", "LoadMovie 5 0", "LoadMovie 0 0"}));
    d.Text7.userEdit("0");
    d.Text9.userEdit("0");
    EXPECT_EQ(callsAfter([&] { d.Command24.userClick(); }), Strings(4, "LoadMovie 0 0"));
}

TEST_F(SlotsTest, ALayerBoxWithoutAWholeNumberLeavesItsSlotAlone) {
    auto& d = desk();
    d.Text3 = "\\Effekts\\x.swf";
    d.Text7.userEdit("");
    d.Text8.userEdit("x");
    d.Text9.userEdit("4");
    EXPECT_EQ(callsAfter([&] {
                  d.Command15.userClick();
                  d.Command21.userClick();
                  d.Command16.userClick();
              }),
              Strings{});
    EXPECT_EQ(callsAfter([&] { d.Command24.userClick(); }), (Strings{"LoadMovie 4 0", "LoadMovie 0 0"}));
    EXPECT_EQ(forms::lastUnhandled().number, 0);
}

TEST_F(SlotsTest, ADoubleClickLoadsTheEffectIntoTheMasterLayer) {
    effect("live-c.swf", 222);
    auto& d = desk();
    d.Text7.userEdit("9");
    const auto& rows = d.File1.items();
    const int i = static_cast<int>(std::find(rows.begin(), rows.end(), "live-c.swf") - rows.begin());
    EXPECT_EQ(callsAfter([&] { d.File1.userDblClickRow(i); }), Strings{"LoadMovie 0 " + app + "\\Effekts\\live-c.swf"});
    EXPECT_EQ(layerWidthPx(0), 222);
}

TEST_F(SlotsTest, APlaylistPlayerWithNothingToPlayLeavesTheDesksEffectsOnTheProjector) {
    effect("live-d.swf", 233);
    effect("live-e.swf", 244);
    auto& d = desk();
    // The playlist player runs on an empty playlist ("Wiederholen").
    korvella::Form2->Timer1A.setEnabled(true);
    d.Text2 = "\\Effekts\\live-d.swf";
    d.Command14.userClick();
    advance(5);
    EXPECT_EQ(layerWidthPx(0), 233);
    const auto& rows = d.File1.items();
    d.File1.userDblClickRow(static_cast<int>(std::find(rows.begin(), rows.end(), "live-e.swf") - rows.begin()));
    advance(5);
    EXPECT_EQ(layerWidthPx(0), 244);

    // Past the end with "Lezten Effekt dauerhaft wiederholen".
    korvella::Form2->Option2.setValue(true);
    korvella::Form2->Text3 = "3";
    d.Command14.userClick();
    advance(5);
    EXPECT_EQ(layerWidthPx(0), 233);
    korvella::Form2->Timer1A.setEnabled(false);
}

TEST_F(SlotsTest, TheEffectAdvancesOnceByHandAndEveryMillisecondWhileTicked) {
    auto& d = desk();
    EXPECT_EQ(callsAfter([&] { d.Command9.userClick(); }), Strings{"Play"});
    calls.clear();
    const double t0 = now();
    d.Check2.userClick();
    advance(3);
    d.Check2.userClick();
    advance(10);
    EXPECT_EQ(calls, (std::vector<Call>{{t0 + 1, "Play"}, {t0 + 2, "Play"}, {t0 + 3, "Play"}}));
}

}  // namespace
}  // namespace korvella_test
