// The Qt view: every loaded form of the forms runtime as a top-level window, its controls as
// child widgets at their pixel rectangles, kept in step with every property change, and the
// operator's input turned into the same runtime calls a test makes (userClick, userEdit, ...).
// The loop stays the runtime's own: the view is its input pump (Qt delivers events inside
// doEvents) and the program never runs Qt's event loop.
#pragma once
#include <functional>
#include <memory>

#include "forms/application.h"
#include "forms/form.h"
#include "platform/loop/eventloop.h"
#include "platform/windows/windows.h"

class QAction;
class QMenuBar;
class QWidget;
class QWindow;

namespace gui {

class View final : public forms::FormsObserver, private platform::WindowRegistry::Observer {
public:
    // A painting hosted control (the movie player) is drawn at most this often.
    static constexpr int kFrameMs = 16;
    // Height of a form's menu bar, as the forms runtime counts it in the frame.
    static constexpr int kMenuBarPx = 19;

    // Needs a QApplication. Shows the forms loaded already and follows every form from now on;
    // becomes the loop's input pump and reports the primary screen's size to the runtime.
    explicit View(platform::EventLoop& loop = platform::EventLoop::current(),
                  platform::WindowRegistry& windows = platform::WindowRegistry::current());
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // The view that follows the forms now (the last one made), or null.
    static View* current();

    // The top-level window of a loaded form; null when the form is not loaded.
    QWidget* window(const forms::Form& form) const;
    // The area below the menu bar that holds the controls.
    QWidget* clientArea(const forms::Form& form) const;
    QMenuBar* menuBar(const forms::Form& form) const;
    // The widget showing a control (null for timers, menus and controls of forms not loaded).
    QWidget* widget(const forms::Control& control) const;
    // The menu entry of a menu control.
    QAction* action(const forms::Menu& menu) const;

    // The input pump: delivers Qt's pending events and, when a frame is due (at most every
    // kFrameMs on the loop's clock), writes the controls' changes into their widgets and
    // repaints the painting hosted controls of visible forms whose picture can have changed.
    // Changes that only alter a widget's look (texts, values, list rows and selections, colours,
    // pictures) wait for that frame; layout, visibility, enabling and menus show at once. The
    // operator's input and the getters below see them all.
    void pump();
    // Writes the waiting changes into the widgets now.
    void applyPendingChanges();

    // Lets the window system move the form's window as if its title bar were dragged (the
    // projector's drag bar). Where the window system cannot, the view moves the window with the
    // mouse itself until the button is released. False when the form has no visible window.
    bool startSystemMove(forms::Form& form);

    // FormsObserver
    void formLoaded(forms::Form& form) override;
    void formUnloaded(forms::Form& form) override;
    void formChanged(forms::Form& form, forms::Prop prop) override;
    void controlChanged(forms::Control& control, forms::Prop prop) override;

    struct Impl;

private:
    void messageSent(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) override;
    void windowChanged(platform::HWND hwnd) override;
    void windowRestacked(platform::HWND hwnd) override;

    std::unique_ptr<Impl> d_;
};

// The current view's startSystemMove (false without a view).
bool startSystemMove(forms::Form& form);

}  // namespace gui
