// Windows that stay reachable: what the program puts on top through the window services comes
// on top on the screen, and a text box shows its edge on any background.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>

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

    // scripts/screenshot-windows.sh asks for a picture of it, with the stand-in's KommandoBox
    // drawn where the reading puts it, over Form4 before the reading.
    const char* shots = std::getenv("KORVELLA_SHOT_DIR");
    std::unique_ptr<QWidget> kommandoBox;
    if (shots) {
        kommandoBox = std::make_unique<QWidget>();
        kommandoBox->setWindowTitle(QStringLiteral("KommandoBox"));
        auto* rows = new QVBoxLayout(kommandoBox.get());
        for (const char* name : {"Blitz", "Nebel"}) rows->addWidget(new QPushButton(QString::fromUtf8(name)));
        rows->addStretch();
        kommandoBox->setGeometry(100, 100, 700, 400);
        kommandoBox->show();
        kommandoBox->raise();
        QTest::qWait(500);  // the window manager maps it
    }

    click(f.Command2);  // "Namen aus DMX Control auslesen"
    advance(gui::View::kFrameMs);
    if (shots) {
        QTest::qWait(500);  // the window manager restacks
        const QRect area = view->window(frmBeats())->frameGeometry() | view->window(f)->frameGeometry() |
                           kommandoBox->frameGeometry();
        QGuiApplication::primaryScreen()
            ->grabWindow(0, 0, 0, area.right() + 20, area.bottom() + 20)
            .save(QString::fromStdString(std::string(shots) + "/form4-on-top.png"));
    }
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
