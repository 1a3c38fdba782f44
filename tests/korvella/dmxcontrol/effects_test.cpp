// Firing DMXControl effects by their names, reading the names DMXControl shows, and adopting or
// discarding them.
#include <gtest/gtest.h>

#include <algorithm>

#include "dmxc_fixture.h"

namespace korvella_test {
namespace {

class EffectsTest : public DmxcTest {
protected:
    // Form4 finds a KommandoBox with these effects at its first tick (500 ms).
    korvella::Form4Window& found(const std::vector<std::string>& names) {
        auto& f = Form4();
        dmxc.openKommandoBox(names);
        advance(500);
        return f;
    }
    // DMXControl's edit mode switched on by hand, before the records start.
    void editModeOn() {
        platform::SendMessage(dmxc.checkBox(), platform::WM_LBUTTONDOWN);
        platform::SendMessage(dmxc.checkBox(), platform::WM_LBUTTONUP);
        dmxc.clearRecords();
    }
    void at(double ms, std::function<void()> fn) {
        rt.virtualClock()->schedule(static_cast<std::int64_t>(ms * 1e6), std::move(fn));
    }
    // One pass of the name reader starting at ms; button 0 for the last pass.
    static void pass(std::vector<std::string>& out, int ms, int button, bool switchesEditOn) {
        const std::string t = std::to_string(ms + 2) + " ";
        out.push_back(t + "checkbox getcheck");
        if (switchesEditOn) out.insert(out.end(), {t + "checkbox down", t + "checkbox up"});
        for (int twice = 0; twice < 2; ++twice) {
            if (button) out.insert(out.end(), {t + "button " + std::to_string(button) + " down", t + "button " + std::to_string(button) + " up"});
            out.insert(out.end(), {t + "settings down", t + "settings up"});
        }
        out.insert(out.end(), {t + "name gettext", std::to_string(ms + 3) + " settings pageup"});
    }
};

TEST_F(EffectsTest, AClickFiresButtonDownThenUpAfterClickingASetCheckBoxOff) {
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    double t0 = now();
    f.List2.userClickRow(2);
    EXPECT_EQ(receivedSince(t0), (std::vector<std::string>{"0 checkbox getcheck", "0 button 3 down", "70 button 3 up"}));

    editModeOn();
    t0 = now();
    f.List2.userClickRow(0);
    EXPECT_EQ(receivedSince(t0), (std::vector<std::string>{"0 checkbox getcheck", "0 checkbox down", "0 checkbox up",
                                                           "50 button 1 down", "120 button 1 up"}));
    EXPECT_FALSE(dmxc.editMode());
    EXPECT_EQ(dmxc.fired(), std::vector<int>{0});

    // Rows without a handle press nothing, and the handler goes on (the wait too).
    f.Timer1.setEnabled(false);
    f.List3.Clear();
    f.List3.AddItem("Kontrollkasten");
    f.List2.AddItem("Extra");
    advance(1);
    t0 = now();
    f.List2.userClickRow(3);
    f.List2.userClickRow(1);
    EXPECT_EQ(receivedSince(t0), (std::vector<std::string>{"70 button 2 down", "140 button 2 up"}));
}

TEST_F(EffectsTest, AWindowThatVanishesMidPressGetsNothingMore) {
    auto& f = found({"Blitz", "Nebel"});
    const double t0 = now();
    at(t0 + 30, [this] { dmxc.closeKommandoBox(); });
    f.List2.userClickRow(1);
    EXPECT_EQ(now() - t0, 70);
    EXPECT_EQ(receivedSince(t0), (std::vector<std::string>{"0 checkbox getcheck", "0 button 2 down"}));
    f.List2.userClickRow(0);  // stale handles until the next tick: nothing arrives
    EXPECT_EQ(dmxc.received().size(), 2u);
    EXPECT_TRUE(dmxc.fired().empty());
}

// The window unloaded while its name reader waits between two passes: the reader finishes its
// passes on the unloaded window, which is freed only after it (and not loaded again); closing
// the main window there instead ends the program, and the reader stops at once.
TEST_F(EffectsTest, TheNameReaderOutlivesItsWindowOrEndsWithTheProgram) {
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    f.beenden = "";
    struct Watch : forms::FormsObserver {
        std::vector<std::string> loaded;
        void formLoaded(forms::Form& form) override { loaded.push_back(form.name()); }
    } watch;
    forms::Application::addObserver(&watch);
    const double t0 = now();
    at(t0 + 7, [this] { loop().post([] { Form4.Unload(0); }); });
    f.Command2.userClick();
    EXPECT_FALSE(Form4.isLoaded());
    EXPECT_EQ(std::count(watch.loaded.begin(), watch.loaded.end(), "Form4"), 0);
    EXPECT_EQ(now() - t0, 4 * 5 + 250 + 22 * 20);

    // Now the main window, closed during the second pass.
    auto& g = found({"Blitz", "Nebel", "Strobe"});
    frmBeats.Show();
    const double t1 = now();
    dmxc.clearRecords();
    watch.loaded.clear();
    at(t1 + 7, [this] { loop().post([] { frmBeats.Unload(0); }); });
    g.Command2.userClick();
    forms::Application::removeObserver(&watch);
    EXPECT_TRUE(forms::Application::ended());
    EXPECT_EQ(now() - t1, 7 + 500);
    EXPECT_EQ(watch.loaded, std::vector<std::string>{});
    // Nothing was pressed after the second pass's wait.
    for (const auto& r : receivedSince(t1)) EXPECT_LE(std::stoi(r), 7) << r;
}

TEST_F(EffectsTest, ThreeButtonsGiveFourPassesThreeNamesAndAWideWindow) {
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    const double t0 = now();
    f.Command2.userClick();
    // Four passes of 5 ms, then 250 ms and 22 steps of 20 ms to widen.
    EXPECT_EQ(now() - t0, 4 * 5 + 250 + 22 * 20);
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"Blitz", "Nebel", "Strobe"}));
    EXPECT_EQ(f.Width(), 8730);
    // Each read comes before the posted Page Up of its pass: it finds the previous button's name.
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) pass(expected, 5 * i, i < 3 ? i + 1 : 0, i == 0);
    expected.insert(expected.end(), {"20 checkbox down", "20 checkbox up"});
    EXPECT_EQ(receivedSince(t0), expected);
    EXPECT_FALSE(dmxc.editMode());

    // DMXControl's window placed, shown and no longer topmost; Form4 in front of everything.
    EXPECT_EQ(windows().getWindowRect(dmxc.kommandoBox()), (platform::Rect{100, 100, 800, 500}));
    EXPECT_TRUE(windows().isVisible(dmxc.kommandoBox()));
    EXPECT_FALSE(windows().isTopmost(dmxc.kommandoBox()));
    EXPECT_EQ(windows().topLevelWindows().front(), f.hWnd());
    // Only adopting hands the names on.
    EXPECT_EQ(rows(Form2->List3), (std::vector<std::string>{"Button 1", "Button 2", "Button 3"}));

    // Again while wide, with DMXControl's check box already on: never pressed, no widening.
    dmxc.openKommandoBox({"Rot", "Blau", "Gelb"});
    editModeOn();
    advance(500 - static_cast<int>(now()) % 500);
    const double t1 = now();
    f.Command2.userClick();
    EXPECT_EQ(now() - t1, 4 * 5);
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"Rot", "Blau", "Gelb"}));
    EXPECT_TRUE(dmxc.editMode());
    EXPECT_EQ(dmxc.receivedBy(dmxc.checkBox()).size(), 4u);  // the four reads only
}

TEST_F(EffectsTest, AClickWhileTheNamesAreReadIsIgnored) {
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    const double t0 = now();
    at(t0 + 7, [&] { f.Command2.userClick(); });   // during the second pass
    at(t0 + 300, [&] { f.Command2.userClick(); });  // while the window widens
    f.Command2.userClick();
    EXPECT_EQ(now() - t0, 4 * 5 + 250 + 22 * 20);
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"Blitz", "Nebel", "Strobe"}));
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) pass(expected, 5 * i, i < 3 ? i + 1 : 0, i == 0);
    expected.insert(expected.end(), {"20 checkbox down", "20 checkbox up"});
    EXPECT_EQ(receivedSince(t0), expected);
    EXPECT_FALSE(dmxc.editMode());
    // The finder's next tick keeps the names; a click afterwards reads again.
    advance(500);
    f.Command3.userClick();
    EXPECT_EQ(rows(Form2->List3), (std::vector<std::string>{"Blitz", "Nebel", "Strobe"}));
    const double t1 = now();
    f.Command2.userClick();
    EXPECT_GT(now() - t1, 4 * 5);
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"Blitz", "Nebel", "Strobe"}));
}

TEST_F(EffectsTest, NamesAreReadWholeAndEnterTheListsAsOneLine) {
    // Counted in characters: a long name of umlauts is neither halved nor cut inside a character.
    std::string longName = "a";
    for (int i = 0; i < 20000; ++i) longName += "ä";
    std::string tooLong;
    for (int i = 0; i < 40000; ++i) tooLong += "ö";
    auto& f = found({longName, "Grün\r\nrot", "Ne\nbel\r"});
    f.Command2.userClick();
    ASSERT_EQ(f.List4.ListCount(), 3);
    EXPECT_EQ(f.List4.List(0), longName);
    EXPECT_EQ(f.List4.List(1), "Grün\r\nrot");
    f.Command3.userClick();
    EXPECT_EQ(rows(f.List2), (std::vector<std::string>{longName, "Grün rot", "Ne bel "}));
    EXPECT_EQ(rows(Form2->List3), rows(f.List2));

    // Renamed by hand with a line break pasted in.
    f.List2.setSelected(0, true);
    f.Text1.setText("Blau\r\nweiß");
    f.Command1.userClick();
    EXPECT_EQ(f.List2.List(0), "Blau weiß");
    EXPECT_EQ(Form2->List3.List(0), "Blau weiß");

    dmxc.openKommandoBox({tooLong});
    advance(500);
    f.Command2.userClick();
    ASSERT_EQ(f.List4.ListCount(), 1);
    EXPECT_EQ(f.List4.List(0), tooLong.substr(0, 2 * 32766));
}

TEST_F(EffectsTest, NotFoundSaysSoAndWithoutButtonsOnePassReadsNoName) {
    auto& f = Form4();
    advance(500);
    f.List4.AddItem("alt");
    f.Command2.userClick();
    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "KommandoBox Fenster nicht gefunden");
    EXPECT_EQ(boxes[0].text, "Das DMXControl KommandoBox Fenster wurde nicht gefunden.\r\nBitte öffnen Sie dieses davor.");
    EXPECT_EQ(boxes[0].style, 64);
    EXPECT_EQ(rows(f.List4), std::vector<std::string>{"alt"});
    EXPECT_EQ(f.Width(), 4410);

    dmxc.openKommandoBox({});
    advance(500);
    const double t0 = now();
    f.Command2.userClick();
    EXPECT_EQ(now() - t0, 5 + 690);
    EXPECT_EQ(f.List4.ListCount(), 0);
    EXPECT_FALSE(dmxc.editMode());
}

TEST_F(EffectsTest, ReadsThatFailLeaveEmptyNamesInTheirRows) {
    // DMXControl closes during the second pass.
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    const double t0 = now();
    at(t0 + 8, [this] { dmxc.closeKommandoBox(); });
    f.Command2.userClick();
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"Blitz", "", ""}));
    EXPECT_EQ(f.Width(), 8730);
    for (const auto& r : dmxc.received()) EXPECT_LT(r.ms - t0, 8);

    // No name field known.
    dmxc.openKommandoBox({"Blitz", "Nebel"});
    advance(500 - static_cast<int>(now()) % 500);
    f.Timer1.setEnabled(false);
    f.List3.RemoveItem(1);
    f.List3.RemoveItem(1);
    f.Command2.userClick();
    EXPECT_EQ(rows(f.List4), (std::vector<std::string>{"", ""}));
    EXPECT_FALSE(dmxc.editMode());
}

TEST_F(EffectsTest, AdoptingCopiesTheNamesRestartsTheFinderAndNarrowsDiscardingOnlyNarrows) {
    auto& f = found({"Blitz", "Nebel", "Strobe"});
    f.Command2.userClick();
    f.Command4.userClick();
    EXPECT_EQ(f.Width(), 4410);
    EXPECT_EQ(rows(f.List2), (std::vector<std::string>{"Button 1", "Button 2", "Button 3"}));

    f.Command2.userClick();
    const double t1 = now();
    f.Command3.userClick();
    EXPECT_EQ(now() - t1, 250 + 4 * 20);
    EXPECT_EQ(f.Width(), 4410);
    const std::vector<std::string> names{"Blitz", "Nebel", "Strobe"};
    EXPECT_EQ(rows(f.List2), names);
    EXPECT_EQ(rows(Form2->List3), names);

    // The finder counts its 500 ms from the click, and the names survive its ticks.
    dmxc.closeKommandoBox();
    advance(static_cast<int>(t1 + 499 - now()));
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window found");
    advance(1);
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window not found...");
    dmxc.openKommandoBox(names);
    advance(500);
    f.List2.userClickRow(1);
    EXPECT_EQ(dmxc.fired(), std::vector<int>{1});
}

}  // namespace
}  // namespace korvella_test
