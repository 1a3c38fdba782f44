// Building the playlist in the editor: entries and their place, the number boxes and their
// guards, removing, duplicating, moving and clearing rows, and the preview of a clicked row.
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

using EditorTest = PlaylistTest;
const Rows kFive{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}};

TEST_F(EditorTest, EveryButtonAddsItsEntryAtTheEndAndScrollsThere) {
    auto& e = ed();
    for (int i = 0; i < 30; ++i) e.Command11.setValue(true);
    EXPECT_EQ(e.List1.TopIndex(), 29);
    e.List1.Clear();
    e.List2.Clear();
    for (auto* b : {&e.Command1, &e.Command2, &e.Command8, &e.Command9, &e.Command17, &e.Command18, &e.Command7,
                    &e.Command10, &e.Command11, &e.Command12, &e.Command15, &e.Command19})
        b->setValue(true);
    EXPECT_EQ(rows(), (Rows{{"Beaterkennung-Pause Kickbässe 4", ""}, {"Beaterkennung-Pause Millisekunden 5000", ""},
                            {"Warte Kickbässe 4", ""}, {"Warte Millisekunden 5000", ""},
                            {"StartStop-Pause Kickbässe 12", ""}, {"StartStop-Pause Millisekunden 5000", ""},
                            {"Effektwechsel wenn Effekt zuende ist", ""}, {"Beamer Effekt entladen", ""},
                            {"Zoom in", ""}, {"Zoom out", ""}, {"Zoom auf standard", ""}, {"DMXC entladen", ""}}));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(EditorTest, InsertOptionsPlaceTheEntryAtTheMarkedRowAndKeepTheMark) {
    auto& e = ed();
    setRows(kFive);
    e.Check2.setValue(1);
    e.List1.setListIndex(2);
    e.Command7.setValue(true);
    EXPECT_EQ(e.List1.List(3), "Effektwechsel wenn Effekt zuende ist");
    EXPECT_EQ(e.List2.List(3), "");
    EXPECT_EQ(e.List1.ListIndex(), 2);

    e.Check1.setValue(1);  // unticks Check2
    EXPECT_EQ(e.Check2.Value(), 0);
    e.List1.setListIndex(0);
    e.Command10.setValue(true);
    EXPECT_EQ(e.List1.List(0), "Beamer Effekt entladen");
    EXPECT_EQ(e.List1.ListIndex(), 1);
    EXPECT_EQ(e.List2.List(1), "1");
    e.Check1.setValue(0);
    EXPECT_EQ(e.Check2.Value(), 0);

    // An insert option with no marked row adds nothing.
    e.Check2.setValue(1);
    e.List1.setListIndex(-1);
    e.Command11.setValue(true);
    EXPECT_EQ(e.List1.ListCount(), 7);
}

TEST_F(EditorTest, NumberBoxesCheckWhatTheyAdd) {
    auto& e = ed();
    struct Case {
        forms::TextBox* box;
        std::string text;
        int key;  // 13: Enter in the box; 0: the add button clicked with the mouse
        forms::CommandButton* button;
        std::string boxAfter;
        std::string added;  // "" when nothing is added
        bool message;
    };
    const Case cases[] = {
        {&e.Text2, "49", 13, nullptr, "50", "", true},
        {&e.Text2, "abc", 13, nullptr, "5000", "", false},
        {&e.Text1, "12", 13, nullptr, "12", "Beaterkennung-Pause Kickbässe 12", false},
        {&e.Text6, "4.5", 13, nullptr, "4.5", "Warte Kickbässe 4.5", false},
        {&e.Text8, "", 0, &e.Command17, "12", "", false},
        {&e.Text9, "10", 0, &e.Command18, "50", "", true},
        {&e.Text9, "80", 0, &e.Command18, "80", "StartStop-Pause Millisekunden 80", false},
        {&e.Text7, " 7 7", 13, nullptr, "5000", "", false},
        // The lost-focus guard runs first: no message, its own values.
        {&e.Text1, "abc", 0, &e.Command1, "3", "Beaterkennung-Pause Kickbässe 3", false},
        {&e.Text6, "x", 0, &e.Command8, "1", "Warte Kickbässe 1", false},
        {&e.Text2, "0", 0, &e.Command2, "50", "Beaterkennung-Pause Millisekunden 50", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box->name() + " \"" + c.text + "\"");
        e.List1.Clear();
        e.List2.Clear();
        dialogs.clear();
        c.box->SetFocus();
        c.box->userEdit(c.text);
        if (c.key) {
            c.box->userKey(13, 13);
            EXPECT_EQ(e.focused(), c.box);
        } else {
            c.button->userClick();
        }
        EXPECT_EQ(c.box->Text(), c.boxAfter);
        EXPECT_EQ(rows(), (c.added.empty() ? Rows{} : Rows{{c.added, ""}}));
        EXPECT_EQ(boxes(), c.message ? std::vector<std::string>{"Fehler: Bitte nur Zahlen als Eingabewert verwenden (64)"}
                                     : std::vector<std::string>{});
    }
}

TEST_F(EditorTest, RemovingDuplicatingAndClearing) {
    auto& e = ed();
    setRows(kFive);
    e.List1.setListIndex(1);
    int del = 46;
    e.List1_KeyDown(del, 0);
    e.List1.setListIndex(2);
    e.List1_MouseDown(2, 0, 0, 0);
    EXPECT_EQ(rows(), (Rows{{"a", "1"}, {"c", "3"}, {"e", "5"}}));
    EXPECT_EQ(e.List1.ListIndex(), -1);
    e.List1_MouseDown(2, 0, 0, 0);  // nothing marked: nothing happens
    e.List1.userKeyDown(46);

    // A double click appends a copy whatever the insert options say.
    e.Check1.setValue(1);
    e.List1.userDblClickRow(0);
    EXPECT_EQ(rows(), (Rows{{"a", "1"}, {"c", "3"}, {"e", "5"}, {"a", "1"}}));

    for (const char* item : {"x", "y"}) e.List4.AddItem(item);
    e.List4.setListIndex(1);
    e.List1.setListIndex(2);  // a playlist click unmarks the idle list
    EXPECT_EQ(e.List4.ListIndex(), -1);
    e.List4.setListIndex(1);  // and the other way round
    EXPECT_EQ(e.List1.ListIndex(), -1);
    e.Command4.setValue(true);
    EXPECT_EQ(e.List4.items(), std::vector<std::string>{"x"});
    e.List1.setListIndex(3);
    e.Command4.setValue(true);
    EXPECT_EQ(rows(), (Rows{{"a", "1"}, {"c", "3"}, {"e", "5"}}));

    e.HandleDMXC.AddItem("77");
    e.Text3 = "2";
    e.Text4 = "5";
    dialogs.pushAnswer(platform::IDNO);
    e.Command3.setValue(true);
    EXPECT_EQ(e.List1.ListCount(), 3);
    e.Command3.setValue(true);  // the default answer is Yes
    EXPECT_EQ(boxes().at(1), "Licht Playlist entfernen: Sind Sie sicher dass Sie die komplette Licht-Playlist entfernen möchten? (4)");
    EXPECT_EQ(rows(), Rows{});
    EXPECT_EQ(e.HandleDMXC.ListCount(), 0);
    EXPECT_EQ(e.Text3.Text() + e.Text4.Text(), "00");
}

TEST_F(EditorTest, ArrowsMoveTheMarkedRowOfTheListClickedLast) {
    auto& e = ed();
    setRows(kFive);
    for (const char* s : {"x", "y", "z"}) e.List4.AddItem(s);
    e.List1.setListIndex(1);
    e.Command14.setValue(true);
    e.Command14.setValue(true);
    EXPECT_EQ(rows(), (Rows{{"a", "1"}, {"c", "3"}, {"d", "4"}, {"b", "2"}, {"e", "5"}}));
    EXPECT_EQ(e.List1.ListIndex(), 3);
    // The mark runs the preview of the moved entry, with its own value.
    EXPECT_EQ(preview.at(preview.size() - 2).what, "LoadMovie 0 2");
    e.Command13.setValue(true);
    EXPECT_EQ(e.List1.List(2), "b");
    EXPECT_EQ(e.List2.List(2), "2");

    e.List4.setListIndex(0);
    e.Command14.setValue(true);
    EXPECT_EQ(e.List4.items(), (std::vector<std::string>{"y", "x", "z"}));
    EXPECT_TRUE(dialogs.shown().empty());

    e.List4.setListIndex(0);
    e.Command13.setValue(true);
    e.List1.setListIndex(4);
    e.Command14.setValue(true);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Eintrag Verschieben: Der Eintrag ist bereits ganz oben (64)",
                                                 "Eintrag Verschieben: Der Eintrag ist bereits ganz unten (64)"}));
    EXPECT_EQ(e.List4.items(), (std::vector<std::string>{"y", "x", "z"}));
    EXPECT_EQ(e.List1.List(4), "e");
}

TEST_F(EditorTest, ClickingARowPreviewsItsValueInTheEditorOnly) {
    auto& e = ed();
    const std::string path = movie("Intro.swf", 3);
    setRows({{"Intro", path}, {"Zoom in", ""}});
    e.List1.userClickRow(0);
    e.List1.userClickRow(1);
    const double t = now();
    EXPECT_EQ(preview, (std::vector<Call>{{t, "LoadMovie 0 " + path}, {t, "Play"}, {t, "LoadMovie 0 "}, {t, "Play"}}));
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace playlist_test
