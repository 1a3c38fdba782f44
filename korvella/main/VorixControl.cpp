#include "korvella/main/VorixControl.h"

#include <cstdio>

#include "forms/application.h"
#include "forms/controls/timer.h"
#include "forms/form.h"
#include "platform/error.h"

namespace korvella {

using platform::com::Variant;

VorixControl::VorixControl(forms::Form* host, std::string name) : host_(host), name_(std::move(name)) {
    // What the main window saved with its instance of the control.
    saved_.WriteProperty("Threshold", Variant(3.0f), Variant(5.0f));
    saved_.WriteProperty("Devices", Variant(static_cast<std::int32_t>(1)), Variant(static_cast<std::int32_t>(0)));
    try {
        object_ = platform::com::createControl(vorix::kProgId, host, name_, &site, &saved_);
        object_->advise(this);
        forms::Application::addObserver(this);
    } catch (const platform::VbError& e) {
        createError_ = e.number();
        const std::string why = platform::com::lastCreateError();
        // "Start" shows this: the operator learns why, not only that the control is missing.
        createDescription_ = e.description() + (why.empty() ? "" : "\r\n" + why);
        std::fprintf(stderr, "%s: %s (%s) cannot be created: %s%s%s\n", forms::Application::title().c_str(),
                     name_.c_str(), vorix::kProgId, e.description().c_str(), why.empty() ? "" : ": ", why.c_str());
    }
}

VorixControl::~VorixControl() { release(); }

void VorixControl::release() {
    if (!object_) return;
    forms::Application::removeObserver(this);
    object_->advise(nullptr);
    object_.reset();
    createError_ = 91;
    createDescription_.clear();
}

void VorixControl::formUnloaded(forms::Form& form) {
    if (&form != host_ || !object_) return;
    for (forms::Control* c : form.Controls())
        if (c->kind() == forms::Kind::Timer) static_cast<forms::Timer*>(c)->setEnabled(false);
    release();
}

void VorixControl::raiseNotCreated() const {
    platform::raise(createError_ ? createError_ : 429, createDescription_);
}

Variant VorixControl::get(platform::com::DispId id, std::vector<Variant> args) {
    if (!object_) raiseNotCreated();
    return object_->get(id, std::move(args));
}

void VorixControl::let(platform::com::DispId id, Variant value) {
    if (!object_) raiseNotCreated();
    object_->put(id, std::move(value));
}

Variant VorixControl::call(platform::com::DispId id, std::vector<Variant> args) {
    if (!object_) raiseNotCreated();
    return object_->call(id, std::move(args));
}

void VorixControl::event(platform::com::DispId id, std::vector<Variant>& args) {
    if (id != vorix::evComplete || !onComplete) return;
    onComplete(args.size() > 0 ? args[0].toInt32() : 0, args.size() > 1 ? args[1].toInt32() : 0,
               args.size() > 2 ? args[2].toDouble() : 0.0);
}

}  // namespace korvella
