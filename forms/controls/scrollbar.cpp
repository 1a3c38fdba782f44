#include "forms/controls/scrollbar.h"

#include <algorithm>

#include "forms/form.h"
#include "platform/error.h"

namespace forms {

using platform::raise;

ScrollBar::ScrollBar(Form* form, std::string name, bool horizontal, int min, int max, int value, Control* container)
    : Control(form, std::move(name), horizontal ? Kind::HScrollBar : Kind::VScrollBar, true,
              horizontal ? "ThunderRT6HScrollBar" : "ThunderRT6VScrollBar", container),
      min_(min), max_(max), value_(value) {}

namespace {
int checked16(long long v) {
    if (v < -32768 || v > 32767) raise(6);
    return static_cast<int>(v);
}
}  // namespace

void ScrollBar::setValue(long long v) {
    const int value = checked16(v);
    if (value < std::min(min_, max_) || value > std::max(min_, max_)) raise(380);
    if (value == value_) return;
    value_ = value;
    notify(Prop::Value);
    fire(onChange);
}

void ScrollBar::setMin(long long v) {
    min_ = checked16(v);
    notify(Prop::Range);
    const int clamped = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    if (clamped != value_) setValue(clamped);
}

void ScrollBar::setMax(long long v) {
    max_ = checked16(v);
    notify(Prop::Range);
    const int clamped = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    if (clamped != value_) setValue(clamped);
}

void ScrollBar::userStep(int delta) {
    if (!Enabled()) return;
    // Moving towards Max adds; a bar whose Min exceeds Max runs backwards.
    const int dir = max_ >= min_ ? 1 : -1;
    const long long v = std::clamp<long long>(static_cast<long long>(value_) + static_cast<long long>(delta) * dir,
                                              std::min(min_, max_), std::max(min_, max_));
    setValue(v);
}

void ScrollBar::userDrag(int value, bool released) {
    if (!Enabled()) return;
    const int v = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (!released) {
        if (v != value_) {
            value_ = v;
            notify(Prop::Value);
            fire(onScroll);
        }
        return;
    }
    value_ = v;
    notify(Prop::Value);
    fire(onChange);
}

}  // namespace forms
