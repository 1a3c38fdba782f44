// The ".bpl" playlist file: its bytes, the program folder taken out and put back, the names the
// save dialog may give, and files that are missing, empty, edited by hand or not writable.
#include "playlist_fixture.h"

#include <sys/stat.h>

namespace playlist_test {
namespace {

class PlaylistFileTest : public PlaylistTest {
protected:
    void save(const std::filesystem::path& name) {
        dialogs.pushFile(name.string());
        ed().Command5.setValue(true);
    }
    void load(const std::filesystem::path& name) {
        dialogs.pushFile(name.string());
        ed().Command6.setValue(true);
    }
    void writeFile(const std::filesystem::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
};

TEST_F(PlaylistFileTest, SavesEightBitLinesWithoutTheProgramFolderAndLoadsThemBack) {
    const std::string intro = ed().Dir1.Path() + "\\Intro.swf";
    const Rows playlist{{"Warte Kickbässe 4", ""},
                        {"Intro", intro},
                        {"DMXC Blitz", "3"},
                        {"Draußen", "/srv/show/x.swf"},
                        {"Bild.jpg", home.string() + "\\Effekts\\" + home.string() + ".jpg"}};
    setRows(playlist);
    save(home / "show");
    EXPECT_EQ(fileText(home / "show.bpl"), "Warte Kickb\xE4sse 4_\r\n"
                                           "Intro_\\Effekts\\Intro.swf\r\n"
                                           "DMXC Blitz_3\r\n"
                                           "Drau\xDF" "en_/srv/show/x.swf\r\n"
                                           "Bild.jpg_\\Effekts\\.jpg\r\n");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, platform::ScriptedDialogs::Kind::Save);
    EXPECT_EQ(dialogs.shown()[0].filter, "Recorder Files (*.bpl)|*bpl|");

    ed().Text3 = "3";
    ed().Text4 = "2";
    ed().HandleDMXC.AddItem("42");
    ed().List1.setListIndex(1);
    load(home / "show.bpl");
    EXPECT_EQ(dialogs.shown()[1].kind, platform::ScriptedDialogs::Kind::Open);
    EXPECT_EQ(dialogs.shown()[1].filter, "Recorder Files (*.bpl)|*bpl|");
    Rows back = playlist;
    back[4].second = home.string() + "\\Effekts\\.jpg";  // every copy of the folder was taken out
    EXPECT_EQ(rows(), back);
    EXPECT_EQ(ed().Text3.Text() + ed().Text4.Text(), "00");
    EXPECT_EQ(ed().HandleDMXC.ListCount(), 1);
    EXPECT_EQ(ed().List1.ListIndex(), -1);
}

TEST_F(PlaylistFileTest, NamesEmptyListsAndCancelledDialogs) {
    setRows({{"Zoom in", ""}});
    save(home / "a.bpl.old");
    save(home / "b.BPL");
    EXPECT_TRUE(std::filesystem::exists(home / "a.bpl.old"));
    EXPECT_EQ(fileText(home / "b.BPL.bpl"), "Zoom in_\r\n");
    dialogs.pushFile(std::nullopt);
    ed().Command5.setValue(true);  // nothing is written

    ed().List1.Clear();
    ed().List2.Clear();
    save(home / "b.BPL.bpl");  // replaces the whole file
    EXPECT_EQ(fileText(home / "b.BPL.bpl"), "");
    setRows({{"Zoom out", ""}});
    load(home / "b.BPL.bpl");
    EXPECT_EQ(rows(), Rows{});

    setRows({{"Zoom out", ""}});
    ed().Text3 = "1";
    ed().Text4 = "2";
    dialogs.pushFile(std::nullopt);
    ed().Command6.setValue(true);  // cancelling the open dialog changes nothing, the player's place included
    EXPECT_EQ(rows(), (Rows{{"Zoom out", ""}}));
    EXPECT_EQ(ed().Text3.Text() + ed().Text4.Text(), "12");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PlaylistFileTest, NamesWithUnderscoresAndUmlautsComeBackWhole) {
    const std::string fx = home.string() + "\\Effekts\\";
    const Rows playlist{{"Straße_1", fx + "Straße_1.swf"},
                        {"DMXC Grün_rot", "3"},
                        {"+DMXC a_b_12", "12"},
                        {"Warte Kickbässe 4", ""},
                        {"Über_all_", "/srv/show/Über_all_.swf"},
                        {"Kühl_", "C:\\Show\\Kühl_.swf"},
                        {"fx__neu", fx + "fx__neu.swf"},
                        {"Beamer Effekt entladen", ""},
                        {"DMXC entladen", ""}};
    setRows(playlist);
    save(home / "show.bpl");
    // The file format stays as it was: text, "_", stored value.
    EXPECT_EQ(fileText(home / "show.bpl"), "Stra\xDF" "e_1_\\Effekts\\Stra\xDF" "e_1.swf\r\n"
                                           "DMXC Gr\xFCn_rot_3\r\n"
                                           "+DMXC a_b_12_12\r\n"
                                           "Warte Kickb\xE4sse 4_\r\n"
                                           "\xDC" "ber_all__/srv/show/\xDC" "ber_all_.swf\r\n"
                                           "K\xFChl__C:\\Show\\K\xFChl_.swf\r\n"
                                           "fx__neu_\\Effekts\\fx__neu.swf\r\n"
                                           "Beamer Effekt entladen_\r\n"
                                           "DMXC entladen_\r\n");
    ed().List1.Clear(), ed().List2.Clear();
    load(home / "show.bpl");
    EXPECT_EQ(rows(), playlist);
    EXPECT_TRUE(dialogs.messages().empty());

    // The player runs what came back: the effect loads, the DMXControl entry presses button 3.
    const auto h = kommandoBox(4);
    movie("Straße_1.swf", 2);
    ed().Option2.setValue(true);
    ed().Timer1A.setEnabled(true);
    advance(2);
    EXPECT_EQ(Form1->ShockwaveFlash1.Movie(), fx + "Straße_1.swf");
    EXPECT_TRUE(Form1->ShockwaveFlash1.player().hasLayer(0));
    EXPECT_EQ(received(h[3]).size(), 2u);
    ed().Timer1A.setEnabled(false);
}

TEST_F(PlaylistFileTest, RowsTheCodePageCannotHoldAreNamedAndTheRestIsSaved) {
    const std::string fx = home.string() + "\\Effekts\\";
    setRows({{"Łódź", fx + "Łódź.swf"}, {"Warte Kickbässe 4", ""}, {"DMXC Żółw", "2"}, {"Grün", fx + "Grün.swf"}});
    save(home / "polen.bpl");
    EXPECT_EQ(fileText(home / "polen.bpl"), "?\xF3" "d?_\\Effekts\\?\xF3" "d?.swf\r\n"
                                            "Warte Kickb\xE4sse 4_\r\n"
                                            "DMXC ?\xF3?w_2\r\n"
                                            "Gr\xFCn_\\Effekts\\Gr\xFCn.swf\r\n");
    const std::string path = (home / "polen.bpl").string();
    ASSERT_EQ(dialogs.messages().size(), 1u);
    const auto box = dialogs.messages()[0];
    EXPECT_EQ(box.text, "Diese Einträge enthalten Zeichen, die die Datei nicht speichern kann; sie wurden mit \"?\" "
                        "an deren Stelle gespeichert:\r\n" + path + "\r\n\r\nEintrag 1: Łódź\r\nEintrag 3: DMXC Żółw");
    // As the editor's other save messages: OK and the exclamation mark, the program's title.
    EXPECT_EQ(box.style, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(box.title, forms::Application::title());

    // A playlist the code page holds saves without a word; many rows are named up to ten.
    dialogs.clear();
    ed().List1.Clear(), ed().List2.Clear();
    setRows({{"Grün", fx + "Grün.swf"}});
    save(home / "gut.bpl");
    EXPECT_TRUE(dialogs.messages().empty());
    for (int i = 0; i < 12; ++i) setRows({{"Ł" + std::to_string(i), fx + "Ł.swf"}});
    save(home / "viele.bpl");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    const std::string text = dialogs.messages()[0].text;
    EXPECT_NE(text.find("Eintrag 2: Ł0\r\n"), std::string::npos);
    EXPECT_NE(text.find("Eintrag 11: Ł9\r\n... und 2 weitere"), std::string::npos);
    EXPECT_EQ(text.find("Eintrag 12"), std::string::npos);
}

TEST_F(PlaylistFileTest, HandEditedAndBrokenFiles) {
    ed();
    // Lines the editor never writes load as the first "_" splits them: a trailing "_" after an
    // index or a word leaves the value before it.
    writeFile(home / "hand.bpl", "A_b_c\r\n\r\nZoom in\r\nDMXC x_7\nE_\\Effekts\\e.swf\rF_C:\\Show\\f.swf\r\n"
                                 "DMXC y_7_\r\n+DMXC z_4__\r\nG_h_\r\nDMXC entladen_\r\n");
    load(home / "hand.bpl");
    const Rows hand{{"A", home.string() + "b"},
                    {"Zoom in", ""},
                    {"DMXC x", "7"},
                    {"E", home.string() + "\\Effekts\\e.swf"},
                    {"F", "C:\\Show\\f.swf"},
                    {"DMXC y", "7"},
                    {"+DMXC z", "4"},
                    {"G", home.string() + "h"},
                    {"DMXC entladen", ""}};
    EXPECT_EQ(rows(), hand);
    EXPECT_TRUE(dialogs.messages().empty());

    // A missing file or a folder: one message each, and the playlist stays as it was.
    ed().Text3 = "2";
    load(home / "fehlt.bpl");
    EXPECT_EQ(rows(), hand);
    EXPECT_EQ(ed().Text3.Text(), "2");
    std::filesystem::create_directories(home / "ordner.bpl");
    load(home / "ordner.bpl");
    EXPECT_EQ(rows(), hand);
    ed().List1.Clear(), ed().List2.Clear();
    setRows({{"Zoom in", ""}});
    save(home / "kein" / "ordner" / "x.bpl");
    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[0].text.find("fehlt.bpl"), std::string::npos);
    EXPECT_NE(boxes[2].text.find("gespeichert"), std::string::npos);
    EXPECT_EQ(rows(), (Rows{{"Zoom in", ""}}));
}

// KORVELLA_HOME naming a file: the folder lookup fails inside each button's own error handling,
// so the operator reads why in its box instead of nothing happening.
TEST_F(PlaylistFileTest, AnUnusableProgramFolderIsReportedByEveryFileButton) {
    ed();
    writeFile(home / "liste.bpl", "Zoom in_\r\n");
    const std::string notAFolder = (home / "liste.bpl").string() + "/prog";
    setRows({{"Zoom in", ""}});
    ed().List4.AddItem("Blitz" + std::string(50, ' ') + "|/fx/b.swf");
    ::setenv("KORVELLA_HOME", notAFolder.c_str(), 1);
    save(home / "neu.bpl");
    load(home / "liste.bpl");
    ed().Command16.setValue(true);
    ::setenv("KORVELLA_HOME", home.c_str(), 1);

    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 3u);
    const std::string why = "Path not found: the program folder " + notAFolder + " cannot be used (Not a directory)";
    EXPECT_EQ(boxes[0].text, "Die Playlist konnte nicht gespeichert werden:\r\n" + (home / "neu.bpl").string() + "\r\n\r\n" + why);
    EXPECT_EQ(boxes[1].text, "Die Playlist konnte nicht geladen werden:\r\n" + (home / "liste.bpl").string() + "\r\n\r\n" + why);
    EXPECT_EQ(boxes[2].text, "Die Leerlauf Effekte konnten nicht gespeichert werden:\r\nLeerlaufliste.lrlst\r\n\r\n" + why);
    EXPECT_FALSE(std::filesystem::exists(home / "neu.bpl"));
    EXPECT_EQ(rows(), (Rows{{"Zoom in", ""}}));
}

// A pipe, a device or a folder where the file should be: refused with the reason, and a pipe
// saved onto stays a pipe (replacing it, or /dev/null as root, would break what reads it).
TEST_F(PlaylistFileTest, PipesDevicesAndFoldersAreRefusedWithTheReasonAndStayAsTheyAre) {
    ed();
    ASSERT_EQ(::mkfifo((home / "pipe.bpl").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((home / "Leerlaufliste.lrlst").c_str(), 0600), 0);
    std::filesystem::create_directories(home / "ordner.bpl");
    setRows({{"Zoom in", ""}});
    ed().List4.AddItem("Blitz" + std::string(50, ' ') + "|/fx/b.swf");
    save(home / "pipe.bpl");
    ed().Command16.setValue(true);
    load(home / "ordner.bpl");
    load("/dev/zero");
    load(home / "pipe.bpl");

    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 5u);
    const std::string notAFile = "\r\n\r\nPath/File access error: is a pipe (FIFO), not a file";
    EXPECT_EQ(boxes[0].text, "Die Playlist konnte nicht gespeichert werden:\r\n" + (home / "pipe.bpl").string() + notAFile);
    EXPECT_EQ(boxes[1].text,
              "Die Leerlauf Effekte konnten nicht gespeichert werden:\r\n" + (home / "Leerlaufliste.lrlst").string() + notAFile);
    EXPECT_EQ(boxes[2].text, "Die Playlist konnte nicht geladen werden:\r\n" + (home / "ordner.bpl").string() +
                                 "\r\n\r\nPath/File access error: is a folder");
    EXPECT_EQ(boxes[3].text, "Die Playlist konnte nicht geladen werden:\r\n/dev/zero\r\n\r\nPath/File access error: is a device or special file, not a file");
    EXPECT_EQ(boxes[4].text, "Die Playlist konnte nicht geladen werden:\r\n" + (home / "pipe.bpl").string() + notAFile);
    EXPECT_TRUE(std::filesystem::is_fifo(home / "pipe.bpl"));
    EXPECT_TRUE(std::filesystem::is_fifo(home / "Leerlaufliste.lrlst"));
}

TEST_F(PlaylistFileTest, AFileLargerThanAnyPlaylistIsRefusedUnread) {
    ed();
    setRows({{"Zoom in", ""}});
    writeFile(home / "gross.bpl", "");
    std::filesystem::resize_file(home / "gross.bpl", 17u << 20);
    load(home / "gross.bpl");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "Die Playlist konnte nicht geladen werden:\r\n" + (home / "gross.bpl").string() +
                                              "\r\n\r\nFile too large: more than 16 MB");
    EXPECT_EQ(rows(), (Rows{{"Zoom in", ""}}));
    // Just under the cap is a playlist like any other.
    std::ofstream(home / "gross.bpl", std::ios::binary) << "Zoom in_\r\n";
    std::filesystem::resize_file(home / "gross.bpl", 16u << 20);
    load(home / "gross.bpl");
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(rows().front(), (std::pair<std::string, std::string>{"Zoom in", ""}));
}

}  // namespace
}  // namespace playlist_test
