#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/conv.h"
#include "forms/form.h"
#include "support/fixture.h"

using namespace forms;

namespace {

std::vector<std::string> g_log;

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
