// The live desk's window: what a load gives, the fifteen settings kept in the registry, the
// proportional layout, hiding and closing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "live_fixture.h"

namespace korvella_test {
namespace {

using korvella::Form5Window;

const std::vector<std::string> kEntries{"Keine Taste", "F1", "F2", "F3", "F4", "F5", "F6",
                                        "F7",          "F8", "F9", "F10", "F11", "F12"};

std::vector<forms::ComboBox*> hotKeyBoxes(Form5Window& d) {
    return {&d.Combo1, &d.Combo2, &d.Combo3, &d.Combo4, &d.Combo5, &d.Combo6, &d.Combo7, &d.Combo8};
}

std::string saved(const std::string& name) { return platform::RegRead(std::string(Form5Window::kSaveKey) + name); }

class DeskWindowTest : public LiveDeskTest {};

TEST_F(DeskWindowTest, FirstLoadWithoutSettingsIsHiddenInTheCornerWithEmptySlotsAndNoKeys) {
    Form5Window& d = desk();
    EXPECT_FALSE(d.Visible());
    EXPECT_EQ(d.Left(), 0);
    EXPECT_EQ(d.Top(), 45);  // 40 twips, on the pixel grid
    EXPECT_EQ(d.Dir1.Path(), app + "\\Effekts");
    EXPECT_EQ(d.File1.Path(), app + "\\Effekts");
    for (forms::ComboBox* box : hotKeyBoxes(d)) {
        EXPECT_EQ(box->items(), kEntries) << box->name();
        EXPECT_EQ(box->ListIndex(), -1);
    }
    for (auto* t : {&d.Text2, &d.Text3, &d.Text4, &d.Text5}) EXPECT_EQ(t->Text(), "");
    for (auto* t : {&d.Text6, &d.Text7, &d.Text8, &d.Text9}) EXPECT_EQ(t->Text(), "0");
    // One record per control, taken at load: the save button's, with the inner size.
    ASSERT_EQ(d.Geometry.size(), d.Controls().size());
    const auto i = std::find(d.Controls().begin(), d.Controls().end(), &d.Command18) - d.Controls().begin();
    EXPECT_EQ(d.Geometry[i], (korvella::ControlGeometry{10920, 120, 11535, 375, 11700, 11760, 8}));
}

TEST_F(DeskWindowTest, SettingsSurviveSaveUnloadAndLoadAndNothingElseDoes) {
    Form5Window& d = desk();
    const std::vector<std::string> keys{"F5", "F2", "F2", "F12", "Keine Taste", "F1", "F7", ""};
    for (std::size_t k = 0; k < 8; ++k) hotKeyBoxes(d)[k]->setText(keys[k]);
    d.Text2 = "\\Effekts\\Puls.swf";
    d.Text3 = "\\Effekts\\Unter Ordner\\Ä.swf";
    d.Text5 = "x";
    d.Text7.userEdit("3");
    d.Text8.userEdit("12");
    d.Check1.setValue(1);
    d.Option3.setValue(true);
    d.VScroll2.setValue(10);
    d.HScroll1.setValue(200);
    d.Command18.userClick();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(saved("Save6"), "F1");
    EXPECT_EQ(saved("Save15"), "");  // nothing chosen

    ASSERT_TRUE(Form5.Unload(0));
    Form5Window& again = desk();
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(hotKeyBoxes(again)[k]->Text(), keys[k]) << k;
    EXPECT_EQ(again.Text2.Text(), "\\Effekts\\Puls.swf");
    EXPECT_EQ(again.Text3.Text(), "\\Effekts\\Unter Ordner\\Ä.swf");
    EXPECT_EQ(again.Text5.Text(), "x");
    EXPECT_EQ(again.Text7.Text(), "3");
    EXPECT_EQ(again.Text8.Text(), "12");
    EXPECT_EQ(again.Check1.Value(), 0);
    EXPECT_TRUE(again.Option1.Value());
    EXPECT_EQ(again.VScroll2.Value(), 0);
    EXPECT_EQ(again.Timer3.Interval(), 100);
}

TEST_F(DeskWindowTest, ValuesTheDeskCannotTakeLeaveTheDesignValue) {
    const std::string key = Form5Window::kSaveKey;
    platform::RegWrite(key + "Save1", "F13");
    platform::RegWrite(key + "Save2", "f5");  // the drop-down list takes its own entry
    platform::RegWrite(key + "Save5", "Strobe!");
    platform::RegWrite(key + "Save11", "123");  // a layer box holds two characters
    platform::RegWrite(key + "Save12", "x");
    Form5Window& d = desk();
    EXPECT_EQ(d.Combo1.ListIndex(), -1);
    EXPECT_EQ(d.Combo2.Text(), "F5");
    EXPECT_EQ(d.Combo5.ListIndex(), -1);
    EXPECT_EQ(d.Text7.Text(), "12");
    EXPECT_EQ(d.Text8.Text(), "x");
    EXPECT_EQ(d.Text9.Text(), "0");
    EXPECT_EQ(forms::lastUnhandled().number, 0);

    // A store that is no INI file at all reads as no settings.
    ASSERT_TRUE(Form5.Unload(0));
    std::ofstream(platform::registryFilePath(), std::ios::binary | std::ios::trunc) << std::string("\0\xff[[=\n\x01", 7);
    Form5Window& fresh = desk();
    EXPECT_EQ(fresh.Combo2.ListIndex(), -1);
    EXPECT_EQ(fresh.Text7.Text(), "0");
}

TEST_F(DeskWindowTest, AStoreThatCannotBeWrittenSavesNothingSilently) {
    Form5Window& d = desk();
    d.Combo1.setText("F5");
    const fs::path own = fs::path(tempPath("x")).parent_path();
    std::ofstream(own / "blocker") << "a file where the store's folder should be";
    platform::setConfigDir((own / "blocker" / "korvella").string());
    d.Command18.userClick();
    platform::setConfigDir(own.string());
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(forms::lastUnhandled().number, 0);
    EXPECT_THROW(saved("Save1"), platform::VbError);
}

TEST_F(DeskWindowTest, AMissingEffectsFolderIsMadeAndAnUnusableOneStillLetsTheDeskOpen) {
    struct HomeGuard {
        std::string old = std::getenv("KORVELLA_HOME");
        ~HomeGuard() { ::setenv("KORVELLA_HOME", old.c_str(), 1); }
    } guard;
    const fs::path home = fs::path(tempPath("home"));
    fs::create_directories(home);
    ::setenv("KORVELLA_HOME", home.c_str(), 1);
    EXPECT_EQ(desk().Dir1.Path(), home.string() + "\\Effekts");
    EXPECT_TRUE(fs::is_directory(home / "Effekts"));

    ASSERT_TRUE(Form5.Unload(0));
    fs::remove_all(home / "Effekts");
    std::ofstream(home / "Effekts") << "not a folder";
    Form5Window& d = desk();
    EXPECT_EQ(d.Dir1.Path(), "");
    EXPECT_EQ(d.File1.ListCount(), 0);
    EXPECT_EQ(d.Combo1.ListCount(), 13);  // the rest of the load still ran
}

TEST_F(DeskWindowTest, TheMenuShowsTheDeskAKickLoadedWithoutLoadingItAgain) {
    LoadLog log;
    frmBeats.Show();
    EXPECT_EQ(Form5->Check1.Value(), 0);  // as the beat road reads it
    Form5->VScroll2.setValue(5);
    beats().Livesteuerng.userClick();
    EXPECT_TRUE(Form5->Visible());
    EXPECT_EQ(Form5->VScroll2.Value(), 5);
    EXPECT_EQ(std::count(log.loaded.begin(), log.loaded.end(), "Form5"), 1);
}

TEST_F(DeskWindowTest, ResizingScalesEveryControlFromTheRecordsTakenAtLoad) {
    Form5.Show();
    Form5Window& d = Form5();
    struct Box {
        double l, t, w, h;
    };
    std::vector<Box> design;
    for (auto* c : d.Controls()) design.push_back({c->Left(), c->Top(), c->Width(), c->Height()});
    d.setClientSize(2 * 11760, 2 * 11700);
    for (std::size_t i = 0; i < design.size(); ++i) {
        const forms::Control* c = d.Controls()[i];
        if (c->kind() == forms::Kind::Line) continue;  // no position of its own
        EXPECT_EQ(c->Left(), 2 * design[i].l) << c->name();
        EXPECT_EQ(c->Top(), 2 * design[i].t) << c->name();
        if (c->kind() == forms::Kind::Timer) continue;
        EXPECT_EQ(c->Width(), 2 * design[i].w) << c->name();
        EXPECT_EQ(c->Height(), 2 * design[i].h) << c->name();
    }
    d.setWindowState(1);
    EXPECT_EQ(d.Command18.Width(), 0);
    d.setWindowState(0);
    d.setClientSize(11760, 11700);
    for (std::size_t i = 0; i < design.size(); ++i) {
        EXPECT_EQ(d.Controls()[i]->Left(), design[i].l);
        EXPECT_EQ(d.Controls()[i]->Height(), design[i].h);
    }
}

TEST_F(DeskWindowTest, HiddenTheHotKeysGoOnClosedTheyStopUntilTheNextLoad) {
    Form5.Show();
    Form5->Combo8.setText("F3");
    Form5->Command18.userClick();
    Form5->Command28.userClick();  // "Verstecken"
    EXPECT_FALSE(Form5->Visible());
    keys.tap(114);
    advance(5);
    EXPECT_FALSE(Form1->ShockwaveFlash1.Visible());

    Form1->ShockwaveFlash1.setVisible(true);
    ASSERT_TRUE(Form5.Unload(0));  // the close box
    keys.tap(114);
    advance(20);
    EXPECT_TRUE(Form1->ShockwaveFlash1.Visible());
    EXPECT_EQ(desk().Combo8.Text(), "F3");  // read anew
    keys.tap(114);
    advance(5);
    EXPECT_FALSE(Form1->ShockwaveFlash1.Visible());
}

}  // namespace
}  // namespace korvella_test
