#include "gui/bindings.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/form.h"
#include "gui/controls/buttons.h"
#include "gui/controls/hosted.h"
#include "gui/controls/label.h"
#include "gui/controls/listbox.h"
#include "gui/controls/picturebox.h"
#include "gui/controls/scrollbar.h"
#include "gui/controls/shapes.h"
#include "gui/controls/textbox.h"
#include "gui/keys.h"
#include "gui/view.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {
int g_inputDepth = 0;
}  // namespace

void userInput(const std::function<void()>& input) {
    ++g_inputDepth;
    struct Depth {
        ~Depth() { --g_inputDepth; }
    } depth;
    try {
        forms::runHandler(input);
    } catch (const platform::ProgramEnded&) {
        // Never through the toolkit's frames: the pump that called the toolkit goes on unwinding.
    } catch (const std::exception& e) {
        // Not a run-time error of the program: report it, the operator's session goes on.
        std::fprintf(stderr, "%s: %s\n", forms::Application::title().c_str(), e.what());
    }
    // The operator's next input meets the widgets as the handlers left them.
    if (View* view = View::current()) view->applyPendingChanges();
}

int inputDepth() { return g_inputDepth; }

QColor toQColor(std::uint32_t vbColour) {
    const std::uint32_t c = forms::resolveColor(vbColour);
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

QFont toQFont(const forms::Font& font) {
    const double size = font.size > 0 ? font.size : 8.25;
    QFont f(QString::fromStdString(font.name));
    f.setStyleHint(QFont::SansSerif);
    if (font.name == forms::Font().name) {
        // The desktop's dialog font is not on Linux. DejaVu Sans Condensed a tenth smaller has
        // its widths, so a caption that fits at design size fits here too.
        f.setFamily(QStringLiteral("DejaVu Sans Condensed"));
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(size * 96.0 / 72.0 * 0.9))));
    } else {
        f.setPointSizeF(size);
    }
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    return f;
}

QString toQString(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

std::string fromQString(const QString& text) { return text.toStdString(); }

QString withoutAccessKeys(const std::string& caption) {
    QString out;
    const QString in = toQString(caption);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == u'&') {
            if (i + 1 < in.size() && in[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    return out;
}

QImage imageOf(const platform::Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    const auto format = bitmap.format() == platform::PixelFormat::Bgra32 ? QImage::Format_RGB32 : QImage::Format_BGR888;
    return QImage(bitmap.row(0), bitmap.width(), bitmap.height(), bitmap.stride(), format);
}

namespace {
double unitsPerPixel(const forms::Control* container) {
    if (container && container->kind() == Kind::PictureBox && static_cast<const forms::PictureBox*>(container)->ScaleMode() == 3)
        return 1.0;
    return forms::kTwipsPerPixel;
}

int px(double units, double perPixel) { return static_cast<int>(std::lround(units / perPixel)); }
}  // namespace

int innerOffset(const forms::Control* container) {
    if (container && container->kind() == Kind::PictureBox && static_cast<const forms::PictureBox*>(container)->BorderStyle)
        return 2;
    return 0;
}

std::pair<QPoint, QPoint> linePoints(const forms::LineControl& l) {
    const double unit = unitsPerPixel(l.container());
    const int off = innerOffset(l.container());
    return {QPoint(off + px(l.X1, unit), off + px(l.Y1, unit)), QPoint(off + px(l.X2, unit), off + px(l.Y2, unit))};
}

QRect pixelRect(const forms::Control& c) {
    const double unit = unitsPerPixel(c.container());
    const int off = innerOffset(c.container());
    if (c.kind() == Kind::Line) {
        const auto [a, b] = linePoints(static_cast<const forms::LineControl&>(c));
        return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())), QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    }
    return QRect(off + px(c.Left(), unit), off + px(c.Top(), unit), std::max(0, px(c.Width(), unit)),
                 std::max(0, px(c.Height(), unit)));
}

namespace {

// An event filter calling a function until switched off.
class Filter final : public QObject {
public:
    explicit Filter(std::function<bool(QEvent*)> fn, QObject* parent) : QObject(parent), fn_(std::move(fn)) {}
    bool on = true;

protected:
    bool eventFilter(QObject*, QEvent* event) override { return on && fn_(event); }

private:
    std::function<bool(QEvent*)> fn_;
};

}  // namespace

// ---- Binding ----

Binding::Binding(forms::Control& control, QWidget* widget) : control_(control), widget_(widget) {
    widget->setObjectName(toQString(control.name()));
    if (auto* b = dynamic_cast<Bound*>(widget)) b->binding = this;
}

Binding::~Binding() {
    if (auto* b = dynamic_cast<Bound*>(widget_.data())) b->binding = nullptr;
    for (auto& f : filters_)
        if (f) static_cast<Filter*>(f.data())->on = false;
}

void Binding::watch(QObject* target, std::function<bool(QEvent*)> fn) {
    auto* f = new Filter(std::move(fn), target);
    target->installEventFilter(f);
    filters_.emplace_back(f);
}

bool Binding::windowless() const {
    const Kind k = control_.kind();
    return k == Kind::Label || k == Kind::Shape || k == Kind::Line;
}

bool Binding::input(const std::function<void()>& fn) {
    std::weak_ptr<int> alive = alive_;
    userInput(fn);
    return !alive.expired();
}

void Binding::applyColors() {
    const QColor back = toQColor(control_.BackColor()), fore = toQColor(control_.ForeColor());
    const QColor around = surroundColor(back);
    QPalette p = widget_->palette();
    // Programs set the same colours again and again (a label blinking with the beat).
    if (p.color(QPalette::Window) != around || p.color(QPalette::Base) != back || p.color(QPalette::Button) != back ||
        p.color(QPalette::WindowText) != fore || p.color(QPalette::Text) != fore || p.color(QPalette::ButtonText) != fore) {
        p.setColor(QPalette::Window, around);
        for (auto role : {QPalette::Base, QPalette::Button}) p.setColor(role, back);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) p.setColor(role, fore);
        widget_->setPalette(p);
    }
    widget_->setAutoFillBackground(fillsBackground());
}

void Binding::sync(Prop prop) {
    if (!widget_) return;
    Updating guard(this);
    switch (prop) {
    case Prop::Geometry: widget_->setGeometry(pixelRect(control_)); break;
    case Prop::Visible: widget_->setVisible(control_.Visible()); break;
    case Prop::Enabled: widget_->setEnabled(control_.Enabled()); break;
    case Prop::Colors: applyColors(); break;
    case Prop::Font: widget_->setFont(toQFont(control_.font())); break;
    case Prop::Other: widget_->update(); break;
    default: break;
    }
    syncKind(prop);
}

void Binding::syncAll() {
    for (Prop p : {Prop::Geometry, Prop::Enabled, Prop::Colors, Prop::Font, Prop::Text, Prop::Caption, Prop::Items,
                   Prop::Range, Prop::Value, Prop::Selection, Prop::Picture, Prop::Visible})
        sync(p);
}

void Binding::followFocus() {
    watch(widget_, [this](QEvent* e) {
        if (e->type() == QEvent::FocusIn && !updating()) {
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            // Not a menu closing or the view's own setting: those hand back a focus already known.
            if (reason != Qt::PopupFocusReason && reason != Qt::OtherFocusReason && reason != Qt::MenuBarFocusReason)
                input([this] { control_.SetFocus(); });
        }
        return false;
    });
}

// Key preview for controls that do not type: the form sees the key first when it asks to.
void previewKey(Binding& b, QKeyEvent* e) {
    forms::Form* f = b.control().form();
    if (!f || !f->KeyPreview || e->isAutoRepeat()) return;
    int vk = vkFromQtKey(e->key(), e->modifiers());
    if (!vk) return;
    const int shift = shiftBits(e->modifiers());
    b.input([f, vk, shift]() mutable { f->Form_KeyDown(vk, shift); });
}

// The image the painter draws into, when an image's rows can go into it as they are (what
// drawImage does for a same-format image, without a clip for each of the many rectangles of an
// update region); `at` is where the widget's origin lies in it.
QImage* sameFormatTarget(const QPainter& p, const QImage& source, QPoint& at) {
    // The device the painter's engine draws into: the window's image while the view paints,
    // another device when a widget is grabbed.
    QPaintDevice* device = p.paintEngine() ? p.paintEngine()->paintDevice() : nullptr;
    if (source.isNull() || !device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QTransform t = p.deviceTransform();
    // Shared pixels would be copied by the first write, away from the painter's.
    if (image->format() != source.format() || !image->isDetached() || image->devicePixelRatio() != 1.0 ||
        t.type() > QTransform::TxTranslate || t.dx() != std::round(t.dx()) || t.dy() != std::round(t.dy()))
        return nullptr;
    at = QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
    return image;
}

// Copies the source rectangle of `from` to the target rectangle (of the same size) of `to`, as
// far as it lies inside `to`; both images have the same format.
void copyRows(const QImage& from, const QRect& source, QImage& to, const QRect& target) {
    const QRect dest = target & to.rect();
    if (dest.isEmpty()) return;
    const QPoint shift = source.topLeft() - target.topLeft();
    const std::size_t depth = static_cast<std::size_t>(to.depth() / 8);
    const std::size_t bytes = static_cast<std::size_t>(dest.width()) * depth;
    // Row addresses stepped by the line length: scanLine checks for sharing at every row.
    const auto toLine = static_cast<std::ptrdiff_t>(to.bytesPerLine()), fromLine = static_cast<std::ptrdiff_t>(from.bytesPerLine());
    uchar* out = to.bits() + dest.top() * toLine + static_cast<std::ptrdiff_t>(dest.left() * depth);
    const uchar* in = from.constBits() + (dest.top() + shift.y()) * fromLine + static_cast<std::ptrdiff_t>((dest.left() + shift.x()) * depth);
    for (int y = dest.top(); y <= dest.bottom(); ++y, out += toLine, in += fromLine) std::memcpy(out, in, bytes);
}

std::unique_ptr<Binding> makeBinding(forms::Control& c, QWidget* parent) {
    std::unique_ptr<Binding> b;
    switch (c.kind()) {
    case Kind::TextBox: b = bindTextBox(static_cast<forms::TextBox&>(c), parent); break;
    case Kind::Label: b = bindLabel(static_cast<forms::Label&>(c), parent); break;
    case Kind::CommandButton: b = bindCommandButton(static_cast<forms::CommandButton&>(c), parent); break;
    case Kind::CheckBox: b = bindCheckBox(static_cast<forms::CheckBox&>(c), parent); break;
    case Kind::OptionButton: b = bindOptionButton(static_cast<forms::OptionButton&>(c), parent); break;
    case Kind::ListBox:
    case Kind::FileListBox:
    case Kind::DirListBox: b = bindListBox(static_cast<forms::ListBox&>(c), parent); break;
    case Kind::ComboBox: b = bindComboBox(static_cast<forms::ComboBox&>(c), parent); break;
    case Kind::HScrollBar:
    case Kind::VScrollBar: b = bindScrollBar(static_cast<forms::ScrollBar&>(c), parent); break;
    case Kind::Frame: b = bindFrame(static_cast<forms::Frame&>(c), parent); break;
    case Kind::PictureBox: b = bindPictureBox(static_cast<forms::PictureBox&>(c), parent); break;
    case Kind::Hosted: b = bindHostedControl(static_cast<forms::HostedControl&>(c), parent); break;
    case Kind::Shape:
    case Kind::Line: b = bindShape(c, parent); break;
    case Kind::Timer:
    case Kind::Menu: return nullptr;
    }
    if (b) b->syncAll();
    return b;
}

}  // namespace gui::detail
