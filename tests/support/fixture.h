// A test on virtual time: a fresh loop and window registry, scripted message boxes, and the
// forms runtime emptied before and after.
#pragma once
#include <gtest/gtest.h>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/runtime.h"
#include "platform/windows/dialogs.h"

namespace testsupport {

class VirtualTest : public ::testing::Test {
protected:
    // The few tests whose point is real threads ask for the real clock.
    explicit VirtualTest(forms::Runtime::ClockKind clock = forms::Runtime::ClockKind::Virtual) : rt{clock} {
        platform::setDialogs(&dialogs);
    }
    ~VirtualTest() override { platform::setDialogs(nullptr); }

    platform::EventLoop& loop() { return rt.loop(); }
    platform::WindowRegistry& windows() { return rt.windows(); }
    double now() const { return rt.nowMs(); }
    void advance(int ms) { rt.loop().advance(ms); }

    forms::Runtime rt;
    platform::ScriptedDialogs dialogs;
};

}  // namespace testsupport
