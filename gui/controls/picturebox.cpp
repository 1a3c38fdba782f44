#include "gui/controls/picturebox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <array>

#include "gui/keys.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

// The 2-pixel sunken border inside a rectangle: one-pixel strips in the order they are drawn,
// later ones over earlier ones at the corners.
struct BorderStrip {
    QRect rect;
    QRgb colour;
};
std::array<BorderStrip, 8> sunkenBorder(const QRect& r) {
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    return {{{QRect(QPoint(x0, y0), QPoint(x1 - 1, y0)), qRgb(128, 128, 128)},
             {QRect(QPoint(x0, y0), QPoint(x0, y1 - 1)), qRgb(128, 128, 128)},
             {QRect(QPoint(x0 + 1, y0 + 1), QPoint(x1 - 2, y0 + 1)), qRgb(64, 64, 64)},
             {QRect(QPoint(x0 + 1, y0 + 1), QPoint(x0 + 1, y1 - 2)), qRgb(64, 64, 64)},
             {QRect(QPoint(x0, y1), QPoint(x1, y1)), qRgb(255, 255, 255)},
             {QRect(QPoint(x1, y0), QPoint(x1, y1)), qRgb(255, 255, 255)},
             {QRect(QPoint(x0 + 1, y1 - 1), QPoint(x1 - 1, y1 - 1)), qRgb(192, 192, 192)},
             {QRect(QPoint(x1 - 1, y0 + 1), QPoint(x1 - 1, y1 - 1)), qRgb(192, 192, 192)}}};
}

// Fills a rectangle of a 32-bit image with an opaque colour.
void fillRows(QImage& to, const QRect& target, QRgb colour) {
    const QRect dest = target & to.rect();
    for (int y = dest.top(); y <= dest.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(to.scanLine(y));
        std::fill(row + dest.left(), row + dest.right() + 1, colour | 0xFF000000u);
    }
}

// Painting widgets draw their update region one rectangle at a time, each under its own clip:
// Qt copies an image straight in under a rectangular clip, but under a clip of several
// rectangles (a region with siblings lying over the widget, as the projector's buttons lie over
// its player) it blends span by span on worker threads, several times the cost for a full frame.

class PictureWidget final : public QWidget, public Bound {
public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {
        setMouseTracking(true);
        // The box draws every pixel of itself: Qt need not draw what lies below it first.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    forms::PictureBox* box() const { return binding ? &static_cast<forms::PictureBox&>(binding->control()) : nullptr; }

    void paintEvent(QPaintEvent* e) override {
        forms::PictureBox* b = box();
        if (!b) return;
        QPainter p(this);
        const int border = b->BorderStyle ? 2 : 0;
        const QImage image = imageOf(b->image());
        const QRect picture = image.rect().translated(border, border);
        const QColor back = toQColor(b->BackColor());
        QPoint at;
        QImage* screen = sameFormatTarget(p, image, at);
        const QRegion& region = e->region();
        for (const QRect& r : region) {
            if (const QRect part = r & picture; !part.isEmpty()) {
                if (screen) {
                    copyRows(image, part.translated(-picture.topLeft()), *screen, part.translated(at));
                } else {
                    p.setClipRect(r);
                    p.drawImage(part.topLeft(), image, part.translated(-picture.topLeft()));
                }
            }
            if (picture.contains(r)) continue;
            // The back colour where the picture leaves room.
            p.setClipRect(r);
            for (const QRect& room : QRegion(r).subtracted(picture)) p.fillRect(room, back);
        }
        // The border last, over the picture, only where the update reaches it: strips filled
        // (a line under a clip costs many times more).
        if (!border) return;
        for (const QRect& r : region) {
            for (const BorderStrip& strip : sunkenBorder(rect())) {
                const QRect part = strip.rect & r;
                if (part.isEmpty()) continue;
                if (screen && screen->depth() == 32) {
                    fillRows(*screen, part.translated(at), strip.colour);
                } else {
                    p.setClipRect(r);
                    p.fillRect(part, QColor::fromRgb(strip.colour));
                }
            }
        }
    }

    void mousePressEvent(QMouseEvent* e) override { mouse(e, 0); }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(e, 1); }
    void mouseReleaseEvent(QMouseEvent* e) override { mouse(e, 2); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mouse(e, 3); }

private:
    // Mouse events in the box's ScaleMode units, measured from its inner area.
    void mouse(QMouseEvent* e, int what) {
        forms::PictureBox* b = box();
        if (!b || !binding || binding->updating() || !b->Enabled()) return;
        const double unit = b->ScaleMode() == 3 ? 1.0 : forms::kTwipsPerPixel;
        const int border = b->BorderStyle ? 2 : 0;
        const double x = (e->position().x() - border) * unit, y = (e->position().y() - border) * unit;
        const int shift = shiftBits(e->modifiers());
        Binding* bind = binding;
        switch (what) {
        case 0: {
            afterDblClick_ = false;
            const int button = buttonBits(e->button());
            if (b->onMouseDown) bind->input([=] { b->onMouseDown(button, shift, x, y); });
            break;
        }
        case 1: {
            const int buttons = buttonBits(e->buttons());
            if (b->onMouseMove) bind->input([=] { b->onMouseMove(buttons, shift, x, y); });
            break;
        }
        case 2: {
            const int button = buttonBits(e->button());
            const bool click = !afterDblClick_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
            afterDblClick_ = false;
            if (b->onMouseUp && !bind->input([=] { b->onMouseUp(button, shift, x, y); })) return;
            if (click && b->onClick) bind->input([=] { b->onClick(); });
            break;
        }
        case 3:
            // The second press of a double click gives DblClick, and its release no Click.
            afterDblClick_ = true;
            if (b->onDblClick) bind->input([=] { b->onDblClick(); });
            break;
        }
    }
    bool afterDblClick_ = false;
};

class PictureBinding final : public Binding {
public:
    PictureBinding(forms::PictureBox& box, QWidget* parent) : Binding(box, new PictureWidget(parent)), box_(box) {}

private:
    void syncKind(Prop prop) override {
        if (prop != Prop::Picture && prop != Prop::Colors && prop != Prop::Geometry) return;
        // A new picture repaints only the tiles drawn on since the last one (a plot redrawn 50
        // times a second changes a thin band); the rest of the screen already shows it.
        const bool known = box_.image().takeChanges(changed_);
        if (prop != Prop::Picture || !known) return widget()->update();
        if (changed_.empty()) return;
        const int border = box_.BorderStyle ? 2 : 0;
        // Pieces of a row of tiles lying a few tiles apart are repainted as one: each piece costs
        // a copy call per pixel row, more than the pixels between them.
        constexpr int kJoinPx = 3 * platform::Bitmap::kChangeTileWidth;
        rects_.clear();
        for (const platform::PixelArea& a : changed_) {
            const QRect r(a.x + border, a.y + border, a.width, a.height);
            if (!rects_.empty() && rects_.back().top() == r.top() && r.left() - rects_.back().right() - 1 <= kJoinPx)
                rects_.back().setRight(r.right());
            else
                rects_.push_back(r);
        }
        QRegion region;
        region.setRects(rects_.data(), static_cast<int>(rects_.size()));
        widget()->update(region);
    }

    forms::PictureBox& box_;
    std::vector<platform::PixelArea> changed_;
    std::vector<QRect> rects_;
};

}  // namespace

std::unique_ptr<Binding> bindPictureBox(forms::PictureBox& control, QWidget* parent) { return std::make_unique<PictureBinding>(control, parent); }

}  // namespace gui::detail
