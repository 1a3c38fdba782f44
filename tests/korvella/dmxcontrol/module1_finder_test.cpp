// Listing DMXControl's child windows, and the two 500 ms finders that keep track of its windows.
#include <gtest/gtest.h>

#include "dmxc_fixture.h"
#include "korvella/dmxcontrol/Module1.h"

namespace korvella_test {
namespace {

namespace M = korvella::Module1;

TEST_F(DmxcTest, KommandoBoxChildrenAreFiledByLowerCaseClassInReportingOrder) {
    dmxc.openKommandoBox({"Blitz", "Nebel", "Strobe"});
    const platform::HWND shouting = windows().create("THUNDERRT6USERCONTROLDC", "Laut", dmxc.frame());
    windows().create("Button", "Fremd", dmxc.kommandoBox());
    // Form4.List3 gets the others whatever list the caller passes for the buttons.
    forms::ListBox& buttons = Form3->List1;
    for (int twice = 0; twice < 2; ++twice) {
        M::ListKommandoBoxChildren(dmxc.kommandoBox(), buttons);
        EXPECT_EQ(rows(buttons), (std::vector<std::string>{text(dmxc.button(0)), text(dmxc.button(1)), text(dmxc.button(2)),
                                                           text(shouting), text(dmxc.bank())}));
        EXPECT_EQ(rows(Form4->List3), otherRows());
    }
    // Every descendant was reported, the frame and the stranger too, plus the spare element.
    ASSERT_EQ(M::ChildHandles.size(), 11u);
    EXPECT_EQ(M::ChildHandles[1], dmxc.frame());
    EXPECT_EQ(M::ChildHandles.back(), 0);

    // No children, or no window at all: cleared lists.
    const platform::HWND bare = windows().create("ThunderRT6FormDC", "KommandoBox");
    M::ListKommandoBoxChildren(bare, buttons);
    EXPECT_EQ(buttons.ListCount() + Form4->List3.ListCount(), 0);
    EXPECT_EQ(M::ChildHandles, std::vector<std::int32_t>{0});
    buttons.AddItem("1");
    windows().destroy(bare);
    M::ListChildWindows(bare, buttons);
    EXPECT_EQ(buttons.ListCount(), 0);
}

TEST_F(DmxcTest, Form3FindsLosesAndFindsTheManualBeatWindowAgainEvery500Ms) {
    auto& f = Form3();  // loaded at 0: the finder ticks at 500, 1000, ...
    dmxc.openManualBeat();
    advance(499);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window not found...");
    advance(1);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");
    EXPECT_EQ(f.Label1.ForeColor(), 0xFF00u);
    // Hidden even though forwarding is off, and again on every tick.
    EXPECT_FALSE(windows().isVisible(dmxc.manualBeat()));
    const std::vector<std::string> first{text(dmxc.bpmField()), text(dmxc.beatButton()), text(dmxc.resetButton())};
    EXPECT_EQ(rows(f.List1), first);
    windows().showWindow(dmxc.manualBeat(), platform::SW_SHOWNORMAL);
    advance(500);
    EXPECT_FALSE(windows().isVisible(dmxc.manualBeat()));

    // Closed: red at the next tick, the handles stay listed.
    dmxc.closeManualBeat();
    advance(499);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");
    advance(1);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window not found...");
    EXPECT_EQ(f.Label1.ForeColor(), 0xFFu);
    EXPECT_EQ(rows(f.List1), first);

    // Opened again: the new handles at the next tick. The finder itself sends nothing.
    advance(200);
    dmxc.openManualBeat();
    advance(300);
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");
    EXPECT_EQ(f.List1.List(1), text(dmxc.beatButton()));
    EXPECT_NE(rows(f.List1), first);
    EXPECT_TRUE(dmxc.received().empty());
}

TEST_F(DmxcTest, Form3SettingsHidingAndClosing) {
    auto& f = Form3();
    f.HScroll1.userStep(3);  // the slider shows N at once, the countdown waits for "Übernehmen"
    EXPECT_EQ(f.Text1.Text(), "4");
    EXPECT_EQ(f.Label5.Caption(), "1");
    f.Command1.userClick();
    EXPECT_EQ(f.Label5.Caption(), "4");
    f.Text1.userEdit("x7y");  // two characters at most, copied unchanged
    f.Command1.userClick();
    EXPECT_EQ(f.Label5.Caption(), "x7");

    f.Show();
    f.Command2.userClick();
    EXPECT_FALSE(f.Visible());
    dmxc.openManualBeat();
    advance(500);  // hidden, the finder runs on
    EXPECT_EQ(f.Label1.Caption(), "DMXC ManualBeat window found");

    // The close box unloads it: the next touch brings the design values and a new finder.
    EXPECT_TRUE(Form3.Unload(0));
    advance(1000);
    auto& again = Form3();
    EXPECT_EQ(again.Label1.Caption(), "DMXC ManualBeat window not found...");
    EXPECT_EQ(again.Label5.Caption(), "1");
    EXPECT_EQ(again.HScroll1.Value(), 1);
    advance(500);
    EXPECT_EQ(again.Label1.Caption(), "DMXC ManualBeat window found");
}

TEST_F(DmxcTest, Form4ListsNineButtonChildrenAsEightNumberedEffectsInBothLists) {
    auto& f = Form4();
    dmxc.openKommandoBox(dmxc::Standin::defaultNames(8));  // eight effects and the bank switch
    advance(499);
    EXPECT_EQ(f.List2.ListCount(), 0);
    advance(1);
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window found");
    EXPECT_EQ(f.Label1.ForeColor(), 0xFF00u);
    EXPECT_EQ(rows(f.List1), buttonRows());
    EXPECT_EQ(rows(f.List3), otherRows());
    std::vector<std::string> numbered;
    for (int i = 1; i <= 8; ++i) numbered.push_back("Button " + std::to_string(i));
    EXPECT_EQ(rows(f.List2), numbered);
    EXPECT_EQ(rows(Form2->List3), numbered);
    EXPECT_TRUE(dmxc.received().empty());

    // Only the bank switch: no effect is left; a window without children removes no row.
    dmxc.openKommandoBox({});
    advance(500);
    EXPECT_EQ(f.List1.ListCount() + f.List2.ListCount() + Form2->List3.ListCount(), 0);
    dmxc.closeKommandoBox();
    windows().create("ThunderRT6FormDC", "KommandoBox");
    advance(500);
    EXPECT_EQ(f.List1.ListCount() + f.List3.ListCount(), 0);
}

// DMXControl under Wine, whose answers can stay out (a slow program, a loaded machine).
struct SometimesSilent : platform::ForeignWindows {
    bool answers = true;
    bool open = true;
    std::optional<platform::HWND> findWindow(const std::string&, const std::string& caption) override {
        if (!answers) return std::nullopt;
        return !open ? 0 : caption == "KommandoBox" ? 0x40000001 : caption == "DMXC ManualBeat" ? 0x40000003 : 0;
    }
    std::optional<std::vector<platform::HWND>> childWindows(platform::HWND parent) override {
        if (!answers) return std::nullopt;
        return parent == 0x40000001 ? std::vector<platform::HWND>{5, 7, 9} : std::vector<platform::HWND>{11, 13};
    }
    std::string getClassName(platform::HWND h) override {
        return h == 5 ? "ThunderRT6CheckBox" : h < 11 ? "ThunderRT6UserControlDC" : "ThunderRT6CommandButton";
    }
    std::string getWindowText(platform::HWND) override { return {}; }
    platform::HWND getParent(platform::HWND) override { return 0; }
    platform::LRESULT sendMessage(platform::HWND h, platform::UINT msg, platform::WPARAM, platform::LPARAM) override {
        sent.push_back(std::to_string(h) + " " + std::to_string(msg));
        return 0;
    }
    std::vector<std::string> sent;
    std::optional<platform::LRESULT> sendMessageTimeout(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                                                        int) override {
        return std::nullopt;
    }
    bool postMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM) override { return false; }
    int showWindow(platform::HWND, int) override { return 0; }
    bool moveWindow(platform::HWND, int, int, int, int, bool) override { return false; }
    bool setWindowPos(platform::HWND, platform::HWND, int, int, int, int, platform::UINT) override { return false; }
};

TEST_F(DmxcTest, FindersKeepStatusListsAndNamesWhileDMXControlDoesNotAnswerInTime) {
    SometimesSilent wine;
    windows().setForeignWindows(&wine);
    auto& f = Form4();
    auto& b = Form3();
    advance(500);
    EXPECT_EQ(rows(f.List1), (std::vector<std::string>{"7"}));
    EXPECT_EQ(rows(f.List3), (std::vector<std::string>{"5"}));
    EXPECT_EQ(rows(b.List1), (std::vector<std::string>{"11", "13"}));
    f.List2.setSelected(0, true);
    f.Text1.setText("Blitz");
    f.Command1.userClick();

    // Unknown is not gone: nothing turns red, nothing is emptied or renumbered.
    wine.answers = false;
    advance(1500);
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window found");
    EXPECT_EQ(b.Label1.Caption(), "DMXC ManualBeat window found");
    EXPECT_EQ(rows(f.List1), (std::vector<std::string>{"7"}));
    EXPECT_EQ(rows(f.List3), (std::vector<std::string>{"5"}));
    EXPECT_EQ(rows(b.List1), (std::vector<std::string>{"11", "13"}));
    EXPECT_EQ(rows(f.List2), (std::vector<std::string>{"Blitz"}));
    // A click on the effect while its check box does not answer presses no check box.
    wine.sent.clear();
    f.List2.userClickRow(0);
    EXPECT_EQ(wine.sent, (std::vector<std::string>{"7 513", "7 514"}));

    // DMXControl closed, and saying so: red.
    wine.answers = true;
    wine.open = false;
    advance(500);
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window not found...");
    EXPECT_EQ(b.Label1.Caption(), "DMXC ManualBeat window not found...");
    windows().setForeignWindows(nullptr);
}

TEST_F(DmxcTest, Form4NamesLastWhileTheButtonCountStaysAndFallBackWhenItChanges) {
    auto& f = Form4();
    dmxc.openKommandoBox({"Blitz", "Nebel", "Strobe"});
    advance(500);
    f.List2.setSelected(1, true);
    f.Text1.userEdit("Nebel hinten");
    f.Command1.userClick();
    f.List2.setSelected(2, true);
    f.Text1.userEdit("");
    f.Command1.userClick();
    const std::vector<std::string> named{"Button 1", "Nebel hinten", ""};
    EXPECT_EQ(rows(f.List2), named);
    EXPECT_EQ(f.List2.ListIndex(), -1);  // the renamed row is not selected
    EXPECT_EQ(rows(Form2->List3), named);
    advance(1000);
    EXPECT_EQ(rows(f.List2), named);

    // Closed: red, and every list keeps what it holds.
    const auto handles = rows(f.List1);
    dmxc.closeKommandoBox();
    advance(500);
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window not found...");
    EXPECT_EQ(f.Label1.ForeColor(), 0xFFu);
    EXPECT_EQ(rows(f.List1), handles);
    EXPECT_EQ(f.List3.ListCount(), 3);

    // Back with as many buttons: new handles, names kept. With another number: numbered again.
    dmxc.openKommandoBox({"A", "B", "C"});
    advance(500);
    EXPECT_EQ(rows(f.List1), buttonRows());
    EXPECT_EQ(rows(f.List2), named);
    dmxc.openKommandoBox({"A", "B"});
    advance(500);
    EXPECT_EQ(rows(f.List2), (std::vector<std::string>{"Button 1", "Button 2"}));
    EXPECT_EQ(rows(Form2->List3), rows(f.List2));
}

TEST_F(DmxcTest, Form4HidesOnCloseWhileBeendenIsOneAndUnloadsAfterwards) {
    auto& f = Form4();
    dmxc.openKommandoBox({"Blitz", "Nebel"});
    f.Show();
    advance(500);
    f.List2.setSelected(1, true);
    EXPECT_FALSE(Form4.Unload(0));
    EXPECT_FALSE(f.Visible());
    EXPECT_EQ(f.List2.ListIndex(), 1);
    dmxc.closeKommandoBox();
    advance(500);  // the finder runs on while hidden
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window not found...");

    f.beenden = "";
    EXPECT_TRUE(Form4.Unload(0));
    EXPECT_FALSE(Form4.isLoaded());
}

}  // namespace
}  // namespace korvella_test
