#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include "gui/keyboard.h"
#include "gui/keys.h"
#include "support.h"

namespace {

TEST(GuiKeys, QtKeysMapToTheDesktopsVirtualKeys) {
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_A), 0x41);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_7), 0x37);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_7, Qt::KeypadModifier), 0x67);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_F1), 112);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_F12), 123);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_PageUp), 0x21);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_Return), 13);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_Enter, Qt::KeypadModifier), 13);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_Odiaeresis), 0xC0);
    EXPECT_EQ(gui::vkFromQtKey(Qt::Key_unknown), 0);
    EXPECT_EQ(gui::shiftBits(Qt::ShiftModifier | Qt::AltModifier), 5);
    EXPECT_EQ(gui::buttonBits(Qt::LeftButton | Qt::MiddleButton), 5);
}

TEST(GuiKeys, VirtualKeysNameTheirXKeysyms) {
    using K = std::vector<unsigned long>;
    EXPECT_EQ(gui::X11Keyboard::keysymsFor(112), K{0xFFBE});          // F1
    EXPECT_EQ(gui::X11Keyboard::keysymsFor(123), K{0xFFC9});          // F12
    EXPECT_EQ(gui::X11Keyboard::keysymsFor(0x41), K{0x61});           // a
    EXPECT_EQ(gui::X11Keyboard::keysymsFor(0x10), (K{0xFFE1, 0xFFE2}));  // both Shift keys
    EXPECT_EQ(gui::X11Keyboard::keysymsFor(0x60), K{0xFFB0});         // keypad 0
    EXPECT_TRUE(gui::X11Keyboard::keysymsFor(0xFF).empty());
    EXPECT_TRUE(gui::X11Keyboard::keysymsFor(-5).empty());
}

class KeyboardTest : public guitest::ViewTest {};

TEST_F(KeyboardTest, OffX11TheKeysOfTheProgramsWindowsCount) {
    gui::X11Keyboard keys;
    EXPECT_FALSE(keys.global()) << "offscreen has no desktop key state";
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);

    QTest::keyPress(&window, Qt::Key_F5);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 4), static_cast<std::int16_t>(0x8001));
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 4), static_cast<std::int16_t>(0x8000)) << "held: down, no new press";
    QTest::keyRelease(&window, Qt::Key_F5);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 4), 0);

    // A tap between two queries still reads once.
    QTest::keyClick(&window, Qt::Key_F6);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 5), 1);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 5), 0);

    // Keys the program sends itself press nothing; codes outside 0..255 read 0.
    QKeyEvent own(QEvent::KeyPress, Qt::Key_F7, Qt::NoModifier);
    QApplication::sendEvent(&window, &own);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_F1 + 6), 0);
    EXPECT_EQ(keys.getAsyncKeyState(-1), 0);
    EXPECT_EQ(keys.getAsyncKeyState(256), 0);

    // Losing the focus forgets held keys: their releases go to another program.
    QTest::keyPress(&window, Qt::Key_Shift);
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QApplication::sendEvent(qApp, &deactivate);
    EXPECT_EQ(keys.getAsyncKeyState(gui::VK_SHIFT), 0);
}

}  // namespace
