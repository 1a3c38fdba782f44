#include "platform/windows/keyboard.h"

#include <atomic>

namespace platform {

namespace {

class NoKeyboard final : public KeyboardService {
public:
    std::int16_t getAsyncKeyState(int) override { return 0; }
};

std::atomic<KeyboardService*> g_current{nullptr};

} // namespace

KeyboardService& keyboard() {
    static NoKeyboard none;
    KeyboardService* s = g_current.load();
    return s ? *s : none;
}

void setKeyboard(KeyboardService* service) { g_current.store(service); }

std::int16_t ScriptedKeyboard::getAsyncKeyState(int vk) {
    if (!valid(vk))
        return 0;
    std::lock_guard lock(mutex_);
    const auto i = static_cast<std::size_t>(vk);
    std::int16_t state = 0;
    if (down_[i])
        state |= kKeyDown;
    if (pressedSinceQuery_[i])
        state |= kKeyPressedSinceQuery;
    pressedSinceQuery_[i] = false;
    return state;
}

void ScriptedKeyboard::press(int vk) {
    if (!valid(vk))
        return;
    std::lock_guard lock(mutex_);
    const auto i = static_cast<std::size_t>(vk);
    if (!down_[i])
        pressedSinceQuery_[i] = true;  // auto-repeat of a held key is not a new press
    down_[i] = true;
}

void ScriptedKeyboard::release(int vk) {
    if (!valid(vk))
        return;
    std::lock_guard lock(mutex_);
    down_[static_cast<std::size_t>(vk)] = false;
}

void ScriptedKeyboard::tap(int vk) {
    press(vk);
    release(vk);
}

bool ScriptedKeyboard::isDown(int vk) const {
    if (!valid(vk))
        return false;
    std::lock_guard lock(mutex_);
    return down_[static_cast<std::size_t>(vk)];
}

void ScriptedKeyboard::releaseAll() {
    std::lock_guard lock(mutex_);
    down_.fill(false);
    pressedSinceQuery_.fill(false);
}

} // namespace platform
