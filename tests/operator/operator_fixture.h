// The program's windows shown by the Qt view on the offscreen platform, driven as the operator
// drives them: mouse and key events through the window system's way in (press, release, press,
// release for a double click), so that the widgets, the view and the forms runtime turn them into
// the program's events exactly as in the real program.
#pragma once
#include <QListWidget>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>

#include "gui/support.h"
#include "gui/view.h"
#include "korvella/dmxcontrol/dmxc_fixture.h"

namespace operator_test {

class OperatorTest : public korvella_test::DmxcTest {
protected:
    OperatorTest() {
        guitest::app();
        view = std::make_unique<gui::View>(loop(), windows());
    }
    ~OperatorTest() override {
        forms::Application::reset();
        view.reset();
    }

    template <class W = QWidget>
    W* widget(const forms::Control& c) {
        auto* w = qobject_cast<W*>(view->widget(c));
        EXPECT_NE(w, nullptr) << c.name();
        return w;
    }

    // Where a list's row is, in its viewport, scrolled into view first.
    QPoint rowPoint(const forms::ListBox& list, int row) {
        auto* w = widget<QListWidget>(list);
        QListWidgetItem* item = w ? w->item(row) : nullptr;
        EXPECT_NE(item, nullptr) << list.name() << " row " << row;
        if (!item) return {};
        w->scrollToItem(item);
        return w->visualItemRect(item).center();
    }

    // The mouse on a widget, through its top-level window.
    void mouse(QWidget* w, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods, bool twice) {
        ASSERT_NE(w, nullptr);
        QWidget* top = w->window();
        QWindow* handle = top->windowHandle();
        ASSERT_NE(handle, nullptr) << "the window is shown";
        const QPoint p = w->mapTo(top, at);
        if (twice)
            QTest::mouseDClick(handle, button, mods, p);
        else
            QTest::mouseClick(handle, button, mods, p);
    }
    void clickRow(const forms::ListBox& list, int row, Qt::KeyboardModifiers mods = {}) {
        mouse(widget<QListWidget>(list)->viewport(), rowPoint(list, row), Qt::LeftButton, mods, false);
    }
    void doubleClickRow(const forms::ListBox& list, int row) {
        mouse(widget<QListWidget>(list)->viewport(), rowPoint(list, row), Qt::LeftButton, {}, true);
    }
    void rightClickRow(const forms::ListBox& list, int row) {
        mouse(widget<QListWidget>(list)->viewport(), rowPoint(list, row), Qt::RightButton, {}, false);
    }
    void click(const forms::Control& c) {
        QWidget* w = widget(c);
        mouse(w, w->rect().center(), Qt::LeftButton, {}, false);
    }

    std::unique_ptr<gui::View> view;
};

}  // namespace operator_test
