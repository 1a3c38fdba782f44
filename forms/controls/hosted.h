// Controls of other libraries placed on a form.
#pragma once
#include <cstdint>
#include <vector>

#include "forms/control.h"
#include "platform/graphics/graphics.h"

namespace forms {

// A control of another library placed on a form (the audio control, the movie player). One that
// paints itself renders its picture when the view asks, at the display's rate.
class HostedControl : public Control {
public:
    HostedControl(Form* form, std::string name, const char* className, Control* container = nullptr);
    virtual bool paints() const { return false; }
    virtual void paint(platform::Bitmap& /*target*/, int /*widthPx*/, int /*heightPx*/) {}
    // Whether a paint at nowNs (the loop's clock) could draw anything other than the last paint
    // did at the same size. The view skips the paint and the screen update when it could not.
    virtual bool needsRepaint(std::int64_t /*nowNs*/) { return true; }
    // After a paint into the target the last paint drew into: adds the pixel spans of rows that
    // can differ from what that paint left, and returns true; false when any pixel can.
    struct Span {
        int y, x0, x1;
    };
    virtual bool changedSpans(std::vector<Span>& /*out*/) const { return false; }
};

}  // namespace forms
