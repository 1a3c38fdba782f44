// The asynchronous key state of the desktop (GetAsyncKeyState). Linux offers no portable way to
// read the physical keyboard whatever window has the focus (Wayland none at all), so the program
// asks the current KeyboardService: the view may install one fed by the keys it sees, tests
// install ScriptedKeyboard. With none installed every key reads as up.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>

namespace platform {

// Bits of a key state: down now, and pressed since the previous query.
inline constexpr std::int16_t kKeyDown = static_cast<std::int16_t>(0x8000);
inline constexpr std::int16_t kKeyPressedSinceQuery = 0x0001;

class KeyboardService {
public:
    virtual ~KeyboardService() = default;
    // vk: virtual key code 0..255; any other code reads 0.
    virtual std::int16_t getAsyncKeyState(int vk) = 0;
};

// The current service, and replacing it (nullptr goes back to the all-keys-up service). The
// caller keeps ownership of what it installs.
KeyboardService& keyboard();
void setKeyboard(KeyboardService* service);

// Keys pressed and released by hand (tests, or the view from its own key events). A key pressed
// and released between two queries still reads non-zero once, as a tap does on Windows.
// Thread-safe, so the view may feed it from wherever its events arrive.
class ScriptedKeyboard final : public KeyboardService {
public:
    std::int16_t getAsyncKeyState(int vk) override;
    void press(int vk);
    void release(int vk);
    void tap(int vk);  // press and release before the next query
    bool isDown(int vk) const;
    void releaseAll();  // also forgets taps not yet queried

private:
    static bool valid(int vk) { return vk >= 0 && vk < 256; }
    mutable std::mutex mutex_;
    std::array<bool, 256> down_{};
    std::array<bool, 256> pressedSinceQuery_{};
};

} // namespace platform
