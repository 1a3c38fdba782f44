// Inside the view: one binding per control, owning the link between the control and its widget.
// A binding writes the control's state into the widget (sync) and turns the widget's input into
// the control's user* calls. When the binding dies its connections die with it and the widget is
// left inert, so that a widget whose form was unloaded by its own click is never touched again.
#pragma once
#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "forms/controls/shapes.h"
#include "platform/graphics/graphics.h"

class QKeyEvent;
class QPainter;

namespace gui::detail {

// Runs the operator's input into the runtime. Errors escaping the handlers go to the runtime's
// unhandled-error policy; the depth tells the view that widgets must not be deleted now.
void userInput(const std::function<void()>& input);
int inputDepth();

QColor toQColor(std::uint32_t vbColour);
QFont toQFont(const forms::Font& font);
QString toQString(const std::string& utf8);
std::string fromQString(const QString& text);
// A caption as the control shows it: "&&" is "&", a single "&" marks the access key.
QString withoutAccessKeys(const std::string& caption);
// The bitmap's pixels as an image that shares them (valid while the bitmap is unchanged).
QImage imageOf(const platform::Bitmap& bitmap);

// Pixel rectangle of a control inside its container widget: its geometry in the container's
// units (twips, or pixels in a picture box with ScaleMode 3), rounded to whole pixels, moved by
// the container's border.
QRect pixelRect(const forms::Control& control);
// A line control's end points in its container widget's pixels.
std::pair<QPoint, QPoint> linePoints(const forms::LineControl& line);
// Offset of a container's inner area inside its widget (a picture box's border).
int innerOffset(const forms::Control* container);

class Binding {
public:
    Binding(forms::Control& control, QWidget* widget);
    virtual ~Binding();
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    forms::Control& control() const { return control_; }
    QWidget* widget() const { return widget_; }
    // Connections made with this context die with the binding.
    QObject* context() { return &context_; }
    // Windowless controls (labels, shapes, lines) lie below the windowed ones.
    bool windowless() const;

    // Writes one changed property (or all of them) into the widget.
    void sync(forms::Prop prop);
    void syncAll();

    // Runs operator input; false when the binding died meanwhile (its form was unloaded).
    bool input(const std::function<void()>& fn);
    bool updating() const { return updating_ > 0; }

    // Painting hosted controls: renders a frame into the widget's buffer when the control's
    // picture can have changed by nowNs (the loop's clock).
    virtual bool paintsFrames() const { return false; }
    virtual void renderFrame(std::int64_t /*nowNs*/) {}

protected:
    virtual void syncKind(forms::Prop prop) = 0;
    virtual void applyColors();
    // Whether the widget paints its back colour (a transparent label does not).
    virtual bool fillsBackground() const { return true; }
    // The colour the style draws the widget's surroundings and edge from (the back colour, or
    // the desktop's for a control whose edge must show on any back colour).
    virtual QColor surroundColor(const QColor& back) const { return back; }
    // Tracks the focus: a widget taking it makes its control the form's focused one.
    void followFocus();
    // Watches a widget's events. The filter outlives the binding (a handler run from it may
    // unload the form) but does nothing once the binding is gone.
    void watch(QObject* target, std::function<bool(QEvent*)> fn);

    struct Updating {
        explicit Updating(Binding* b) : b(b) { ++b->updating_; }
        ~Updating() { --b->updating_; }
        Binding* b;
    };

private:
    forms::Control& control_;
    QPointer<QWidget> widget_;
    QObject context_;
    std::vector<QPointer<QObject>> filters_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    int updating_ = 0;
};

// A widget of our own that reaches its binding (null once the binding is gone).
struct Bound {
    virtual ~Bound() = default;
    Binding* binding = nullptr;
};

// Key preview for controls that do not type: the form sees the key first when it asks to.
void previewKey(Binding& b, QKeyEvent* e);

// The image the painter draws into, when an image's rows can go into it as they are (what
// drawImage does for a same-format image, without a clip for each of the many rectangles of an
// update region); `at` is where the widget's origin lies in it.
QImage* sameFormatTarget(const QPainter& p, const QImage& source, QPoint& at);
// Copies the source rectangle of `from` to the target rectangle (of the same size) of `to`, as
// far as it lies inside `to`; both images have the same format.
void copyRows(const QImage& from, const QRect& source, QImage& to, const QRect& target);

// Makes the widget and binding for a control; null for controls without a widget (timers, menus).
std::unique_ptr<Binding> makeBinding(forms::Control& control, QWidget* parent);

}  // namespace gui::detail
