// GetAsyncKeyState for the program. On X11 the key state of the whole desktop (XQueryKeymap on
// a connection of our own), so that the live desk's hot keys work while another program has
// the focus. Elsewhere (Wayland, offscreen) nothing offers that: the keys Qt delivers while a
// window of the program has the focus are what the service knows.
#pragma once
#include <QObject>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/windows/keyboard.h"

namespace gui {

class X11Keyboard final : public QObject, public platform::KeyboardService {
public:
    // Needs a QApplication (it watches Qt's key events in either mode). Uses X11 when Qt runs on
    // X11 ("xcb") and the display opens.
    X11Keyboard();
    ~X11Keyboard() override;
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // True when the desktop's key state is read (X11), false when only Qt's key events count.
    bool global() const { return display_ != nullptr; }

    std::int16_t getAsyncKeyState(int vk) override;

    // The X keysyms a virtual key stands for (both Shift keys for VK_SHIFT ...); empty when none.
    static std::vector<unsigned long> keysymsFor(int vk);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool x11Down(int vk);

    void* display_ = nullptr;  // an X display connection
    std::array<std::vector<unsigned char>, 256> keycodes_;
    std::array<bool, 256> wasDown_{};
    // Keys seen through Qt: the whole state off X11, the taps between two queries on X11.
    platform::ScriptedKeyboard seen_;
};

}  // namespace gui
