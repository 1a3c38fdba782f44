#include "gui/keyboard.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "gui/keys.h"
#include "gui/x11keys.h"

namespace gui {

std::vector<unsigned long> X11Keyboard::keysymsFor(int vk) { return x11::keysymsFor(vk); }

X11Keyboard::X11Keyboard() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        display_ = x11::open();
        if (display_)
            for (int vk = 0; vk < 256; ++vk) keycodes_[static_cast<std::size_t>(vk)] = x11::keycodesFor(display_, vk);
    }
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

X11Keyboard::~X11Keyboard() { x11::close(display_); }

bool X11Keyboard::x11Down(int vk) {
    if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON) return x11::buttonDown(display_, vk);
    return x11::keyDown(display_, keycodes_[static_cast<std::size_t>(vk)]);
}
std::int16_t X11Keyboard::getAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    const std::int16_t seen = seen_.getAsyncKeyState(vk);
    if (!display_) return seen;
    const bool down = x11Down(vk);
    auto& was = wasDown_[static_cast<std::size_t>(vk)];
    // Pressed since the last query: a new press seen now, or a tap Qt saw in between.
    const bool pressed = (down && !was) || (seen & platform::kKeyPressedSinceQuery);
    was = down;
    return static_cast<std::int16_t>((down ? platform::kKeyDown : 0) | (pressed ? platform::kKeyPressedSinceQuery : 0));
}

bool X11Keyboard::eventFilter(QObject*, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->isAutoRepeat()) break;
        // Only the operator's keys: an event the program sends itself presses nothing.
        if (!k->spontaneous()) break;
        const int vk = vkFromQtKey(k->key(), k->modifiers());
        if (!vk) break;
        if (e->type() == QEvent::KeyPress)
            seen_.press(vk);
        else
            seen_.release(vk);
        break;
    }
    case QEvent::ApplicationDeactivate:
        // Releases while another program has the focus never reach us.
        if (!display_) seen_.releaseAll();
        break;
    default: break;
    }
    return false;
}

}  // namespace gui
