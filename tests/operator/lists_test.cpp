// Building a show with the mouse through the real windows: the explorer, the DMXControl effect
// lists, the playlist's right button, the folder lists and a large playlist.
#include <QListWidget>
#include <filesystem>
#include <fstream>

#include "forms/application.h"
#include "operator_fixture.h"
#include "platform/storage/files.h"

namespace operator_test {
namespace {

using korvella::Form2;
using korvella::Form4;
using korvella::Form5;
namespace fs = std::filesystem;

class ListsTest : public OperatorTest {
protected:
    ListsTest() {
        fs::remove_all(app() + "/Effekts");
        fs::create_directories(app() + "/Effekts");
    }
    static std::string app() { return platform::appPath(); }
    static void file(const std::string& relative) { std::ofstream(app() + "/" + relative) << "x"; }

    korvella::Form2Window& editor() {
        Form2.Show();
        return Form2();
    }
    std::vector<std::string> texts(const forms::ListBox& l) { return l.items(); }
};

TEST_F(ListsTest, ExplorerDoubleClickInsertsTheDoubleClickedFileOnlyAtTheInsertPosition) {
    for (const char* f : {"Effekts/Anfang.swf", "Effekts/Blitz.swf", "Effekts/Chaos.swf"}) file(f);
    auto& e = editor();
    e.File1.Refresh();
    ASSERT_EQ(texts(e.File1), (std::vector<std::string>{"Anfang.swf", "Blitz.swf", "Chaos.swf"}));
    for (const char* t : {"eins", "zwei", "drei"}) {
        e.List1.AddItem(t);
        e.List2.AddItem("");
    }
    clickRow(e.List1, 1);
    click(e.Check2);  // "Unter makierten Eintrag"
    ASSERT_EQ(e.Check2.Value(), 1);

    clickRow(e.File1, 0);      // previews Anfang
    doubleClickRow(e.File1, 2);  // inserts Chaos, and only Chaos, below "zwei"
    EXPECT_EQ(texts(e.List1), (std::vector<std::string>{"eins", "zwei", "Chaos", "drei"}));
    EXPECT_EQ(e.List2.List(2), e.Dir1.Path() + "\\Chaos.swf");
    EXPECT_EQ(e.List1.ListIndex(), 1) << "the marked row stays marked";

    // Appending: the double-clicked file once, whatever was clicked before.
    click(e.Check2);
    clickRow(e.File1, 0);
    clickRow(e.File1, 1, Qt::ControlModifier);
    doubleClickRow(e.File1, 1);
    EXPECT_EQ(texts(e.List1), (std::vector<std::string>{"eins", "zwei", "Chaos", "drei", "Blitz"}));
    EXPECT_EQ(widget<QListWidget>(e.List1)->count(), 5);
}

TEST_F(ListsTest, AClickOnADmxcEffectFiresItOnceAndADoubleClickInsertsIt) {
    auto& e = editor();
    Form4();  // loaded hidden at the program's start, its finder running
    dmxc.openKommandoBox({"Blitz", "Nebel", "Strobe"});
    advance(500);  // the KommandoBox window's finder fills the lists
    ASSERT_EQ(e.List3.ListCount(), 3);
    advance(gui::View::kFrameMs);
    clickRow(e.List3, 1);
    advance(200);
    EXPECT_EQ(dmxc.fired(), (std::vector<int>{1})) << "the clicked effect, once";
    doubleClickRow(e.List3, 2);
    advance(200);
    EXPECT_EQ(dmxc.fired(), (std::vector<int>{1, 2})) << "a double click fires once, then inserts";
    EXPECT_EQ(texts(e.List1), (std::vector<std::string>{"DMXC Button 3"}));
    EXPECT_EQ(texts(e.List2), (std::vector<std::string>{"2"}));
}

TEST_F(ListsTest, ClickingTheSameKommandoBoxEffectThreeTimesFiresItThreeTimes) {
    dmxc.openKommandoBox({"Blitz", "Nebel"});
    Form4.Show();
    auto& f = Form4();
    advance(500);
    ASSERT_EQ(f.List2.ListCount(), 2);
    advance(gui::View::kFrameMs);
    for (int i = 0; i < 3; ++i) {
        clickRow(f.List2, 0);
        advance(100);
    }
    EXPECT_EQ(dmxc.fired(), (std::vector<int>{0, 0, 0}));
}

TEST_F(ListsTest, ARightClickRemovesTheMarkedPlaylistRowAndSelectsNothing) {
    auto& e = editor();
    for (const char* t : {"eins", "zwei", "drei"}) {
        e.List1.AddItem(t);
        e.List2.AddItem(std::string("w") + t);
    }
    clickRow(e.List1, 0);
    rightClickRow(e.List1, 2);
    EXPECT_EQ(texts(e.List1), (std::vector<std::string>{"zwei", "drei"}));
    EXPECT_EQ(texts(e.List2), (std::vector<std::string>{"wzwei", "wdrei"}));
    EXPECT_EQ(e.List1.ListIndex(), -1);
    auto* w = widget<QListWidget>(e.List1);
    EXPECT_EQ(w->count(), 2);
    EXPECT_TRUE(w->selectedItems().isEmpty());
    // A right click with nothing marked removes nothing.
    rightClickRow(e.List1, 0);
    EXPECT_EQ(texts(e.List1), (std::vector<std::string>{"zwei", "drei"}));
}

TEST_F(ListsTest, TheFolderListsGoDownAndBackUpToEffekts) {
    fs::create_directories(app() + "/Effekts/Feuer");
    file("Effekts/Feuer/Flamme.swf");
    file("Effekts/Oben.swf");
    auto& e = editor();
    auto* dirs = widget<QListWidget>(e.Dir1);
    const int effekts = e.Dir1.ancestorCount() - 1;  // the current folder's row
    ASSERT_EQ(dirs->item(effekts)->text().trimmed(), "Effekts");
    ASSERT_EQ(dirs->count(), e.Dir1.ancestorCount() + 1);

    doubleClickRow(e.Dir1, effekts + 1);  // Feuer
    EXPECT_EQ(e.Dir1.Path(), app() + "\\Effekts\\Feuer");
    EXPECT_EQ(texts(e.File1), (std::vector<std::string>{"Flamme.swf"}));
    ASSERT_EQ(widget<QListWidget>(e.File1)->count(), 1);
    doubleClickRow(e.File1, 0);
    EXPECT_EQ(texts(e.List2), (std::vector<std::string>{app() + "\\Effekts\\Feuer\\Flamme.swf"}));

    // Up again: a click marks Effekts, Enter opens it.
    clickRow(e.Dir1, effekts);
    EXPECT_EQ(e.Dir1.Path(), app() + "\\Effekts\\Feuer") << "a click only marks";
    QTest::keyClick(dirs, Qt::Key_Return);
    EXPECT_EQ(e.Dir1.Path(), app() + "\\Effekts");
    EXPECT_EQ(texts(e.File1), (std::vector<std::string>{"Oben.swf"}));

    // The desk: down into Feuer, a file stored in a slot in one separator style.
    Form5.Show();
    auto& d = Form5();
    const int deskEffekts = d.Dir1.ancestorCount() - 1;
    doubleClickRow(d.Dir1, deskEffekts + 1);
    clickRow(d.File1, 0);
    click(d.Command11);
    EXPECT_EQ(d.Text3.Text(), "\\Effekts\\Feuer\\Flamme.swf");
    doubleClickRow(d.Dir1, deskEffekts);
    EXPECT_EQ(d.Dir1.Path(), app() + "\\Effekts");
}

// The desk's folder list goes above the program folder: a slot filled there keeps the whole path
// and "Laden" loads that file.
TEST_F(ListsTest, ASlotFilledAboveTheProgramFolderLoadsItsFile) {
    const fs::path above = fs::path(app()).parent_path();
    std::ofstream(above / "oben.swf") << "x";
    Form5.Show();
    auto& d = Form5();
    doubleClickRow(d.Dir1, d.Dir1.ancestorCount() - 3);  // Effekts, the program folder, then above it
    ASSERT_EQ(d.Dir1.Path(), above.string());
    clickRow(d.File1, 0);
    ASSERT_EQ(d.File1.FileName(), "oben.swf");
    click(d.Command10);  // slot 1: "Effekt hier ablegen"
    EXPECT_EQ(d.Text2.Text(), above.string() + "\\oben.swf");
    click(d.Command14);  // "Laden"
    EXPECT_EQ(korvella::Form1->ShockwaveFlash1.Movie(), above.string() + "\\oben.swf");
    fs::remove(above / "oben.swf");
}

TEST_F(ListsTest, ALargePlaylistLoadsAndShowsAllItsRows) {
    const std::string name = app() + "/gross.bpl";
    {
        std::vector<std::string> lines;
        for (int i = 0; i < 10000; ++i) lines.push_back("Warte Millisekunden " + std::to_string(100 + i) + "_");
        platform::writeTextLines(name, lines);
    }
    auto& e = editor();
    dialogs.pushFile(name);
    click(e.Command6);  // "Lade Playlist"
    ASSERT_EQ(e.List1.ListCount(), 10000);
    advance(gui::View::kFrameMs);
    auto* w = widget<QListWidget>(e.List1);
    ASSERT_EQ(w->count(), 10000);
    EXPECT_EQ(w->item(0)->text(), "Warte Millisekunden 100");
    EXPECT_EQ(w->item(9999)->text(), "Warte Millisekunden 10099");
    // Rows removed and inserted afterwards follow one by one.
    clickRow(e.List1, 0);
    rightClickRow(e.List1, 0);
    e.List1.AddItem("neu", 5);
    advance(gui::View::kFrameMs);
    ASSERT_EQ(w->count(), 10000);
    EXPECT_EQ(w->item(0)->text(), "Warte Millisekunden 101");
    EXPECT_EQ(w->item(5)->text(), "neu");
    EXPECT_EQ(w->item(6)->text(), "Warte Millisekunden 106");
}

}  // namespace
}  // namespace operator_test
