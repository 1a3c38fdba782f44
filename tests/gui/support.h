// The view's tests: one QApplication for the program (offscreen), a virtual-time runtime and a
// view following it, and the forms runtime emptied after each test.
#pragma once
#include <QApplication>
#include <QImage>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "forms/form.h"
#include "gui/view.h"
#include "support/fixture.h"

namespace guitest {

QApplication& app();

// What the test forms' handlers did, in order.
std::vector<std::string>& events();

// Colour of a pixel of what the widget shows, as &HBBGGRR.
std::uint32_t shownPixel(QWidget* widget, int x, int y);

class ViewTest : public testsupport::VirtualTest {
protected:
    ViewTest() {
        app();
        events().clear();
        view = std::make_unique<gui::View>(loop(), windows());
    }
    ~ViewTest() override {
        forms::Application::reset();
        view.reset();
    }

    std::unique_ptr<gui::View> view;
};

}  // namespace guitest
