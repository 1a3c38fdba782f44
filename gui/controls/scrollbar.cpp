#include "gui/controls/scrollbar.h"

#include <QScrollBar>
#include <algorithm>

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

class ScrollBinding final : public Binding {
public:
    ScrollBinding(forms::ScrollBar& bar, QWidget* parent)
        : Binding(bar, new QScrollBar(bar.kind() == Kind::HScrollBar ? Qt::Horizontal : Qt::Vertical, parent)), bar_(bar) {
        auto* s = qbar();
        QObject::connect(s, &QAbstractSlider::actionTriggered, context(), [this](int action) { act(action); });
        QObject::connect(s, &QAbstractSlider::sliderReleased, context(), [this] {
            if (updating()) return;
            const int v = fromQt(qbar()->sliderPosition());
            if (input([this, v] { bar_.userDrag(v, true); })) sync(Prop::Value);
        });
        followFocus();
    }

private:
    QScrollBar* qbar() const { return static_cast<QScrollBar*>(widget()); }
    // Qt wants its minimum first; a bar whose Min exceeds Max runs backwards, so Qt gets the
    // negated values: "add" in Qt always moves towards Max.
    bool backwards() const { return bar_.Min() > bar_.Max(); }
    int toQt(int v) const { return backwards() ? -v : v; }
    int fromQt(int v) const { return backwards() ? -v : v; }

    void act(int action) {
        if (updating()) return;
        auto* s = qbar();
        std::function<void()> call;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: call = [this] { bar_.userStep(bar_.SmallChange); }; break;
        case QAbstractSlider::SliderSingleStepSub: call = [this] { bar_.userStep(-bar_.SmallChange); }; break;
        case QAbstractSlider::SliderPageStepAdd: call = [this] { bar_.userStep(bar_.LargeChange); }; break;
        case QAbstractSlider::SliderPageStepSub: call = [this] { bar_.userStep(-bar_.LargeChange); }; break;
        case QAbstractSlider::SliderToMinimum: call = [this] { bar_.userStep(-65536); }; break;
        case QAbstractSlider::SliderToMaximum: call = [this] { bar_.userStep(65536); }; break;
        case QAbstractSlider::SliderMove: {
            const int pos = s->sliderPosition();
            if (s->isSliderDown()) {
                call = [this, pos] { bar_.userDrag(fromQt(pos), false); };
            } else {
                // The wheel: steps, each with its Change.
                const int delta = pos - toQt(bar_.Value());
                call = [this, delta] { bar_.userStep(delta); };
            }
            break;
        }
        default: return;
        }
        if (!input(call)) return;
        // Qt applies its slider position after this signal; make that the control's value.
        Updating guard(this);
        s->setValue(toQt(bar_.Value()));
    }

    void syncKind(Prop prop) override {
        if (prop != Prop::Value && prop != Prop::Range) return;
        auto* s = qbar();
        s->setRange(std::min(toQt(bar_.Min()), toQt(bar_.Max())), std::max(toQt(bar_.Min()), toQt(bar_.Max())));
        s->setSingleStep(std::max(1, bar_.SmallChange));
        s->setPageStep(std::max(1, bar_.LargeChange));
        if (!s->isSliderDown() || prop == Prop::Range) s->setValue(toQt(bar_.Value()));
    }

    forms::ScrollBar& bar_;
};

}  // namespace

std::unique_ptr<Binding> bindScrollBar(forms::ScrollBar& control, QWidget* parent) { return std::make_unique<ScrollBinding>(control, parent); }

}  // namespace gui::detail
