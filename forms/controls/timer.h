// The form timer, on the loop's clock.
#pragma once
#include "forms/control.h"
#include "platform/loop/eventloop.h"

namespace forms {

class Timer : public Control {
public:
    Timer(Form* form, std::string name, int interval, bool enabled, Control* container = nullptr);
    int Interval() const { return timer_.interval(); }
    // 0..65535 (else 380); writing it restarts the count; 0 never ticks.
    void setInterval(long long ms);
    bool Enabled() const { return timer_.enabled(); }
    // Enabling a stopped timer starts a fresh full interval; a running one keeps its count.
    void setEnabled(bool on);
    std::function<void()> onTimer;

private:
    friend class Form;
    platform::LoopTimer timer_;
};

}  // namespace forms
