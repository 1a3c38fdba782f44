#include "korvella/playlist/ControlGeometry.h"

#include <functional>

#include "forms/conv.h"
#include "forms/errors.h"
#include "platform/error.h"

namespace korvella {

using forms::Kind;

bool hasPosition(Kind kind) {
    return kind != Kind::Menu && kind != Kind::Line;
}

bool hasSize(Kind kind) {
    return hasPosition(kind) && kind != Kind::Timer;
}

bool hasFont(Kind kind) {
    switch (kind) {
    case Kind::Timer:
    case Kind::Menu:
    case Kind::Shape:
    case Kind::Line:
    case Kind::HScrollBar:
    case Kind::VScrollBar:
    case Kind::Hosted:
        return false;
    default:
        return true;
    }
}

namespace {

// A missing property reads as "object doesn't support this property" (438).
double need(bool has, double value) {
    if (!has) platform::raise(438);
    return value;
}

}  // namespace

std::vector<ControlGeometry> recordControlGeometry(const forms::Form& form) {
    const auto& controls = form.Controls();
    std::vector<ControlGeometry> records(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const forms::Control& c = *controls[i];
        ControlGeometry& r = records[i];
        const Kind k = c.kind();
        // Each field on its own: a failing read (no such property, beyond 16 bits) leaves 0.
        auto read = [&](std::int16_t& field, ControlGeometry::Field bit, const std::function<double()>& value) {
            if (!forms::tryStmt([&] { field = vb::CInt(value()); })) r.unread |= bit;
        };
        read(r.Top, ControlGeometry::kTop, [&] { return need(hasPosition(k), c.Top()); });
        read(r.Left, ControlGeometry::kLeft, [&] { return need(hasPosition(k), c.Left()); });
        read(r.Width, ControlGeometry::kWidth, [&] { return need(hasSize(k), c.Width()); });
        read(r.Height, ControlGeometry::kHeight, [&] { return need(hasSize(k), c.Height()); });
        read(r.ScaleHeight, ControlGeometry::kScaleHeight, [&] { return form.ScaleHeight(); });
        read(r.ScaleWidth, ControlGeometry::kScaleWidth, [&] { return form.ScaleWidth(); });
        read(r.FontSize, ControlGeometry::kFontSize, [&] { return need(hasFont(k), c.FontSize()); });
    }
    return records;
}

void applyProportionalLayout(forms::Form& form, const std::vector<ControlGeometry>& records) {
    double h = 0, w = 0;
    forms::tryStmt([&] { h = vb::CLng(form.ScaleHeight()); });
    forms::tryStmt([&] { w = vb::CLng(form.ScaleWidth()); });
    // A copy: a control created or removed by a layout side effect must not upset the walk.
    const std::vector<forms::Control*> controls = form.Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        forms::Control& c = *controls[i];
        const Kind k = c.kind();
        auto rec = [&]() -> const ControlGeometry& {
            if (i >= records.size()) platform::raise(9);  // subscript out of range
            return records[i];
        };
        // A value that was not read at load is not laid out.
        auto known = [&](std::uint8_t bits) {
            if (rec().unread & bits) platform::raise(6);
        };
        using G = ControlGeometry;
        forms::tryStmt([&] {
            known(G::kTop | G::kScaleHeight);
            c.setTop(need(hasPosition(k), vb::Divide(h, rec().ScaleHeight) * rec().Top));
        });
        forms::tryStmt([&] {
            known(G::kLeft | G::kScaleWidth);
            c.setLeft(need(hasPosition(k), vb::Divide(w, rec().ScaleWidth) * rec().Left));
        });
        forms::tryStmt([&] {
            known(G::kWidth | G::kScaleWidth);
            c.setWidth(need(hasSize(k), vb::Divide(w, rec().ScaleWidth) * rec().Width));
        });
        forms::tryStmt([&] {
            known(G::kHeight | G::kScaleHeight);
            c.setHeight(need(hasSize(k), vb::Divide(h, rec().ScaleHeight) * rec().Height));
        });
    }
}

}  // namespace korvella
