// What the operator sees: every caption whole at design size, check and option indicators
// visible on any background, button faces in their exact colour, centred mirror boxes.
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>

#include "gui/bindings.h"
#include "operator_fixture.h"

namespace operator_test {
namespace {

using namespace korvella;

class LooksTest : public OperatorTest {};

std::string captionOf(const forms::Control& c) {
    switch (c.kind()) {
    case forms::Kind::Label: return static_cast<const forms::Label&>(c).Caption();
    case forms::Kind::CommandButton: return static_cast<const forms::CommandButton&>(c).Caption();
    case forms::Kind::CheckBox: return static_cast<const forms::CheckBox&>(c).Caption();
    case forms::Kind::OptionButton: return static_cast<const forms::OptionButton&>(c).Caption();
    case forms::Kind::Frame: return static_cast<const forms::Frame&>(c).Caption();
    default: return {};
    }
}

TEST_F(LooksTest, EveryCaptionOfEveryWindowFitsItsControl) {
    std::vector<forms::Form*> forms = {&frmBeats(), &Form1(), &Form2(), &Form3(), &Form4(), &Form5(), &frmCustom()};
    int checked = 0;
    // scripts/screenshot-windows.sh asks for a picture of each window.
    const char* shots = std::getenv("KORVELLA_SHOT_DIR");
    for (forms::Form* f : forms) {
        f->Show();
        advance(gui::View::kFrameMs);
        if (shots) view->window(*f)->grab().save(QString::fromStdString(std::string(shots) + "/" + f->name() + ".png"));
        for (forms::Control* c : f->Controls()) {
            const std::string caption = captionOf(*c);
            if (caption.empty() || !c->Visible()) continue;
            QWidget* w = view->widget(*c);
            ASSERT_NE(w, nullptr) << f->name() << "." << c->name();
            const QFontMetrics fm(w->font());
            const QString text = gui::detail::withoutAccessKeys(caption);
            // Room for the text: a button's edge, a box's indicator, a frame's corners.
            int room = w->width(), height = w->height();
            switch (c->kind()) {
            case forms::Kind::CommandButton: room -= 4; break;
            case forms::Kind::CheckBox:
            case forms::Kind::OptionButton: room -= 17; break;
            case forms::Kind::Frame: room -= 12; height = fm.height(); break;
            default: break;
            }
            if (c->kind() == forms::Kind::Label) {
                // Labels wrap at blanks: every line within the width, all lines within the height.
                const QRect need = fm.boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text);
                EXPECT_LE(need.width(), room) << f->name() << "." << c->name() << " \"" << caption << "\"";
                EXPECT_LE(need.height(), height) << f->name() << "." << c->name() << " \"" << caption << "\"";
            } else {
                // One line, as these controls show it.
                EXPECT_LE(fm.horizontalAdvance(text), room) << f->name() << "." << c->name() << " \"" << caption << "\"";
                EXPECT_LE(fm.height(), height + 2) << f->name() << "." << c->name() << " \"" << caption << "\"";
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST_F(LooksTest, IndicatorsShowOnAnyBackgroundFacesInTheirExactColourMirrorBoxesCentred) {
    std::vector<forms::Form*> forms = {&frmBeats(), &Form2(), &Form3(), &Form4(), &Form5()};
    int faces = 0, boxes = 0;
    for (forms::Form* f : forms) {
        f->Show();
        advance(gui::View::kFrameMs);
        for (forms::Control* c : f->Controls()) {
            if (!c->Visible()) continue;
            QWidget* w = view->widget(*c);
            if (c->kind() == forms::Kind::CommandButton && c->BackColor() != forms::kButtonFace && w->height() > 8) {
                EXPECT_EQ(guitest::shownPixel(w, 4, 4), forms::resolveColor(c->BackColor())) << f->name() << "." << c->name();
                ++faces;
            }
            if ((c->kind() == forms::Kind::CheckBox || c->kind() == forms::Kind::OptionButton) && w->width() > 16) {
                // The empty box or circle: light pixels in the indicator's place, even on black.
                const QImage shot = w->grab().toImage();
                int light = 0;
                for (int y = 0; y < shot.height(); ++y)
                    for (int x = 0; x < std::min(16, shot.width()); ++x)
                        if (qGray(shot.pixel(x, y)) > 200) ++light;
                EXPECT_GT(light, 20) << f->name() << "." << c->name();
                ++boxes;
            }
        }
    }
    EXPECT_GT(faces, 10);
    EXPECT_GT(boxes, 10);
    // The desk's zoom and dimmer mirror boxes show their numbers centred.
    for (const forms::TextBox* mirror : {&Form5().Text1, &Form5().Text10})
        EXPECT_TRUE(widget<QLineEdit>(*mirror)->alignment() & Qt::AlignHCenter) << mirror->name();
}

}  // namespace
}  // namespace operator_test
