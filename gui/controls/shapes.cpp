#include "gui/controls/shapes.h"

#include <QGroupBox>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

class FrameBinding final : public Binding {
public:
    FrameBinding(forms::Frame& frame, QWidget* parent) : Binding(frame, new QGroupBox(parent)), frame_(frame) {}

private:
    void syncKind(Prop prop) override {
        if (prop == Prop::Caption) static_cast<QGroupBox*>(widget())->setTitle(toQString(frame_.Caption()));
    }
    forms::Frame& frame_;
};

class ShapeWidget final : public QWidget, public Bound {
public:
    explicit ShapeWidget(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!binding) return;
        QPainter p(this);
        if (binding->control().kind() == Kind::Line) {
            const auto& l = static_cast<const forms::LineControl&>(binding->control());
            p.setPen(toQColor(l.BorderColor));
            const QPoint origin = pixelRect(l).topLeft();
            const auto [a, b] = linePoints(l);
            p.drawLine(a - origin, b - origin);
            return;
        }
        const auto& s = static_cast<const forms::Shape&>(binding->control());
        p.setPen(toQColor(s.BorderColor));
        p.setBrush(s.FillStyle == 0 ? QBrush(toQColor(s.FillColor)) : QBrush(Qt::NoBrush));
        QRect r = rect().adjusted(0, 0, -1, -1);
        if (s.ShapeKind == 1 || s.ShapeKind == 3 || s.ShapeKind == 5) {
            const int side = std::min(r.width(), r.height());
            r = QRect(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
        }
        switch (s.ShapeKind) {
        case 2:
        case 3: p.drawEllipse(r); break;
        case 4:
        case 5: p.drawRoundedRect(r, 15, 15, Qt::RelativeSize); break;
        default: p.drawRect(r); break;
        }
    }
};

class ShapeBinding final : public Binding {
public:
    ShapeBinding(forms::Control& shape, QWidget* parent) : Binding(shape, new ShapeWidget(parent)) {}

private:
    void applyColors() override { widget()->update(); }
    void syncKind(Prop) override { widget()->update(); }
};

}  // namespace

std::unique_ptr<Binding> bindFrame(forms::Frame& control, QWidget* parent) { return std::make_unique<FrameBinding>(control, parent); }

std::unique_ptr<Binding> bindShape(forms::Control& control, QWidget* parent) { return std::make_unique<ShapeBinding>(control, parent); }

}  // namespace gui::detail
