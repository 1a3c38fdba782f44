// Windows that stay reachable: what the program puts on top through the window services comes
// on top on the screen, and a text box shows its edge on any background.
#include <QApplication>
#include <QImage>
#include <QLineEdit>

#include "operator_fixture.h"

namespace operator_test {
namespace {

using korvella::Form4;
using korvella::frmBeats;

class StackingTest : public OperatorTest {};

TEST_F(StackingTest, AfterANameReadingForm4ComesOnTopAndItsRenameBoxShowsItsEdge) {
    dmxc.openKommandoBox({"Blitz", "Nebel"});
    Form4.Show();
    auto& f = Form4();
    frmBeats.Show();
    advance(500);  // the finder has found the KommandoBox window
    ASSERT_EQ(f.List1.ListCount(), 2);
    advance(gui::View::kFrameMs);
    QApplication::setActiveWindow(view->window(frmBeats()));
    advance(1);
    ASSERT_EQ(QApplication::activeWindow(), view->window(frmBeats()));

    click(f.Command2);  // "Namen aus DMX Control auslesen"
    advance(gui::View::kFrameMs);
    ASSERT_EQ(f.List4.ListCount(), 2) << "the names were read";
    EXPECT_EQ(windows().topLevelWindows().front(), f.hWnd()) << "on top of the KommandoBox and the main window";
    EXPECT_EQ(QApplication::activeWindow(), view->window(f)) << "and so on the screen";

    // The rename box, black on black, without the focus: its edge stands out from the form.
    auto* box = widget<QLineEdit>(f.Text1);
    ASSERT_NE(box, nullptr);
    ASSERT_FALSE(box->hasFocus());
    const QImage shown = box->grab().toImage();
    const int middle = shown.height() / 2;
    EXPECT_LT(qGray(shown.pixel(shown.width() / 2, middle)), 40) << "black inside";
    EXPECT_GT(qGray(shown.pixel(0, middle)), 100) << "a light edge on the left";
    EXPECT_GT(qGray(shown.pixel(shown.width() / 2, 0)), 100) << "and on the top";
}

}  // namespace
}  // namespace operator_test
