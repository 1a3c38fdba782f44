#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "support.h"

using namespace forms;
using guitest::events;

namespace {

void note(const std::string& s) { events().push_back(s); }

// One control of each kind, named as a form file would name them.
class TestForm : public Form {
public:
    TestForm() : Form("TestForm", "Testfenster") {
        Move(1200, 900, 6000, 4500);
        Text1.Move(120, 120, 1500, 315);
        Label1.Move(120, 600, 1500, 255);
        Label1.setCaption("Tempo && Takt");
        Command1.Move(1800, 120, 1215, 375);
        Check1.Move(1800, 600, 1215, 255);
        Option1.Move(120, 1000, 1000, 255);
        Option2.Move(120, 1300, 1000, 255);
        Frame1.Move(3200, 120, 1500, 1000);
        Option3.Move(120, 300, 1000, 255);
        List1.Move(120, 1700, 1500, 1200);
        Combo1.Move(1800, 1000, 1215, 315);
        HScroll1.Move(1800, 1500, 1500, 255);
        VScroll1.Move(3500, 1300, 255, 1500);
        Picture1.Move(4000, 1300, 1500, 1500);
        Shape1.Move(1800, 2000, 600, 600);
        for (const char* item : {"Alpha", "Beta", "Gamma", "Delta"}) List1.AddItem(item);
        for (const char* item : {"Rot", "Grün", "Blau"}) Combo1.AddItem(item);

        Text1.onChange = [this] { note("Text1_Change " + Text1.Text()); };
        Text1.onKeyPress = [](int& ascii) {
            note("Text1_KeyPress " + std::to_string(ascii));
            if (ascii == 'x') ascii = 0;
        };
        Text1.onLostFocus = [] { note("Text1_LostFocus"); };
        Command1.onClick = [this] {
            note("Command1_Click");
            if (unloadOnClick) unloadSelf();
        };
        Check1.onClick = [this] { note("Check1_Click " + std::to_string(Check1.Value())); };
        Option1.onClick = [] { note("Option1_Click"); };
        Option2.onClick = [] { note("Option2_Click"); };
        List1.onClick = [this] { note("List1_Click " + std::to_string(List1.ListIndex())); };
        List1.onDblClick = [this] { note("List1_DblClick " + List1.Text()); };
        Combo1.onClick = [this] { note("Combo1_Click " + Combo1.Text()); };
        HScroll1.onScroll = [this] { note("HScroll1_Scroll " + std::to_string(HScroll1.Value())); };
        HScroll1.onChange = [this] { note("HScroll1_Change " + std::to_string(HScroll1.Value())); };
        VScroll1.onChange = [this] { note("VScroll1_Change " + std::to_string(VScroll1.Value())); };
        Picture1.onMouseDown = [](int button, int shift, double x, double y) {
            note("Picture1_MouseDown " + std::to_string(button) + " " + std::to_string(shift) + " " +
                 std::to_string(static_cast<int>(x)) + " " + std::to_string(static_cast<int>(y)));
        };
        Picture1.onMouseUp = [](int, int, double, double) { note("Picture1_MouseUp"); };
        Picture1.onClick = [] { note("Picture1_Click"); };
        Picture1.onDblClick = [] { note("Picture1_DblClick"); };
        mnuFile.onClick = [] { note("mnuFile_Click"); };
        mnuOpen.onClick = [] { note("mnuOpen_Click"); };
        mnuHelp.onClick = [] { note("mnuHelp_Click"); };
    }
    void Form_QueryUnload(int& cancel, int mode) override {
        note("Form_QueryUnload " + std::to_string(mode));
        cancel = cancelQuery;
    }
    void Form_Resize() override { note("Form_Resize " + std::to_string(static_cast<int>(ScaleWidth()))); }
    void unloadSelf();

    TextBox Text1{this, "Text1"};
    Label Label1{this, "Label1"};
    CommandButton Command1{this, "Command1", "&Start"};
    CheckBox Check1{this, "Check1", "Auto"};
    OptionButton Option1{this, "Option1", "Rot", true};
    OptionButton Option2{this, "Option2", "Blau"};
    Frame Frame1{this, "Frame1", "Farben"};
    OptionButton Option3{this, "Option3", "Weiss", true, &Frame1};
    ListBox List1{this, "List1"};
    ComboBox Combo1{this, "Combo1"};
    ScrollBar HScroll1{this, "HScroll1", true, 0, 100, 40};
    // Min above Max: "+" at the top.
    ScrollBar VScroll1{this, "VScroll1", false, 10, 0, 5};
    PictureBox Picture1{this, "Picture1"};
    Shape Shape1{this, "Shape1", 3};
    Timer Timer1{this, "Timer1", 0, false};
    Menu mnuFile{this, "mnuFile", "&Datei"};
    Menu mnuOpen{this, "mnuOpen", "Ö&ffnen", &mnuFile};
    Menu mnuSep{this, "mnuSep", "-", &mnuFile};
    Menu mnuExit{this, "mnuExit", "&Beenden", &mnuFile};
    Menu mnuHelp{this, "mnuHelp", "&Hilfe"};
    int cancelQuery = 0;
    bool unloadOnClick = false;
};

FormSlot<TestForm> testForm("TestForm");

void TestForm::unloadSelf() { testForm.Unload(); }

class ViewTest : public guitest::ViewTest {
protected:
    TestForm& shown() {
        testForm->Show();
        QApplication::setActiveWindow(view->window(*testForm.peek()));
        advance(1);
        events().clear();
        return testForm();
    }
    template <class W>
    W* widget(const Control& c) {
        return qobject_cast<W*>(view->widget(c));
    }
};

TEST_F(ViewTest, ShowsEachControlAsAWidgetAtItsPixelRectangle) {
    TestForm& f = testForm();
    QWidget* window = view->window(f);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible()) << "a loaded form stays hidden until shown";
    EXPECT_EQ(window->windowTitle(), "Testfenster");

    // 15 twips a pixel, each value rounded on its own.
    ASSERT_NE(widget<QPushButton>(f.Command1), nullptr);
    EXPECT_EQ(widget<QPushButton>(f.Command1)->geometry(), QRect(120, 8, 81, 25));
    EXPECT_EQ(widget<QPushButton>(f.Command1)->text(), "&Start");
    EXPECT_EQ(widget<QLineEdit>(f.Text1)->geometry(), QRect(8, 8, 100, 21));
    EXPECT_EQ(widget<QLabel>(f.Label1)->text(), "Tempo & Takt");
    EXPECT_NE(widget<QCheckBox>(f.Check1), nullptr);
    EXPECT_TRUE(widget<QRadioButton>(f.Option1)->isChecked());
    EXPECT_EQ(widget<QListWidget>(f.List1)->count(), 4);
    EXPECT_EQ(widget<QComboBox>(f.Combo1)->itemText(1), "Grün");
    EXPECT_EQ(widget<QScrollBar>(f.HScroll1)->orientation(), Qt::Horizontal);
    EXPECT_EQ(widget<QScrollBar>(f.VScroll1)->orientation(), Qt::Vertical);
    EXPECT_EQ(widget<QGroupBox>(f.Frame1)->title(), "Farben");
    EXPECT_EQ(view->widget(f.Timer1), nullptr);
    f.Text1.Move(1507, 1508, 1500, 315);
    EXPECT_EQ(view->widget(f.Text1)->geometry(), QRect(100, 101, 100, 21));

    // A frame's controls sit in the frame; a picture box's inside its 2-pixel border, in its units.
    EXPECT_EQ(view->widget(f.Option3)->parentWidget(), view->widget(f.Frame1));
    EXPECT_EQ(view->widget(f.Option3)->geometry(), QRect(8, 20, 67, 17));
    Label inPicture(&f, "Label2", &f.Picture1);
    f.Picture1.setScaleMode(3);
    inPicture.Move(10, 5, 30, 12);
    advance(1);
    ASSERT_NE(view->widget(inPicture), nullptr) << "a control made after the load is shown at the next pump";
    EXPECT_EQ(view->widget(inPicture)->parentWidget(), view->widget(f.Picture1));
    EXPECT_EQ(view->widget(inPicture)->geometry(), QRect(12, 7, 30, 12));

    // The window: outer frame at Left/Top; inside it the menu bar over the client area.
    EXPECT_EQ(window->pos(), QPoint(80, 60));
    EXPECT_EQ(window->size(), QSize(392, 255 + gui::View::kMenuBarPx));
    EXPECT_EQ(view->clientArea(f)->geometry(), QRect(0, 19, 392, 255));
    f.Move(1500, 1500, 3000, 3000);
    EXPECT_EQ(window->pos(), QPoint(100, 100));
    EXPECT_EQ(window->size(), QSize(192, 155 + 19));
}

TEST_F(ViewTest, WidgetsFollowEveryPropertyChange) {
    TestForm& f = testForm();
    f.Text1.setText("neu");
    EXPECT_EQ(widget<QLineEdit>(f.Text1)->text(), "neu");
    f.Command1.setCaption("Stop");
    EXPECT_EQ(widget<QPushButton>(f.Command1)->text(), "Stop");
    f.Check1.setValue(2);
    EXPECT_EQ(widget<QCheckBox>(f.Check1)->checkState(), Qt::PartiallyChecked);
    f.Check1.setValue(1);
    EXPECT_EQ(widget<QCheckBox>(f.Check1)->checkState(), Qt::Checked);
    f.Option2.setValue(true);
    EXPECT_TRUE(widget<QRadioButton>(f.Option2)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(f.Option1)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(f.Option3)->isChecked()) << "another container, another group";
    f.Label1.setCaption("&Tempo");
    EXPECT_EQ(widget<QLabel>(f.Label1)->text(), "Tempo");
    f.Command1.setVisible(false);
    EXPECT_TRUE(view->widget(f.Command1)->isHidden());
    f.Command1.setVisible(true);
    EXPECT_FALSE(view->widget(f.Command1)->isHidden());
    f.Text1.setEnabled(false);
    EXPECT_FALSE(view->widget(f.Text1)->isEnabled());
    f.Text1.setBackColor(RGB(255, 0, 0));
    f.Text1.setForeColor(kButtonFace);
    EXPECT_EQ(view->widget(f.Text1)->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(view->widget(f.Text1)->palette().color(QPalette::Text), QColor(192, 192, 192));
    f.setBackColor(RGB(0, 0, 128));
    EXPECT_EQ(view->clientArea(f)->palette().color(QPalette::Window), QColor(0, 0, 128));
    Font big = f.Label1.font();
    big.size = 14;
    big.bold = true;
    f.Label1.setFont(big);
    EXPECT_EQ(view->widget(f.Label1)->font().pixelSize(), 17) << "the dialog font's stand-in, a tenth smaller";
    EXPECT_TRUE(view->widget(f.Label1)->font().bold());

    f.List1.AddItem("Epsilon", 0);
    f.List1.setListIndex(2);
    auto* list = widget<QListWidget>(f.List1);
    EXPECT_EQ(list->count(), 5);
    EXPECT_EQ(list->item(0)->text(), "Epsilon");
    EXPECT_TRUE(list->item(2)->isSelected());
    EXPECT_EQ(list->selectedItems().size(), 1);
    f.List1.RemoveItem(2);
    // List rows wait for the frame, or a look through the view.
    EXPECT_TRUE(widget<QListWidget>(f.List1)->selectedItems().empty());
    f.Combo1.setText("blau");
    EXPECT_EQ(widget<QComboBox>(f.Combo1)->currentIndex(), 2);
    f.HScroll1.setValue(70);
    EXPECT_EQ(widget<QScrollBar>(f.HScroll1)->value(), 70);
    f.HScroll1.setMax(50);
    EXPECT_EQ(widget<QScrollBar>(f.HScroll1)->maximum(), 50);
    EXPECT_EQ(widget<QScrollBar>(f.HScroll1)->value(), 50);
    f.setCaption("Anderer Titel");
    EXPECT_EQ(view->window(f)->windowTitle(), "Anderer Titel");
    f.mnuOpen.setChecked(true);
    EXPECT_TRUE(view->action(f.mnuOpen)->isChecked());
    f.mnuExit.setEnabled(false);
    EXPECT_FALSE(view->action(f.mnuExit)->isEnabled());
    f.mnuHelp.setVisible(false);
    EXPECT_FALSE(view->action(f.mnuHelp)->isVisible());

    // A value the runtime refuses changes nothing on the screen either.
    EXPECT_THROW(f.HScroll1.setValue(500), VbError);
    EXPECT_EQ(widget<QScrollBar>(f.HScroll1)->value(), 50);
}

TEST_F(ViewTest, ClicksRunTheControlsClickHandlers) {
    TestForm& f = shown();
    QTest::mouseClick(view->widget(f.Text1), Qt::LeftButton);
    QTest::mouseClick(view->widget(f.Command1), Qt::LeftButton);
    QTest::mouseClick(view->widget(f.Check1), Qt::LeftButton);
    QTest::mouseClick(view->widget(f.Option2), Qt::LeftButton);
    QTest::mouseClick(view->widget(f.Option2), Qt::LeftButton);
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_LostFocus", "Command1_Click", "Check1_Click 1", "Option2_Click"}));
    EXPECT_TRUE(widget<QRadioButton>(f.Option2)->isChecked()) << "a second click leaves the option selected";
    EXPECT_FALSE(widget<QRadioButton>(f.Option1)->isChecked());

    events().clear();
    f.Command1.setEnabled(false);
    QTest::mouseClick(view->widget(f.Command1), Qt::LeftButton);
    EXPECT_TRUE(events().empty());
}

TEST_F(ViewTest, TypingRunsKeyPressAndChange) {
    TestForm& f = shown();
    auto* edit = widget<QLineEdit>(f.Text1);
    edit->setFocus();
    QTest::keyClicks(edit, "axb");
    EXPECT_EQ(f.Text1.Text(), "ab") << "KeyPress zeroing the key swallows it";
    EXPECT_EQ(edit->text(), "ab");
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_KeyPress 97", "Text1_Change a", "Text1_KeyPress 120",
                                                  "Text1_KeyPress 98", "Text1_Change ab"}));
    events().clear();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_KeyPress 13", "Text1_KeyPress 8", "Text1_Change a"}));

    // Inside the text Qt edits and the runtime gets the edited text; non-ASCII text as UTF-8.
    events().clear();
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, "Ä");
    EXPECT_EQ(f.Text1.Text(), "Äa");
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_Change Äa"}));

    f.Text1.Locked = true;
    f.Text1.setText("fest");
    events().clear();
    QTest::keyClicks(edit, "zz");
    EXPECT_EQ(f.Text1.Text(), "fest");
    EXPECT_EQ(edit->text(), "fest");
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_KeyPress 122", "Text1_KeyPress 122"}));
}

class NotesForm : public Form {
public:
    NotesForm() : Form("NotesForm", "Notizen") {
        Notes.MultiLine = true;
        Notes.Move(0, 0, 3000, 1500);
    }
    TextBox Notes{this, "Notes"};
};
FormSlot<NotesForm> notesForm("NotesForm");

TEST_F(ViewTest, MultiLineBoxesKeepTheirLineBreaks) {
    NotesForm& f = notesForm();
    auto* edit = qobject_cast<QPlainTextEdit*>(view->widget(f.Notes));
    ASSERT_NE(edit, nullptr);
    f.Notes.setText("eins\r\nzwei");
    f.Show();
    advance(gui::View::kFrameMs);
    EXPECT_EQ(edit->toPlainText(), "eins\nzwei");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "drei");
    EXPECT_EQ(f.Notes.Text(), "eins\r\nzwei\r\ndrei");
}

TEST_F(ViewTest, ScrollBarsScrollWhileDraggedAndChangeOnRelease) {
    TestForm& f = shown();
    auto* bar = widget<QScrollBar>(f.HScroll1);
    bar->setSliderDown(true);
    bar->setSliderPosition(50);
    bar->setSliderPosition(60);
    EXPECT_EQ(f.HScroll1.Value(), 60);
    bar->setSliderDown(false);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    f.HScroll1.LargeChange = 10;
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(events(), (std::vector<std::string>{"HScroll1_Scroll 50", "HScroll1_Scroll 60", "HScroll1_Change 60",
                                                  "HScroll1_Change 61", "HScroll1_Change 51"}));
    EXPECT_EQ(bar->value(), 51);

    // A bar running backwards: the lower arrow moves towards Max, which is smaller.
    events().clear();
    auto* vbar = widget<QScrollBar>(f.VScroll1);
    vbar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    vbar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(events(), (std::vector<std::string>{"VScroll1_Change 4", "VScroll1_Change 10"}));
    EXPECT_EQ(vbar->value(), vbar->minimum()) << "Min at the top";
}

TEST_F(ViewTest, ListAndComboSelectionsRunClick) {
    TestForm& f = shown();
    f.List1.setHeight(3000);
    auto* list = widget<QListWidget>(f.List1);
    auto rowCentre = [&](int row) { return list->visualItemRect(list->item(row)).center(); };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_EQ(f.List1.ListIndex(), 1);
    EXPECT_TRUE(list->item(1)->isSelected());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 2));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(events(), (std::vector<std::string>{"Text1_LostFocus", "List1_Click 1", "List1_Click 2", "List1_DblClick Gamma",
                                                  "List1_Click 3"}));
    EXPECT_EQ(list->selectedItems().size(), 1);
    EXPECT_TRUE(list->item(3)->isSelected());

    events().clear();
    auto* combo = widget<QComboBox>(f.Combo1);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(events(), (std::vector<std::string>{"Combo1_Click Rot"}));
    EXPECT_EQ(combo->currentIndex(), 0);
}

TEST_F(ViewTest, MenusComeFromTheMenuControls) {
    TestForm& f = shown();
    QMenuBar* bar = view->menuBar(f);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 2);
    EXPECT_EQ(bar->actions()[0]->text(), "&Datei");
    QMenu* file = bar->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->actions().size(), 3);
    EXPECT_EQ(file->actions()[0]->text(), "Ö&ffnen");
    EXPECT_TRUE(file->actions()[1]->isSeparator());
    EXPECT_EQ(bar->actions()[1], view->action(f.mnuHelp));

    file->popup(QPoint(0, 0));
    view->action(f.mnuOpen)->trigger();
    file->hide();
    view->action(f.mnuHelp)->trigger();
    f.mnuExit.setEnabled(false);
    view->action(f.mnuExit)->trigger();
    EXPECT_EQ(events(), (std::vector<std::string>{"mnuFile_Click", "mnuOpen_Click", "mnuHelp_Click"}));
}

TEST_F(ViewTest, TheCloseBoxUnloadsUnlessCancelled) {
    TestForm& f = shown();
    QPointer<QWidget> window = view->window(f);
    f.cancelQuery = 1;
    window->close();
    EXPECT_TRUE(testForm.isLoaded());
    EXPECT_TRUE(window->isVisible());
    f.cancelQuery = 0;
    window->close();
    EXPECT_EQ(events(), (std::vector<std::string>{"Form_QueryUnload 0", "Form_QueryUnload 0"}));
    EXPECT_FALSE(testForm.isLoaded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(view->window(f), nullptr);
    advance(1);
    EXPECT_TRUE(window.isNull()) << "the window of an unloaded form goes at the next pump";
}

TEST_F(ViewTest, AButtonUnloadingItsOwnFormIsSafe) {
    TestForm& f = shown();
    f.unloadOnClick = true;
    QPointer<QWidget> button = view->widget(f.Command1);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(testForm.isLoaded());
    advance(1);
    EXPECT_TRUE(button.isNull());
    // Loaded again: fresh widgets with the design values.
    EXPECT_EQ(qobject_cast<QPushButton*>(view->widget(testForm().Command1))->text(), "&Start");
}

TEST_F(ViewTest, TheOperatorResizingAndMovingMovesTheForm) {
    TestForm& f = shown();
    events().clear();
    QWidget* window = view->window(f);
    window->resize(300, 200 + 19);
    advance(1);
    EXPECT_DOUBLE_EQ(f.ScaleWidth(), 300 * 15.0);
    EXPECT_DOUBLE_EQ(f.ScaleHeight(), 200 * 15.0);
    EXPECT_EQ(events(), (std::vector<std::string>{"Form_Resize 4500"}));
    window->move(40, 30);
    advance(1);
    EXPECT_DOUBLE_EQ(f.Left(), 600);
    EXPECT_DOUBLE_EQ(f.Top(), 450);
    window->showMinimized();
    advance(1);
    EXPECT_EQ(f.WindowState(), 1);
    EXPECT_EQ(events().back(), "Form_Resize 0");
}

TEST_F(ViewTest, PictureBoxesShowTheirImageAndReportTheMouse) {
    TestForm& f = shown();
    platform::Bitmap red(20, 10);
    red.clear(RGB(255, 0, 0));
    f.Picture1.setPicture(red);
    f.Picture1.Line(0, 15 * 9, 15 * 30, 15 * 9, RGB(0, 0, 255));
    advance(1);
    QWidget* pic = view->widget(f.Picture1);
    EXPECT_EQ(guitest::shownPixel(pic, 2 + 5, 2 + 5), RGB(255, 0, 0));
    EXPECT_EQ(guitest::shownPixel(pic, 2 + 25, 2 + 9), RGB(0, 0, 255)) << "drawing beyond the picture";
    EXPECT_EQ(guitest::shownPixel(pic, 2 + 25, 2 + 5), resolveColor(kButtonFace));
    EXPECT_EQ(guitest::shownPixel(pic, 0, 0), RGB(128, 128, 128)) << "the sunken border";

    QTest::mouseClick(pic, Qt::LeftButton, Qt::ShiftModifier, QPoint(12, 7));
    f.Picture1.setScaleMode(3);
    QTest::mousePress(pic, Qt::RightButton, {}, QPoint(12, 7));
    QTest::mouseRelease(pic, Qt::RightButton, {}, QPoint(12, 7));
    EXPECT_EQ(events(), (std::vector<std::string>{"Picture1_MouseDown 1 1 150 75", "Picture1_MouseUp", "Picture1_Click",
                                                  "Picture1_MouseDown 2 0 10 5", "Picture1_MouseUp"}));
}

// A control that draws itself, as the movie player does: stripes that move with the frame.
class Painter : public HostedControl {
public:
    Painter(Form* f, std::string name) : HostedControl(f, std::move(name), "Painter") {}
    bool paints() const override { return true; }
    void paint(platform::Bitmap& target, int w, int h) override {
        times.push_back(static_cast<int>(platform::EventLoop::current().nowMs()));
        if (fail) throw std::runtime_error("no picture");
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) target.setPixel(x, y, ((x / 4) % 2) ? RGB(255, 255, 0) : RGB(0, 0, 0));
    }
    bool needsRepaint(std::int64_t nowNs) override {
        asked.push_back(static_cast<int>(nowNs / 1'000'000));
        return !still;
    }
    std::vector<int> times;
    std::vector<int> asked;
    bool fail = false;
    bool still = false;  // the picture stays as it is
};

class Projector : public Form {
public:
    Projector() : Form("Projector", "Projektor") {
        setBorderStyle(0);
        Move(3000, 1500, 4800, 3600);
        Player.Move(0, 0, 4800, 3000);
        DragBar.Move(0, 3000, 4800, 600);
        // A button lying over the player, as the projector's are.
        Corner.BorderStyle = 0;
        Corner.Move(15 * 10, 15 * 10, 15 * 20, 15 * 10);
        Corner.setBackColor(RGB(0, 0, 255));
        Corner.Cls();
        DragBar.onMouseDown = [this](int, int, double, double) {
            platform::SendMessage(hWnd(), platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, 0);
        };
    }
    void Form_Resize() override { note("Projector_Resize " + std::to_string(static_cast<int>(ScaleWidth()))); }
    Painter Player{this, "Player"};
    PictureBox DragBar{this, "DragBar"};
    PictureBox Corner{this, "Corner"};
};
FormSlot<Projector> projector("Projector");

TEST_F(ViewTest, PaintingControlsAreRepaintedAtTheDisplayRate) {
    Projector& p = projector();
    advance(20);
    EXPECT_TRUE(p.Player.times.empty()) << "a hidden form is not painted";
    p.Show();
    advance(100);
    // Frames fall every 16 ms of the loop's clock, counted from the view's first pump.
    EXPECT_EQ(p.Player.times, (std::vector<int>{33, 49, 65, 81, 97, 113}));
    QWidget* w = view->widget(p.Player);
    EXPECT_EQ(guitest::shownPixel(w, 1, 1), RGB(0, 0, 0));
    EXPECT_EQ(guitest::shownPixel(w, 5, 1), RGB(255, 255, 0));

    p.Player.setVisible(false);
    advance(50);
    EXPECT_EQ(p.Player.times.size(), 6u);
    p.Player.setVisible(true);
    p.Player.fail = true;
    testing::internal::CaptureStderr();
    advance(40);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.Player.times, (std::vector<int>{33, 49, 65, 81, 97, 113, 177, 193, 209}))
        << "a control that fails keeps being asked";
    EXPECT_NE(err.find("Player cannot paint: no picture"), std::string::npos);
    EXPECT_EQ(err.find("cannot paint", err.find("cannot paint") + 1), std::string::npos) << "said once";
}

TEST_F(ViewTest, APaintingControlWhosePictureStaysIsNotRedrawn) {
    Projector& p = projector();
    p.Player.still = true;
    p.Show();
    advance(40);
    ASSERT_EQ(p.Player.times.size(), 1u) << "a first frame is drawn whatever the control says";
    const std::vector<int> asked = p.Player.asked;
    ASSERT_FALSE(asked.empty());
    advance(5 * gui::View::kFrameMs);
    EXPECT_EQ(p.Player.times.size(), 1u);
    ASSERT_EQ(p.Player.asked.size(), asked.size() + 5) << "asked at every frame";
    EXPECT_EQ(p.Player.asked.back() - asked.back(), 5 * gui::View::kFrameMs) << "on the loop's clock";
    QWidget* w = view->widget(p.Player);
    EXPECT_EQ(guitest::shownPixel(w, 5, 1), RGB(255, 255, 0)) << "the last frame stays on the screen";

    // A new size is drawn at the next frame, as is every frame once the picture moves again.
    p.Player.Move(0, 0, 3000, 1500);
    advance(gui::View::kFrameMs);
    ASSERT_EQ(p.Player.times.size(), 2u);
    EXPECT_EQ(guitest::shownPixel(w, 197, 95), RGB(255, 255, 0));
    p.Player.still = false;
    advance(3 * gui::View::kFrameMs);
    EXPECT_EQ(p.Player.times.size(), 5u);

    // Hidden and shown again: nothing new to draw, the frame kept is shown.
    p.Player.still = true;
    p.Player.setVisible(false);
    advance(2 * gui::View::kFrameMs);
    p.Player.setVisible(true);
    advance(2 * gui::View::kFrameMs);
    EXPECT_EQ(p.Player.times.size(), 5u);
    EXPECT_EQ(guitest::shownPixel(w, 5, 1), RGB(255, 255, 0));
}

TEST_F(ViewTest, ControlsLyingOverAPaintingControlStayAboveItsFrames) {
    Projector& p = projector();
    p.Show();
    advance(100);
    QWidget* window = view->window(p);
    const std::uint32_t yellow = RGB(255, 255, 0), black = 0, blue = RGB(0, 0, 255);
    // Stripes four pixels wide, yellow from x 4; the box covers x 10..29, y 10..19.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(guitest::shownPixel(window, 5, 12), yellow);
        EXPECT_EQ(guitest::shownPixel(window, 9, 12), black);
        EXPECT_EQ(guitest::shownPixel(window, 13, 12), blue);
        EXPECT_EQ(guitest::shownPixel(window, 29, 19), blue);
        EXPECT_EQ(guitest::shownPixel(window, 33, 12), black);
        EXPECT_EQ(guitest::shownPixel(window, 13, 20), yellow);
        EXPECT_EQ(guitest::shownPixel(window, 13, 9), yellow);
        advance(gui::View::kFrameMs);  // and again after a frame drawn round the box
    }
}

TEST_F(ViewTest, TheProjectorIsBorderlessFillsItsScreenAndMovesByItsDragBar) {
    Projector& p = projector();
    QWidget* window = view->window(p);
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    p.Show();
    advance(1);
    EXPECT_EQ(window->geometry(), QRect(200, 100, 320, 240)) << "no frame: the window is the form's rectangle";

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(Application::screenWidthPx(), screen.width());
    EXPECT_EQ(Application::screenHeightPx(), screen.height());
    events().clear();
    p.setWindowState(2);
    advance(1);
    EXPECT_EQ(window->geometry(), screen);
    EXPECT_DOUBLE_EQ(p.Width(), screen.width() * 15.0);
    EXPECT_EQ(events(), (std::vector<std::string>{"Projector_Resize " + std::to_string(screen.width() * 15)}));
    p.setWindowState(0);
    advance(1);
    EXPECT_EQ(window->geometry(), QRect(200, 100, 320, 240));

    // The drag bar asks for the window system's move; offscreen has none and the view follows
    // the mouse itself until the button comes up.
    QWidget* bar = view->widget(p.DragBar);
    const QPointF start = bar->mapToGlobal(QPointF(10, 10));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), start, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), start + QPointF(30, 20), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &move);
    EXPECT_EQ(window->pos(), QPoint(230, 120));
    EXPECT_DOUBLE_EQ(p.Left(), 230 * 15.0);
    EXPECT_DOUBLE_EQ(p.Top(), 120 * 15.0);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(40, 30), start + QPointF(30, 20), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(bar, &release);
    QMouseEvent after(QEvent::MouseMove, QPointF(90, 90), start + QPointF(80, 80), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &after);
    EXPECT_EQ(window->pos(), QPoint(230, 120)) << "the move ends with the button";

    p.Hide();
    EXPECT_FALSE(gui::startSystemMove(p)) << "a hidden window cannot be dragged";
}

TEST_F(ViewTest, TheProjectorOpensInsideItsScreenAndStillFillsItWhenMaximised) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    Projector& p = projector();
    QWidget* window = view->window(p);
    // Hanging 220 pixels over the right edge: moved in, its size kept.
    p.Move(15.0 * (room.right() - 100), 15.0 * (room.top() + 40), 4800, 3600);
    events().clear();
    p.Show();
    advance(1);
    const QRect inside(room.right() + 1 - 320, room.top() + 40, 320, 240);
    EXPECT_EQ(window->geometry(), inside);
    EXPECT_DOUBLE_EQ(p.Left(), 15.0 * inside.x());
    EXPECT_DOUBLE_EQ(p.Width(), 4800);
    EXPECT_EQ(events(), (std::vector<std::string>{"Projector_Resize 4800"})) << "shown at the size it was given";

    p.setWindowState(2);
    advance(1);
    EXPECT_EQ(window->geometry(), screen);
    p.setWindowState(0);
    advance(1);
    EXPECT_EQ(window->geometry(), inside);

    // Once open, the program's own moves are the program's.
    p.Move(15.0 * (room.right() - 100), p.Top(), p.Width(), p.Height());
    advance(1);
    EXPECT_EQ(window->x(), room.right() - 100);
}

TEST_F(ViewTest, AProjectorLargerThanItsScreenOpensScaledDownWithItsProportions) {
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    Projector& p = projector();
    QWidget* window = view->window(p);
    // Twice as wide as the screen and as high as it, from 100, 40.
    p.Move(15.0 * (room.x() + 100), 15.0 * (room.y() + 40), 15.0 * 2 * room.width(), 15.0 * room.height());
    events().clear();
    p.Show();
    advance(1);
    EXPECT_EQ(window->geometry(), QRect(room.x(), room.y() + 40, room.width(), room.height() / 2));
    EXPECT_DOUBLE_EQ(p.Width(), 15.0 * room.width());
    EXPECT_DOUBLE_EQ(p.Height(), 15.0 * (room.height() / 2));
    EXPECT_EQ(events(), (std::vector<std::string>{"Projector_Resize " + std::to_string(room.width() * 15)}));
}

TEST_F(ViewTest, TheProjectorOpensBesideTheProgramsWindowsScaledWithItsProportions) {
    if (QGuiApplication::screens().size() > 1) GTEST_SKIP() << "the one-screen case";
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    // A main window at the left edge, 300 wide and as high as the screen; the projector designed
    // over it, 1280 x 720.
    TestForm& main = shown();
    main.Move(15.0 * room.x(), 15.0 * room.y(), 4500, 15.0 * room.height());
    advance(1);
    const QRect busy = view->window(main)->frameGeometry();
    Projector& p = projector();
    p.Move(15.0 * (room.x() + 100), 15.0 * room.y(), 15.0 * 1280, 15.0 * 720);
    p.Show();
    advance(1);
    QWidget* window = view->window(p);
    // The largest room is right of the main window: the projector fills its width there.
    const int wide = room.right() - busy.right();
    const double f = static_cast<double>(wide) / 1280;
    const QRect beside(busy.right() + 1, room.y(), static_cast<int>(1280 * f), static_cast<int>(720 * f));
    EXPECT_EQ(window->geometry(), beside);
    EXPECT_FALSE(window->frameGeometry().intersects(busy));
    EXPECT_DOUBLE_EQ(p.Width(), 15.0 * beside.width());

    // "Beamer Maximieren" still fills the screen, and the window comes back beside.
    p.setWindowState(2);
    advance(1);
    EXPECT_EQ(window->geometry(), screen);
    p.setWindowState(0);
    advance(1);
    EXPECT_EQ(window->geometry(), beside);
}

// Run by ctest as gui.TwoScreens, on an offscreen platform with a second screen right of the first.
TEST_F(ViewTest, OnASecondScreenTheProjectorOpensThereFillsItAndMovesByItsDragBar) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2) GTEST_SKIP() << "needs a second screen";
    const QRect second = screens[1]->availableGeometry();
    shown();  // the main window on the first screen
    Projector& p = projector();  // designed on the first screen too
    p.Show();
    advance(1);
    QWidget* window = view->window(p);
    EXPECT_EQ(window->geometry(), QRect(second.topLeft(), QSize(320, 240))) << "on the second screen, its size kept";
    EXPECT_DOUBLE_EQ(p.Left(), 15.0 * second.x());

    p.setWindowState(2);
    advance(1);
    EXPECT_EQ(window->geometry(), screens[1]->geometry()) << "maximised on the screen it is on";
    p.setWindowState(0);
    advance(1);
    EXPECT_EQ(window->geometry(), QRect(second.topLeft(), QSize(320, 240)));

    QWidget* bar = view->widget(p.DragBar);
    const QPointF start = bar->mapToGlobal(QPointF(10, 10));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), start, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), start + QPointF(30, 20), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(40, 30), start + QPointF(30, 20), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(bar, &release);
    EXPECT_EQ(window->pos(), second.topLeft() + QPoint(30, 20));
    EXPECT_DOUBLE_EQ(p.Left(), 15.0 * (second.x() + 30));
}

TEST_F(ViewTest, RapidChangesReachTheWidgetOnceAFrame) {
    TestForm& f = shown();
    auto* edit = widget<QLineEdit>(f.Text1);
    auto* label = widget<QLabel>(f.Label1);
    auto* list = widget<QListWidget>(f.List1);
    auto* button = widget<QPushButton>(f.Command1);
    int writes = 0, rows = 0;
    const auto countText = QObject::connect(edit, &QLineEdit::textChanged, [&writes] { ++writes; });
    const auto countRows = QObject::connect(list, &QListWidget::currentRowChanged, [&rows] { ++rows; });
    for (int i = 0; i < 1000; ++i) {
        f.Text1.setText(std::to_string(i));
        f.Label1.setCaption("Takt " + std::to_string(i));
        f.List1.setListIndex(i % 4);
    }
    advance(gui::View::kFrameMs);
    EXPECT_EQ(edit->text(), "999");
    EXPECT_EQ(label->text(), "Takt 999");
    EXPECT_EQ(writes, 1) << "one widget write for a thousand changes";
    EXPECT_EQ(list->currentRow(), 3);
    EXPECT_EQ(rows, 1);
    QObject::disconnect(countText);
    QObject::disconnect(countRows);

    // Layout and enabling show at once, after what waited for the same control.
    f.Text1.setText("hallo");
    f.Text1.Move(0, 1500, 1500, 315);
    EXPECT_EQ(edit->text(), "hallo");
    EXPECT_EQ(edit->geometry(), QRect(0, 100, 100, 21));
    f.Command1.setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    // (The operator typing into text the program has just written: TypingRunsKeyPressAndChange.)

    // A control destroyed with a change still waiting is left alone.
    {
        Label passing(&f, "Passing");
        advance(1);
        ASSERT_NE(view->widget(passing), nullptr);
        passing.setCaption("gleich weg");
    }
    EXPECT_NE(view->widget(f.Label1), nullptr);
    advance(gui::View::kFrameMs);
}

// A plot window as the beat window is: a bordered box redrawn every capture block, a text box
// lying in it, a label and a lamp changing with the beat, and a hidden window whose text runs.
class PlotForm : public Form {
public:
    PlotForm() : Form("PlotForm", "Plot") {
        Move(600, 600, 9000, 6000);
        Start.Move(120, 4200, 1215, 375);
        Plot.Move(120, 120, 15 * 300, 15 * 160);
        Plot.setScaleMode(3);
        Plot.setBackColor(RGB(192, 192, 192));
        Value.Move(15 * 3, 15 * 3, 15 * 40, 15 * 18);
        Beat.Move(5000, 120, 1500, 255);
        Lamp.Move(5000, 600, 300, 300);
        Lamp.setBackColor(RGB(0, 0, 175));
    }
    CommandButton Start{this, "Start", "Start"};
    PictureBox Plot{this, "Plot"};
    TextBox Value{this, "Value", &Plot};
    Label Beat{this, "Beat"};
    Label Lamp{this, "Lamp"};
};
FormSlot<PlotForm> plotForm("PlotForm");

class Counter : public Form {
public:
    Counter() : Form("Counter", "Zaehler") { Text1.Move(120, 120, 1500, 315); }
    TextBox Text1{this, "Text1"};
};
FormSlot<Counter> counter("Counter");

// Where the window as the screen holds it differs from the window drawn afresh.
std::vector<QPoint> staleOnScreen(QWidget* window) {
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::vector<QPoint> stale;
    if (screen.size() != fresh.size()) return {QPoint(-1, -1)};
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x)
            if (screen.pixel(x, y) != fresh.pixel(x, y)) stale.emplace_back(x, y);
    return stale;
}

TEST_F(ViewTest, AWindowRedrawnInPartsEveryFrameShowsWhatAFullRedrawShows) {
    PlotForm& f = plotForm();
    f.Show();
    counter().Show();
    counter->Hide();
    advance(gui::View::kFrameMs);
    QWidget* window = view->window(f);
    auto* hiddenText = widget<QLineEdit>(counter->Text1);
    ASSERT_NE(hiddenText, nullptr);
    const QString before = hiddenText->text();
    std::vector<double> history(150, 0.0);
    for (int block = 0; block < 120; ++block) {
        // A kick every 12 blocks, falling off after it.
        history.erase(history.begin());
        history.push_back(block % 12 == 0 ? 140.0 : history.back() * 0.6);
        std::vector<platform::Point> points;
        for (int i = 0; i < 150; ++i) points.push_back({i * 2, 150 - static_cast<int>(history[static_cast<std::size_t>(i)])});
        f.Plot.Cls();
        f.Plot.image().polyline(points, RGB(0, 0, 0));
        f.Plot.Refresh();
        f.Plot.Line(300, 20, 0, 20, RGB(255, 0, 0));
        f.Plot.Line(300, 90, 0, 90, RGB(0, 255, 0));
        f.Value.setText(std::to_string(points.back().y));
        f.Beat.setCaption(history.back() > 100 ? "beat" : "");
        f.Lamp.setBackColor(block % 2 ? RGB(0, 0, 175) : RGB(0, 0, 255));
        counter->Text1.setText(std::to_string(block));
        advance(gui::View::kFrameMs + block % 3 * 7);
        const std::vector<QPoint> stale = staleOnScreen(window);
        ASSERT_TRUE(stale.empty()) << "block " << block << ": " << stale.size() << " pixels, first at " << stale[0].x()
                                   << "," << stale[0].y();
    }
    // The hidden window's box is not written at the frames; it shows its text as soon as it is
    // looked at or shown, and a minimised window as soon as it comes back.
    EXPECT_EQ(hiddenText->text(), before);
    EXPECT_EQ(widget<QLineEdit>(counter->Text1)->text(), "119");
    counter->Text1.setText("vorbei");
    counter->Show();
    EXPECT_EQ(hiddenText->text(), "vorbei");
    counter->setWindowState(1);
    advance(gui::View::kFrameMs);
    counter->Text1.setText("klein");
    advance(gui::View::kFrameMs);
    EXPECT_EQ(hiddenText->text(), "vorbei");
    counter->setWindowState(0);
    EXPECT_EQ(hiddenText->text(), "klein");
    advance(1);
    EXPECT_TRUE(staleOnScreen(view->window(counter())).empty());
}

// Whatever a program draws into a picture box between frames (lines clipped at its edges,
// points, filled boxes, clears in the last colour and another, a picture, a write through a row,
// a new size), the frame repaints only what changed and the window shows what a full redraw does.
TEST_F(ViewTest, APictureBoxDrawnOnInManyWaysShowsWhatAFullRedrawShows) {
    PlotForm& f = plotForm();
    f.Show();
    advance(gui::View::kFrameMs);
    QWidget* window = view->window(f);
    unsigned seed = 5;
    auto next = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + static_cast<int>((seed >> 8) % static_cast<unsigned>(hi - lo + 1));
    };
    platform::Bitmap picture(40, 30);
    picture.clear(RGB(0, 90, 0));
    picture.line(0, 0, 39, 29, RGB(255, 255, 0));
    for (int frame = 0; frame < 80; ++frame) {
        const int ops = next(1, 6);
        for (int n = 0; n < ops; ++n) {
            const auto ink = static_cast<long long>(next(0, 0xFFFFFF));
            switch (next(0, 11)) {
            case 0:
            case 1:
            case 2: f.Plot.Line(next(-40, 340), next(-40, 200), next(-40, 340), next(-40, 200), ink); break;
            case 3: f.Plot.LineBF(next(-10, 300), next(-10, 160), next(-10, 300), next(-10, 160), ink); break;
            case 4: f.Plot.image().setPixel(next(0, 300), next(0, 160), static_cast<std::uint32_t>(ink)); break;
            case 5:
            case 6: f.Plot.Cls(); break;
            case 7: f.Plot.setBackColor(next(0, 3) ? RGB(192, 192, 192) : RGB(40, 40, 40)); break;
            case 8:
                if (next(0, 8) == 0) f.Plot.setPicture(picture);
                if (next(0, 8) == 0) f.Plot.clearPicture();
                break;
            case 9:
                if (next(0, 5) == 0) f.Plot.image().row32(next(0, 150))[next(0, 290)] = 0xFF123456u;
                break;
            case 10:
                if (next(0, 10) == 0) f.Plot.Move(120, 120, 15 * next(280, 300), 15 * 160);
                break;
            default:
                f.Value.setText(std::to_string(frame));
                f.Plot.image().polyline({{next(0, 300), next(0, 160)}, {next(0, 300), next(0, 160)}, {next(0, 300), next(0, 160)}},
                                        static_cast<std::uint32_t>(ink));
                break;
            }
        }
        f.Plot.Refresh();
        advance(gui::View::kFrameMs + frame % 2);
        const std::vector<QPoint> stale = staleOnScreen(window);
        ASSERT_TRUE(stale.empty()) << "frame " << frame << ": " << stale.size() << " pixels, first at " << stale[0].x() << ","
                                   << stale[0].y();
    }
}

// The picture box's sunken border, against the same frame drawn with lines, on the screen and
// drawn afresh, whole and after an update reaching only a corner of it.
TEST_F(ViewTest, APictureBoxHasItsSunkenBorderOnTheScreenAsDrawnAfresh) {
    TestForm& f = shown();
    f.Picture1.Move(4000, 1300, 15 * 37, 15 * 23);
    f.Picture1.setBackColor(RGB(10, 20, 30));
    f.Picture1.Cls();
    advance(gui::View::kFrameMs);
    QWidget* pic = view->widget(f.Picture1);
    QImage reference(pic->size(), QImage::Format_RGB32);
    reference.fill(Qt::black);
    {
        QPainter p(&reference);
        const int x1 = reference.width() - 1, y1 = reference.height() - 1;
        p.setPen(QColor(128, 128, 128));
        p.drawLine(0, 0, x1 - 1, 0);
        p.drawLine(0, 0, 0, y1 - 1);
        p.setPen(QColor(64, 64, 64));
        p.drawLine(1, 1, x1 - 2, 1);
        p.drawLine(1, 1, 1, y1 - 2);
        p.setPen(QColor(255, 255, 255));
        p.drawLine(0, y1, x1, y1);
        p.drawLine(x1, 0, x1, y1);
        p.setPen(QColor(192, 192, 192));
        p.drawLine(1, y1 - 1, x1 - 1, y1 - 1);
        p.drawLine(x1 - 1, 1, x1 - 1, y1 - 1);
    }
    auto sameBorder = [&](const QImage& shown, QPoint at) {
        for (int y = 0; y < reference.height(); ++y)
            for (int x = 0; x < reference.width(); ++x) {
                const bool ring = x < 2 || y < 2 || x >= reference.width() - 2 || y >= reference.height() - 2;
                if (ring && shown.pixel(at.x() + x, at.y() + y) != reference.pixel(x, y)) {
                    ADD_FAILURE() << "border pixel " << x << "," << y;
                    return false;
                }
            }
        return true;
    };
    QWidget* window = view->window(f);
    const QPoint at = pic->mapTo(window, QPoint(0, 0));
    EXPECT_TRUE(sameBorder(pic->grab().toImage(), QPoint(0, 0)));
    EXPECT_TRUE(sameBorder(QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage(), at));
    pic->update(QRect(reference.width() - 5, reference.height() - 5, 5, 5));
    advance(1);
    EXPECT_TRUE(sameBorder(QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage(), at));
    EXPECT_TRUE(staleOnScreen(window).empty());
}

TEST_F(ViewTest, TheLoopStaysOursAndQtEventsArriveInItsPump) {
    bool delivered = false;
    QTimer::singleShot(0, [&] { delivered = true; });
    EXPECT_FALSE(delivered);
    loop().doEvents();
    EXPECT_TRUE(delivered);
    view.reset();
    delivered = false;
    QTimer::singleShot(0, [&] { delivered = true; });
    loop().doEvents();
    EXPECT_FALSE(delivered) << "without a view the loop no longer pumps Qt";
    QCoreApplication::processEvents();
}

TEST_F(ViewTest, OddGeometryAndColoursShowWithoutHarm) {
    TestForm& f = shown();
    f.Text1.Move(-300, -450, 0, 0);
    EXPECT_EQ(view->widget(f.Text1)->geometry(), QRect(-20, -30, 0, 0));
    f.Command1.Move(0, 0, -1500, 1e9);
    EXPECT_EQ(view->widget(f.Command1)->width(), 0);
    f.Move(0, 0, 0, 0);
    EXPECT_GE(view->window(f)->width(), 1);
    f.Shape1.setFillColor(0x80000005);
    f.Label1.setBackColor(0x80000063);
    f.List1.userClickRow(-1);
    f.Picture1.clearPicture();
    advance(5);
    EXPECT_TRUE(testForm.isLoaded());
}

}  // namespace
