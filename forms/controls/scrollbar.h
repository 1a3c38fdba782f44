// Scroll bars: value, range, and the operator's steps and drags.
#pragma once
#include "forms/control.h"

namespace forms {

class ScrollBar : public Control {
public:
    ScrollBar(Form* form, std::string name, bool horizontal, int min, int max, int value, Control* container = nullptr);
    int Value() const { return value_; }
    // Outside the range (Min may exceed Max) raises 380 and changes nothing; beyond 16 bits 6.
    void setValue(long long v);
    int Min() const { return min_; }
    int Max() const { return max_; }
    // The value is clamped into the new range, with Change when that moves it.
    void setMin(long long v);
    void setMax(long long v);
    int SmallChange = 1;
    int LargeChange = 1;
    // The operator: an arrow or track click (one Change), or a thumb drag (Scroll while moving).
    void userStep(int delta);
    void userDrag(int value, bool released);
    std::function<void()> onChange, onScroll;

private:
    int min_, max_, value_;
};

}  // namespace forms
