#include "forms/controls/timer.h"

#include "forms/errors.h"
#include "forms/form.h"
#include "platform/error.h"

namespace forms {

using platform::raise;

Timer::Timer(Form* form, std::string name, int interval, bool enabled, Control* container)
    : Control(form, std::move(name), Kind::Timer, false, "", container), timer_([this] { runHandler([this] { fire(onTimer); }); }) {
    timer_.setInterval(interval);
    timer_.setEnabled(enabled);
}

void Timer::setInterval(long long ms) {
    if (ms < 0 || ms > 65535) raise(380);
    timer_.setInterval(static_cast<int>(ms));
    notify(Prop::Interval);
}

void Timer::setEnabled(bool on) {
    // Enabling a running timer changes nothing (the detector does it for most points of a plot):
    // no notice then, as for every other property.
    const bool was = timer_.enabled();
    timer_.setEnabled(on);
    if (timer_.enabled() != was) notify(Prop::Enabled);
}

}  // namespace forms
