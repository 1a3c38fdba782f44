#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "forms/conv.h"
#include "forms/form.h"
#include "platform/storage/files.h"
#include "support/fixture.h"

using namespace forms;

namespace {

std::vector<std::string> g_log;

// The selected rows of a list, as "0,2,3".
std::string selection(const ListBox& l) {
    std::string out;
    for (int i = 0; i < l.ListCount(); ++i)
        if (l.Selected(i)) out += (out.empty() ? "" : ",") + std::to_string(i);
    return out;
}

// A small window with one control of each kind the tests need.
class TestForm : public Form {
public:
    TestForm() : Form("TestForm", "Test") {
        Text1.onChange = [this] { g_log.push_back("Text1_Change " + Text1.Text()); };
        Command1.onClick = [this] { g_log.push_back("Command1_Click"); };
        Check1.onClick = [this] { g_log.push_back("Check1_Click " + std::to_string(Check1.Value())); };
        HScroll1.onChange = [this] { g_log.push_back("HScroll1_Change " + std::to_string(HScroll1.Value())); };
        Option1.onClick = [] { g_log.push_back("Option1_Click"); };
        Option2.onClick = [] { g_log.push_back("Option2_Click"); };
        List1.onClick = [this] { g_log.push_back("List1_Click " + std::to_string(List1.ListIndex())); };
        List1.onDblClick = [this] { g_log.push_back("List1_DblClick " + selection(List1)); };
        List1.onMouseDown = [](int button, int shift, double, double) {
            g_log.push_back("List1_MouseDown " + std::to_string(button) + " " + std::to_string(shift));
        };
        List1.onMouseUp = [](int button, int, double, double) { g_log.push_back("List1_MouseUp " + std::to_string(button)); };
        Dir1.onChange = [this] { g_log.push_back("Dir1_Change " + Dir1.Path()); };
        Dir1.onClick = [this] { g_log.push_back("Dir1_Click " + std::to_string(Dir1.ListIndex())); };
        Timer1.onTimer = [] { g_log.push_back("Timer1_Timer"); };
        Text1.onLostFocus = [] { g_log.push_back("Text1_LostFocus"); };
    }
    void Form_Load() override {
        ++loads;
        g_log.push_back("Form_Load");
    }
    void Form_QueryUnload(int& cancel, int mode) override {
        g_log.push_back("Form_QueryUnload " + std::to_string(mode));
        cancel = cancelQuery;
    }
    void Form_Unload(int& cancel) override {
        g_log.push_back("Form_Unload");
        cancel = cancelUnload;
    }
    void Form_Resize() override { g_log.push_back("Form_Resize"); }

    TextBox Text1{this, "Text1"};
    CommandButton Command1{this, "Command1", "Start"};
    CheckBox Check1{this, "Check1", "Auto", 1};
    ScrollBar HScroll1{this, "HScroll1", true, 25, 32000, 85};
    OptionButton Option1{this, "Option1", "Rot", true};
    OptionButton Option2{this, "Option2", "Blau"};
    Frame Frame1{this, "Frame1", "Farben"};
    OptionButton Option3{this, "Option3", "Weiss", true, &Frame1};
    ListBox List1{this, "List1"};
    DirListBox Dir1{this, "Dir1"};
    Timer Timer1{this, "Timer1", 100, true};
    int loads = 0;
    int cancelQuery = 0;
    int cancelUnload = 0;
};

FormSlot<TestForm> testForm("TestForm");

class FormsTest : public testsupport::VirtualTest {
protected:
    FormsTest() { g_log.clear(); }
};

TEST_F(FormsTest, TextWriteRunsChangeOnlyWhenTheTextDiffersAlsoThroughWmSettext) {
    auto& f = testForm();
    g_log.clear();
    f.Text1.setText("1");
    f.Text1.setText("1");
    EXPECT_EQ(g_log, (std::vector<std::string>{"Text1_Change 1"}));
    windows().sendMessage(f.Text1.hWnd(), platform::WM_SETTEXT, 0, reinterpret_cast<LPARAM>("2"));
    windows().sendMessage(f.Text1.hWnd(), platform::WM_SETTEXT, 0, reinterpret_cast<LPARAM>("2"));
    EXPECT_EQ(g_log, (std::vector<std::string>{"Text1_Change 1", "Text1_Change 2"}));
    EXPECT_EQ(windows().getWindowText(f.Text1.hWnd()), "2");
    // "" into an empty box raises nothing either.
    f.Text1.setText("");
    g_log.clear();
    f.Text1.setText("");
    EXPECT_TRUE(g_log.empty());
}

// The registry reads a text box's window text from the box itself. A text set on the window apart
// from the box (a replaced procedure handing WM_SETTEXT to the default one) is the window's until
// the box changes again; observers that follow changes see every change, those that do not none.
TEST_F(FormsTest, TheWindowTextFollowsTheBoxAndATextSetApartStaysUntilTheBoxChanges) {
    auto& f = testForm();
    struct Count : platform::WindowRegistry::Observer {
        platform::HWND watched = 0;
        bool follows = true;
        int changes = 0, messages = 0;
        void windowChanged(platform::HWND h) override { changes += h == watched; }
        void messageSent(platform::HWND h, platform::UINT, platform::WPARAM, platform::LPARAM) override { messages += h == watched; }
        bool followsWindowChanges() const override { return follows; }
    } following, notFollowing;
    const platform::HWND h = f.Text1.hWnd();
    following.watched = notFollowing.watched = h;
    notFollowing.follows = false;
    for (bool withFollower : {false, true}) {
        SCOPED_TRACE(withFollower);
        following.changes = notFollowing.changes = 0;
        windows().addObserver(&notFollowing);
        if (withFollower) windows().addObserver(&following);
        f.Text1.setText("eins");
        EXPECT_EQ(windows().getWindowText(h), "eins");
        f.Text1.setText("eins");  // no change
        const platform::WndProc own = windows().setWindowProc(h, platform::defWindowProc);
        windows().sendMessage(h, platform::WM_SETTEXT, 0, reinterpret_cast<LPARAM>("apart"));
        EXPECT_EQ(windows().getWindowText(h), "apart");
        EXPECT_EQ(f.Text1.Text(), "eins");
        f.Text1.setText("zwei");
        EXPECT_EQ(windows().getWindowText(h), "zwei");
        windows().sendMessage(h, platform::WM_SETTEXT, 0, reinterpret_cast<LPARAM>("zwei"));  // no change
        windows().setWindowProc(h, own);
        f.Text1.setText("drei");
        EXPECT_EQ(windows().getWindowText(h), "drei");
        char buf[8] = {};
        EXPECT_EQ(windows().sendMessage(h, platform::WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 4);
        EXPECT_STREQ(buf, "drei");
        // eins, apart, zwei, drei
        EXPECT_EQ(following.changes, withFollower ? 4 : 0);
        EXPECT_EQ(notFollowing.changes, 0);
        EXPECT_EQ(notFollowing.messages, 3 * (withFollower ? 2 : 1));
        windows().removeObserver(&notFollowing);
        windows().removeObserver(&following);
        f.Text1.setText("");
    }
}

TEST_F(FormsTest, MaxLengthCutsCodeWritesButNotRawMessages) {
    auto& f = testForm();
    f.Text1.MaxLength = 5;
    f.Text1.setText("Longer than five");
    EXPECT_EQ(f.Text1.Text(), "Longe");
    windows().sendMessage(f.Text1.hWnd(), platform::WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Longer than five"));
    EXPECT_EQ(f.Text1.Text(), "Longer than five");
    f.Text1.setText("äöüßxyz");
    EXPECT_EQ(f.Text1.Text(), "äöüßx");  // characters, not bytes
}

TEST_F(FormsTest, TouchingAnUnloadedFormLoadsItHiddenOnceAndUnloadGivesDesignValuesBack) {
    EXPECT_FALSE(testForm.isLoaded());
    testForm->Text1.setText("changed");
    EXPECT_TRUE(testForm.isLoaded());
    EXPECT_FALSE(testForm->Visible());
    EXPECT_EQ(testForm->loads, 1);
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "Form_Load"), 1);
    testForm->HScroll1.setValue(300);

    EXPECT_TRUE(testForm.Unload());
    EXPECT_FALSE(testForm.isLoaded());
    EXPECT_EQ(testForm->Text1.Text(), "");
    EXPECT_EQ(testForm->HScroll1.Value(), 85);
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "Form_Load"), 2);
}

TEST_F(FormsTest, UnloadRunsBothHooksAndEitherCanCancel) {
    testForm().cancelQuery = 1;
    g_log.clear();
    EXPECT_FALSE(testForm.Unload(0));
    EXPECT_EQ(g_log, (std::vector<std::string>{"Form_QueryUnload 0"}));
    EXPECT_TRUE(testForm.isLoaded());

    testForm().cancelQuery = 0;
    testForm().cancelUnload = 1;
    g_log.clear();
    EXPECT_FALSE(testForm.Unload(1));
    EXPECT_EQ(g_log, (std::vector<std::string>{"Form_QueryUnload 1", "Form_Unload"}));

    testForm().cancelUnload = 0;
    const HWND text = testForm().Text1.hWnd();
    EXPECT_TRUE(testForm.Unload(1));
    EXPECT_FALSE(windows().isWindow(text));
    g_log.clear();
    EXPECT_TRUE(testForm.Unload(1));  // unloading an unloaded form raises nothing
    EXPECT_TRUE(g_log.empty());
}

TEST_F(FormsTest, TimersOfAHiddenFormTickAndStopWithTheUnload) {
    testForm.Load();
    g_log.clear();
    advance(250);
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "Timer1_Timer"), 2);
    testForm.Unload();
    g_log.clear();
    advance(250);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(FormsTest, ScrollBarRefusesValuesOutsideItsRange) {
    auto& s = testForm().HScroll1;
    g_log.clear();
    try {
        s.setValue(32250);
        FAIL() << "no error";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 380);
        EXPECT_EQ(e.description(), "Invalid property value");
    }
    EXPECT_EQ(s.Value(), 85);
    EXPECT_TRUE(g_log.empty());
    try {
        s.setValue(40000);
        FAIL() << "no error";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    s.setValue(32000);
    s.setValue(32000);
    EXPECT_EQ(g_log, (std::vector<std::string>{"HScroll1_Change 32000"}));
    // A bar whose Min exceeds Max runs backwards and accepts values between them.
    ScrollBar back(&testForm(), "VScroll9", false, 160, 95, 122);
    back.setValue(95);
    back.userStep(1);  // one step towards Max decreases
    EXPECT_EQ(back.Value(), 95);
    back.userStep(-1);
    EXPECT_EQ(back.Value(), 96);
    // Narrowing the range clamps the value with a Change.
    g_log.clear();
    s.setMax(1000);
    EXPECT_EQ(s.Value(), 1000);
    EXPECT_EQ(g_log, (std::vector<std::string>{"HScroll1_Change 1000"}));
}

TEST_F(FormsTest, CheckAndOptionButtonsRunClickOnChangeOnly) {
    auto& f = testForm();
    g_log.clear();
    f.Check1.setValue(1);
    f.Check1.setValue(0);
    EXPECT_THROW(f.Check1.setValue(-1), VbError);
    EXPECT_EQ(windows().sendMessage(f.Check1.hWnd(), platform::BM_GETCHECK), 0);
    f.Option2.setValue(true);
    f.Option2.setValue(true);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Check1_Click 0", "Option2_Click"}));
    EXPECT_FALSE(f.Option1.Value());
    EXPECT_TRUE(f.Option3.Value());  // another container, another group
    // A button pressed by code or by messages.
    g_log.clear();
    f.Command1.setValue(true);
    windows().sendMessage(f.Command1.hWnd(), platform::WM_LBUTTONDOWN);
    windows().sendMessage(f.Command1.hWnd(), platform::WM_LBUTTONUP);
    windows().sendMessage(f.hWnd(), platform::WM_COMMAND, 0, f.Command1.hWnd());
    EXPECT_EQ(g_log, (std::vector<std::string>{"Command1_Click", "Command1_Click", "Command1_Click"}));
}

TEST_F(FormsTest, ClickingAButtonTakesTheFocusFromATextBoxFirst) {
    auto& f = testForm();
    f.Text1.SetFocus();
    g_log.clear();
    f.Command1.userClick();
    EXPECT_EQ(g_log, (std::vector<std::string>{"Text1_LostFocus", "Command1_Click"}));
}

TEST_F(FormsTest, ListBoxInsertRemoveSelectionAndOutOfRangeReads) {
    auto& l = testForm().List1;
    l.AddItem("a");
    l.AddItem("c");
    l.setListIndex(1);
    l.AddItem("b", 1);  // the selection moves with its item
    EXPECT_EQ(l.ListIndex(), 2);
    EXPECT_EQ(l.List(1), "b");
    EXPECT_EQ(l.List(3), "");
    EXPECT_EQ(l.List(-1), "");
    EXPECT_THROW(l.List(-2), VbError);
    try {
        l.AddItem("x", 5);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 5);
    }
    g_log.clear();
    l.setListIndex(2);  // unchanged: no Click
    EXPECT_TRUE(g_log.empty());
    try {
        l.setListIndex(3);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 380);
    }
    try {
        (void)l.Selected(3);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 381);
    }
    l.RemoveItem(2);
    EXPECT_EQ(l.ListIndex(), -1);
    EXPECT_THROW(l.RemoveItem(2), VbError);
    l.setSelected(0, true);
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_Click 0"}));
    EXPECT_EQ(l.Text(), "a");
    l.Clear();
    EXPECT_EQ(l.ListCount(), 0);
    EXPECT_EQ(l.ListIndex(), -1);
}

TEST_F(FormsTest, EveryUserClickOnASingleSelectListRaisesClickAndADoubleClickOneClickThenDblClick) {
    auto& l = testForm().List1;
    for (const char* item : {"a", "b", "c", "d"}) l.AddItem(item);
    g_log.clear();
    l.userClickRow(1);
    l.userClickRow(1);  // the selected row fired again
    l.setListIndex(1);  // a code write of the same index: nothing
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_MouseDown 1 0", "List1_Click 1", "List1_MouseUp 1",
                                               "List1_MouseDown 1 0", "List1_Click 1", "List1_MouseUp 1"}));
    g_log.clear();
    l.userDblClickRow(2);
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_MouseDown 1 0", "List1_Click 2", "List1_MouseUp 1",
                                               "List1_DblClick 2", "List1_MouseUp 1"}));
    // The right button reports itself and leaves the selection alone; so does a click below the rows.
    g_log.clear();
    l.userRightClickRow(0, 1);
    l.userClickRow(-1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_MouseDown 2 1", "List1_MouseUp 2", "List1_MouseDown 1 0",
                                               "List1_MouseUp 1"}));
    EXPECT_EQ(l.ListIndex(), 2);
    // Keys move the selection with Click; a handler zeroing the key code stops them.
    g_log.clear();
    l.userKeyDown(0x28);
    l.userKeyDown(0x28);  // already at the last row
    l.userKeyDown(0x24);
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_Click 3", "List1_Click 0"}));
    // A disabled list takes no clicks.
    l.setEnabled(false);
    g_log.clear();
    l.userClickRow(2);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(FormsTest, ExtendedAndSimpleListsSelectAsTheDesktopDoes) {
    auto& l = testForm().List1;
    l.MultiSelect = 2;
    for (const char* item : {"a", "b", "c", "d", "e"}) l.AddItem(item);
    l.userClickRow(0);
    l.userClickRow(2);
    EXPECT_EQ(selection(l), "2") << "a plain click selects only its row";
    l.userClickRow(4, 2);
    EXPECT_EQ(selection(l), "2,4") << "Ctrl adds";
    l.userClickRow(2, 2);
    EXPECT_EQ(selection(l), "4") << "Ctrl toggles";
    l.userClickRow(0, 1);
    EXPECT_EQ(selection(l), "0,1,2") << "Shift: from the anchor (the last click without Shift) to the row";
    l.userClickRow(4, 3);
    EXPECT_EQ(selection(l), "0,1,2,3,4") << "Ctrl+Shift adds the range";
    g_log.clear();
    l.userDblClickRow(3);
    EXPECT_EQ(g_log, (std::vector<std::string>{"List1_MouseDown 1 0", "List1_Click 3", "List1_MouseUp 1",
                                               "List1_DblClick 3", "List1_MouseUp 1"}))
        << "one Click, and DblClick with only the double-clicked row selected";
    l.userKeyDown(0x28);
    EXPECT_EQ(selection(l), "4");

    l.Clear();
    l.MultiSelect = 1;
    for (const char* item : {"a", "b", "c"}) l.AddItem(item);
    l.userClickRow(0);
    l.userClickRow(2);
    EXPECT_EQ(selection(l), "0,2") << "a simple list toggles row by row";
    l.userClickRow(0, 2);
    EXPECT_EQ(selection(l), "2");
}

TEST_F(FormsTest, FolderListShowsItsAncestorsAndOpensUpAndDown) {
    namespace fs = std::filesystem;
    const std::string app = platform::appPath();
    fs::create_directories(app + "/Effekts/Feuer/Rot");
    fs::create_directories(app + "/Effekts/Wasser");
    auto& d = testForm().Dir1;
    d.setPath(app + "\\Effekts");
    g_log.clear();
    EXPECT_EQ(d.Path(), app + "\\Effekts");
    EXPECT_EQ(d.ListCount(), 2);
    EXPECT_EQ(d.List(0), app + "\\Effekts\\Feuer");
    EXPECT_EQ(d.List(1), app + "\\Effekts\\Wasser");
    EXPECT_EQ(d.ListIndex(), -1) << "the current folder is marked";
    EXPECT_EQ(d.List(-1), d.Path());
    EXPECT_EQ(d.List(-2), app);
    EXPECT_EQ(d.List(-d.ancestorCount()), "/");
    EXPECT_EQ(d.rowName(-1), "Effekts");
    EXPECT_THROW(d.List(-d.ancestorCount() - 1), VbError);

    // A click marks, a double click opens: down into Feuer, then Rot, then back up to Effekts.
    d.userClickRow(0);
    EXPECT_EQ(d.Path(), app + "\\Effekts");
    d.userDblClickRow(0);
    d.userDblClickRow(0);
    EXPECT_EQ(d.Path(), app + "\\Effekts\\Feuer\\Rot");
    EXPECT_EQ(d.ListCount(), 0);
    d.userClickRow(-3);
    d.userKeyDown(0x0D);  // Enter opens the marked row
    EXPECT_EQ(g_log, (std::vector<std::string>{"Dir1_Click 0", "Dir1_Click 0", "Dir1_Change " + app + "\\Effekts\\Feuer",
                                               "Dir1_Click 0", "Dir1_Change " + app + "\\Effekts\\Feuer\\Rot",
                                               "Dir1_Click -3", "Dir1_Change " + app + "\\Effekts"}));
    EXPECT_EQ(d.Path(), app + "\\Effekts");

    // Up past the program folder and down again: the same text as before, one separator style.
    d.userDblClickRow(-2);
    EXPECT_EQ(d.Path(), app);
    d.userDblClickRow(-2);
    const int back = [&] {
        for (int i = 0; i < d.ListCount(); ++i)
            if (d.List(i) == app) return i;
        return -1;
    }();
    ASSERT_GE(back, 0) << "the program folder is listed under its parent by its own path";
    d.userDblClickRow(back);
    EXPECT_EQ(d.Path(), app);
    // The same folder written otherwise is no change; a missing one raises 76 and keeps the path.
    g_log.clear();
    d.setPath(app + "/");
    EXPECT_TRUE(g_log.empty());
    try {
        d.setPath(app + "\\fehlt");
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 76);
    }
    EXPECT_EQ(d.Path(), app);
    // A folder removed after it was listed: opening it shows what is there now.
    fs::create_directories(app + "/Weg");
    d.setPath(app + "/Weg");
    d.setPath(app);
    fs::remove(app + "/Weg");
    for (int i = 0; i < d.ListCount(); ++i)
        if (d.List(i) == app + "\\Weg") d.userDblClickRow(i);
    EXPECT_EQ(d.Path(), app);
}

TEST_F(FormsTest, DropDownListTextSelectsAnItemOrIsRefused) {
    ComboBox c(&testForm(), "Combo1");
    c.AddItem("F1");
    c.AddItem("F2");
    c.setText("f2");
    EXPECT_EQ(c.ListIndex(), 1);
    EXPECT_EQ(c.Text(), "F2");
    try {
        c.setText("F13");
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 383);
        EXPECT_EQ(e.description(), "'Text' property is read-only");
    }
    EXPECT_EQ(c.Text(), "F2");
    c.setText("");
    EXPECT_EQ(c.ListIndex(), -1);
}

TEST_F(FormsTest, ShowResizesOnceAndWindowStateOnAHiddenFormWaitsForShow) {
    auto& f = testForm();
    f.Move(0, 0, 6000, 4500);
    g_log.clear();
    f.setWindowState(2);
    EXPECT_TRUE(g_log.empty());  // hidden: applies at the next Show
    EXPECT_EQ(f.Width(), 6000);
    f.Show();
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.Width(), 1920 * 15);
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "Form_Resize"), 1);
    g_log.clear();
    f.setWindowState(0);
    EXPECT_EQ(f.Width(), 6000);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Form_Resize"}));
    f.setWindowState(1);
    EXPECT_EQ(f.ScaleWidth(), 0);
    f.setWindowState(0);
    f.setBorderStyle(0);
    EXPECT_EQ(f.ScaleWidth(), f.Width());  // a borderless window is all inner area
}

TEST_F(FormsTest, SkippedStatementsAndUnhandledErrors) {
    auto& s = testForm().HScroll1;
    platform::Err().clear();
    EXPECT_FALSE(tryStmt([&] { s.setValue(99999); }));
    EXPECT_EQ(platform::Err().number, 6);
    EXPECT_TRUE(tryStmt([&] { s.setValue(100); }));
    EXPECT_EQ(platform::Err().number, 6);  // a later good statement does not clear Err
    EXPECT_TRUE(condOrTrue([&]() -> bool { platform::raise(13); }));

    // A tick handler that fails: the default logs and the program goes on ticking.
    testForm().Timer1.onTimer = [] { platform::raise(9); };
    advance(200);
    EXPECT_EQ(lastUnhandled().number, 9);
    EXPECT_FALSE(Application::ended());

    setUnhandledPolicy(UnhandledPolicy::ShowAndEnd);
    advance(100);
    setUnhandledPolicy(UnhandledPolicy::LogAndContinue);
    EXPECT_TRUE(Application::ended());
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages().back().text, "Run-time error '9':\r\n\r\nSubscript out of range");
    EXPECT_EQ(dialogs.messages().back().style, 16);
}

TEST_F(FormsTest, DecidedRuntimeCornerCases) {
    auto& f = testForm();
    // Enabling a running timer keeps its count: it still ticks at 100.
    advance(50);
    g_log.clear();
    f.Timer1.setEnabled(true);
    advance(49);
    EXPECT_TRUE(g_log.empty());
    advance(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Timer1_Timer"}));

    // Value = True on a disabled button still runs Click; the operator's click does not.
    f.Command1.setEnabled(false);
    g_log.clear();
    f.Command1.setValue(true);
    f.Command1.userClick();
    EXPECT_EQ(g_log, (std::vector<std::string>{"Command1_Click"}));

    // An error in a handler run by a property write reaches the writing statement.
    f.Text1.onChange = [] { platform::raise(13); };
    platform::Err().clear();
    EXPECT_FALSE(tryStmt([&] { f.Text1.setText("x"); }));
    EXPECT_EQ(platform::Err().number, 13);
    EXPECT_EQ(f.Text1.Text(), "x");  // the write itself happened before the handler ran

    // 0 / 0 overflows, x / 0 divides by zero.
    try {
        vb::Divide(0, 0);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    try {
        vb::Divide(1, 0);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 11);
    }
}

}  // namespace
