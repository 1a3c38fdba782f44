// The asynchronous key state: down while held, and a tap between two polls seen once.
#include <gtest/gtest.h>

#include "platform/windows/keyboard.h"

using namespace platform;

namespace {

constexpr int VK_F5 = 116;

TEST(Keyboard, WithoutAServiceEveryKeyIsUp) {
    setKeyboard(nullptr);
    for (int vk : {0, VK_F5, 255, -1, 256})
        EXPECT_EQ(keyboard().getAsyncKeyState(vk), 0);
}

TEST(Keyboard, HeldKeyReadsDownAtEveryPollAndPressedOnlyAtTheFirst) {
    ScriptedKeyboard kb;
    setKeyboard(&kb);
    EXPECT_EQ(keyboard().getAsyncKeyState(VK_F5), 0);
    kb.press(VK_F5);
    EXPECT_EQ(static_cast<std::uint16_t>(keyboard().getAsyncKeyState(VK_F5)), 0x8001u);
    EXPECT_EQ(static_cast<std::uint16_t>(keyboard().getAsyncKeyState(VK_F5)), 0x8000u);
    kb.press(VK_F5);  // auto-repeat
    EXPECT_EQ(static_cast<std::uint16_t>(keyboard().getAsyncKeyState(VK_F5)), 0x8000u);
    EXPECT_NE(keyboard().getAsyncKeyState(VK_F5) & kKeyDown, 0);
    EXPECT_EQ(keyboard().getAsyncKeyState(VK_F5 + 1), 0);  // other keys untouched
    kb.release(VK_F5);
    EXPECT_EQ(keyboard().getAsyncKeyState(VK_F5), 0);
    setKeyboard(nullptr);
}

TEST(Keyboard, TapBetweenPollsIsSeenOnce) {
    ScriptedKeyboard kb;
    kb.tap(VK_F5);
    EXPECT_FALSE(kb.isDown(VK_F5));
    EXPECT_EQ(kb.getAsyncKeyState(VK_F5), kKeyPressedSinceQuery);
    EXPECT_EQ(kb.getAsyncKeyState(VK_F5), 0);
    kb.tap(VK_F5);
    kb.releaseAll();
    EXPECT_EQ(kb.getAsyncKeyState(VK_F5), 0);
}

TEST(Keyboard, CodesOutsideTheKeyRangeAreIgnored) {
    ScriptedKeyboard kb;
    for (int vk : {-1, 256, 100000, -100000}) {
        kb.press(vk);
        EXPECT_FALSE(kb.isDown(vk));
        EXPECT_EQ(kb.getAsyncKeyState(vk), 0);
        kb.release(vk);
    }
    EXPECT_EQ(kb.getAsyncKeyState(0), 0);
    EXPECT_EQ(kb.getAsyncKeyState(255), 0);
}

} // namespace
