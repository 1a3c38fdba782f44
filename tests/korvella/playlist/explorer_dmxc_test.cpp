// The effects explorer with its preview and the DMXControl effect list: what a click fires or
// shows, and what a double click puts into the playlist or the idle list, and where.
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

using Items = std::vector<std::string>;

class ExplorerTest : public PlaylistTest {
protected:
    ExplorerTest() {
        dir = ed().Dir1.Path();
        intro = movie("Intro.swf", 2);
        movie("Alt.SWF", 2);
        std::ofstream(home / "Effekts" / "Bild.jpg") << "kein Bild";
        ed().File1.Refresh();
    }
    // Selects exactly one file (the click previews it) and double-clicks.
    void dblClickFile(int row) {
        for (int i = 0; i < ed().File1.ListCount(); ++i) ed().File1.setSelected(i, i == row);
        ed().File1_DblClick();
    }
    std::string dir, intro;
};

TEST_F(ExplorerTest, FilesGoIntoThePlaylistOrTheIdleListAndShowInThePreview) {
    auto& e = ed();
    EXPECT_EQ(e.Dir1.Path(), home.string() + "\\Effekts");
    EXPECT_EQ(e.File1.items(), (Items{"Alt.SWF", "Bild.jpg", "Intro.swf"}));
    preview.clear();
    e.File1.setSelected(2, true);
    EXPECT_EQ(preview, (std::vector<Call>{{now(), "LoadMovie 0 " + intro}, {now(), "Play"}}));
    EXPECT_TRUE(calls.empty());  // the projector is not touched

    for (int row : {2, 1, 0}) dblClickFile(row);
    EXPECT_EQ(rows(), (Rows{{"Intro", intro}, {"Bild.jpg", dir + "\\Bild.jpg"}, {"Alt.SWF", dir + "\\Alt.SWF"}}));
    EXPECT_EQ(e.List1.TopIndex(), 2);

    e.Check6.setValue(1);
    for (int row : {2, 1}) dblClickFile(row);
    EXPECT_EQ(e.List4.items(), (Items{"Intro" + std::string(50, ' ') + "|" + intro, "Bild.jpg"}));
    EXPECT_EQ(e.List1.ListCount(), 3);

    // Above or below a marked row, with fewer blanks before "|"; of several files the first only.
    e.List4.setListIndex(0);
    e.Check1.setValue(1);
    dblClickFile(2);
    e.Check2.setValue(1);
    for (int i = 0; i < 3; ++i) e.File1.setSelected(i, i != 1);
    e.File1_DblClick();
    EXPECT_EQ(e.List4.items(), (Items{"Intro" + std::string(49, ' ') + "|" + intro,
                                      "Intro" + std::string(50, ' ') + "|" + intro, "Alt.SWF", "Bild.jpg"}));
    e.Check6.setValue(0);
    e.File1_DblClick();  // no playlist row marked: nothing
    EXPECT_EQ(e.List1.ListCount(), 3);
    e.List1.setListIndex(0);
    e.File1_DblClick();
    EXPECT_EQ(rows()[1], (std::pair<std::string, std::string>{"Alt.SWF", dir + "\\Alt.SWF"}));
}

class DmxcListTest : public PlaylistTest {
protected:
    DmxcListTest() {
        buttons = kommandoBox(3);
        for (const char* name : {"Rot", "Grün", "Blitz"}) ed().List3.AddItem(name);
        checkBox = windows().create("ThunderRT6CheckBox", "", 0, [this](platform::HWND h, platform::UINT m, platform::WPARAM, platform::LPARAM) {
            if (m == platform::BM_GETCHECK) return platform::LRESULT{checked};
            sent.push_back({now(), h, m, 0, 0});
            if (m == platform::WM_LBUTTONUP) checked = 1 - checked;
            return platform::LRESULT{0};
        });
        Form4->List3.AddItem(std::to_string(checkBox));
    }
    std::vector<platform::HWND> buttons;
    platform::HWND checkBox = 0;
    int checked = 1;
};

TEST_F(DmxcListTest, AClickFiresTheEffectAfterClearingDmxControlsCheckBox) {
    using M = std::vector<std::pair<double, platform::UINT>>;
    const double t = now();
    ed().List3.setSelected(2, true);
    EXPECT_EQ(received(checkBox), (M{{t, platform::WM_LBUTTONDOWN}, {t, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(received(buttons[2]), (M{{t + 50, platform::WM_LBUTTONDOWN}, {t + 110, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(checked, 0);
    sent.clear();
    const double u = now();
    ed().List3.setSelected(0, true);  // both selected now; the box stays clear
    EXPECT_EQ(received(buttons[0]), (M{{u, platform::WM_LBUTTONDOWN}, {u + 60, platform::WM_LBUTTONUP}}));
    EXPECT_EQ(received(buttons[2]), (M{{u + 60, platform::WM_LBUTTONDOWN}, {u + 120, platform::WM_LBUTTONUP}}));
    EXPECT_TRUE(received(checkBox).empty());

    // DMXControl not found yet: nothing is sent.
    Form4->List1.Clear();
    Form4->List3.Clear();
    sent.clear();
    ed().List3.setSelected(1, true);
    EXPECT_TRUE(sent.empty());
}

TEST_F(DmxcListTest, TheButtonUpGoesToTheButtonThatWentDownWhateverTheListHoldsMeanwhile) {
    using M = std::vector<std::pair<double, platform::UINT>>;
    checked = 0;
    const platform::HWND other = foreignWindow();
    const double t = now();
    // DMXControl's window changes during the 60 ms press: the finder lists another button.
    rt.virtualClock()->schedule(static_cast<std::int64_t>((t + 30) * 1e6),
                                [&] { Form4->List1.setList(1, std::to_string(other)); });
    ed().List3.setSelected(1, true);
    EXPECT_EQ(received(buttons[1]), (M{{t, platform::WM_LBUTTONDOWN}, {t + 60, platform::WM_LBUTTONUP}}));
    EXPECT_TRUE(received(other).empty());
}

TEST_F(DmxcListTest, ADoubleClickAddsAnEntryOrAnIdleItem) {
    auto& e = ed();
    checked = 0;
    e.List3.setSelected(2, true);
    e.List3_DblClick();
    e.Check3.setValue(1);
    e.List3_DblClick();
    EXPECT_EQ(rows(), (Rows{{"DMXC Blitz", "2"}, {"+DMXC Blitz", "2"}}));

    e.Check7.setValue(1);
    e.List3_DblClick();
    e.List4.setListIndex(0);
    e.Check1.setValue(1);
    e.List3_DblClick();
    e.Check2.setValue(1);
    e.List3_DblClick();
    EXPECT_EQ(e.List4.items(), (Items{"DMXC Blitz" + std::string(47, ' ') + "|2", "DMXC Blitz" + std::string(49, ' ') + "|2",
                                      "DMXC Blitz" + std::string(46, ' ') + "|2"}));
    EXPECT_EQ(e.List1.ListCount(), 2);
    EXPECT_EQ(e.List2.ListCount(), 2);
}

}  // namespace
}  // namespace playlist_test
