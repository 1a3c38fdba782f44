#include "korvella/main/FlashPlayerControl.h"

#include "platform/loop/eventloop.h"

namespace korvella {

namespace {
FlashPlayerControl::CallObserver& callObserver() {
    static FlashPlayerControl::CallObserver o;
    return o;
}
}  // namespace

void FlashPlayerControl::setCallObserver(CallObserver observer) { callObserver() = std::move(observer); }

FlashPlayerControl::FlashPlayerControl(forms::Form* form, std::string name, forms::Control* container)
    : forms::HostedControl(form, std::move(name), "ShockwaveFlash", container),
      player_(platform::EventLoop::current().clock()) {
    // The view keeps each frame it is given to draw: only what moved is painted again.
    player_.setKeepsTarget(true);
    player_.setObserver([this](const std::string& line) {
        if (callObserver()) callObserver()(*this, line);
    });
}

FlashPlayerControl::~FlashPlayerControl() { player_.setObserver(nullptr); }

void FlashPlayerControl::setVisible(bool visible) {
    player_.setVisible(visible);
    forms::Control::setVisible(visible);
}

void FlashPlayerControl::Move(double left, double top, double width, double height) {
    player_.setWidth(width);
    player_.setHeight(height);
    forms::HostedControl::Move(left, top, width, height);
}

void FlashPlayerControl::paint(platform::Bitmap& target, int widthPx, int heightPx) {
    const std::uint64_t serial = player_.pictureSerial();
    player_.render(target, widthPx, heightPx);
    // Noted only once drawn: a render that failed is tried again at the next frame.
    painted_ = true;
    paintedSerial_ = serial;
}

bool FlashPlayerControl::changedSpans(std::vector<Span>& out) const { return player_.changedSpansAs(out); }

bool FlashPlayerControl::needsRepaint(std::int64_t nowNs) {
    return !painted_ || player_.pictureSerial(nowNs) != paintedSerial_;
}

}  // namespace korvella
