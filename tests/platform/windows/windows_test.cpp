#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <utility>
#include <vector>

#include "platform/loop/eventloop.h"
#include "platform/windows/windows.h"

using namespace platform;

namespace {

struct WindowsFixture : ::testing::Test {
    WindowsFixture() : loop(std::make_unique<VirtualClock>()) {
        EventLoop::setCurrent(&loop);
        WindowRegistry::setCurrent(&reg);
    }
    ~WindowsFixture() override {
        EventLoop::setCurrent(nullptr);
        WindowRegistry::setCurrent(nullptr);
    }
    EventLoop loop;
    WindowRegistry reg;
};

TEST_F(WindowsFixture, ReplacedProcedureGetsEveryMessageAndTheOldOneComesBack) {
    std::vector<UINT> original, replacement;
    const HWND h = reg.create("ThunderRT6TextBox", "", 0, [&](HWND hw, UINT m, WPARAM w, LPARAM l) {
        original.push_back(m);
        return defWindowProc(hw, m, w, l);
    });
    WndProc old = reg.setWindowProc(h, [&](HWND, UINT m, WPARAM, LPARAM) {
        replacement.push_back(m);
        return LRESULT{7};
    });
    ASSERT_TRUE(old);
    EXPECT_EQ(reg.sendMessage(h, 0x3B7, 0x41, 0), 7);
    reg.postMessage(h, MM_WIM_DATA, 1, 2);
    loop.doEvents();
    EXPECT_EQ(replacement, (std::vector<UINT>{0x3B7, MM_WIM_DATA}));
    EXPECT_TRUE(original.empty());

    reg.setWindowProc(h, old);
    reg.sendMessage(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
    EXPECT_EQ(original, (std::vector<UINT>{WM_SETTEXT}));
    EXPECT_EQ(reg.getWindowText(h), "abc");

    char buf[3];
    EXPECT_EQ(reg.sendMessage(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 2);
    EXPECT_STREQ(buf, "ab");
}

TEST_F(WindowsFixture, GettingTextCountsCharactersAndNeverCutsOne) {
    const HWND h = reg.create("X", "Grüße 🎵!");
    EXPECT_EQ(reg.sendMessage(h, WM_GETTEXTLENGTH), 9);  // the note counts two, as in the forms runtime
    auto get = [&](std::size_t chars) {
        std::string buf(textBufferBytes(chars), '#');
        const LRESULT n = reg.sendMessage(h, WM_GETTEXT, chars, reinterpret_cast<LPARAM>(buf.data()));
        return std::to_string(n) + ":" + std::string(buf.c_str());
    };
    EXPECT_EQ(get(100), "9:Grüße 🎵!");
    EXPECT_EQ(get(10), "9:Grüße 🎵!");
    EXPECT_EQ(get(9), "8:Grüße 🎵");
    EXPECT_EQ(get(8), "6:Grüße ");  // the note does not fit whole
    EXPECT_EQ(get(4), "3:Grü");
    EXPECT_EQ(get(1), "0:");
    EXPECT_EQ(reg.sendMessage(h, WM_GETTEXT, 0, 0), 0);
    // A byte that is no UTF-8 counts as one character and is copied as it is.
    const HWND bad = reg.create("X", "a\xFF" "b");
    EXPECT_EQ(reg.sendMessage(bad, WM_GETTEXTLENGTH), 3);
    std::string buf(textBufferBytes(3), '#');
    EXPECT_EQ(reg.sendMessage(bad, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(buf.data())), 2);
    EXPECT_EQ(std::string(buf.c_str()), "a\xFF");
}

TEST_F(WindowsFixture, DeadHandlesAreNoErrorAndPostsToThemAreDropped) {
    const HWND h = reg.create("X", "t");
    int got = 0;
    reg.setWindowProc(h, [&](HWND, UINT, WPARAM, LPARAM) { return LRESULT{++got}; });
    reg.postMessage(h, WM_KEYUP);
    reg.destroy(h);
    loop.doEvents();
    EXPECT_EQ(got, 0);
    EXPECT_EQ(reg.sendMessage(h, WM_KEYUP), 0);
    EXPECT_FALSE(reg.setWindowProc(h, {}));
    EXPECT_EQ(reg.getWindowText(h), "");
    EXPECT_EQ(reg.getParent(h), 0);
    EXPECT_EQ(reg.showWindow(h, SW_HIDE), 0);
    EXPECT_FALSE(reg.moveWindow(h, 1, 2, 3, 4));
    EXPECT_EQ(reg.sendMessage(0, WM_SETTEXT), 0);
}

TEST_F(WindowsFixture, PostsFromAnotherThreadAreDeliveredOnTheLoopThread) {
    const auto loopThread = std::this_thread::get_id();
    std::vector<WPARAM> got;
    bool onLoopThread = true;
    const HWND h = reg.create("X", "", 0, [&](HWND, UINT, WPARAM w, LPARAM) {
        onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
        got.push_back(w);
        return LRESULT{0};
    });
    std::thread t([&] {
        for (WPARAM i = 0; i < 50; ++i) reg.postMessage(h, MM_WIM_DATA, i, 0);
    });
    t.join();
    loop.doEvents();
    ASSERT_EQ(got.size(), 50u);
    for (WPARAM i = 0; i < 50; ++i) EXPECT_EQ(got[i], i);
    EXPECT_TRUE(onLoopThread);
}

TEST_F(WindowsFixture, EnumChildWindowsWalksDepthFirstInCreationOrder) {
    const HWND top = reg.create("Top", "KommandoBox");
    const HWND a = reg.create("A", "", top);
    const HWND a1 = reg.create("A1", "", a);
    const HWND a2 = reg.create("A2", "", a);
    const HWND b = reg.create("B", "", top);
    const HWND b1 = reg.create("B1", "", b);
    std::vector<HWND> seen;
    reg.enumChildWindows(top, [&](HWND h) {
        seen.push_back(h);
        return true;
    });
    EXPECT_EQ(seen, (std::vector<HWND>{a, a1, a2, b, b1}));
    seen.clear();
    reg.enumChildWindows(top, [&](HWND h) {
        seen.push_back(h);
        return h != a1;  // stops after a1
    });
    EXPECT_EQ(seen, (std::vector<HWND>{a, a1}));
    EXPECT_EQ(reg.getParent(a2), a);
    EXPECT_EQ(reg.getClassName(b1), "B1");
    reg.destroy(a);
    EXPECT_FALSE(reg.isWindow(a1));
    EXPECT_EQ(reg.children(top), (std::vector<HWND>{b}));
}

TEST_F(WindowsFixture, FindWindowMatchesTheWholeCaptionIgnoringCaseHiddenOnesToo) {
    const HWND hidden = reg.create("ThunderRT6FormDC", "DMXC ManualBeat", 0, {}, false);
    const HWND child = reg.create("ThunderRT6TextBox", "KommandoBox", hidden);
    EXPECT_EQ(reg.findWindow("", "dmxc manualbeat"), hidden);
    EXPECT_EQ(reg.findWindow("", "DMXC Manual"), 0);
    EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0);  // children are not top-level
    (void)child;
    // The topmost of two with one caption is found.
    const HWND newer = reg.create("ThunderRT6FormDC", "DMXC MANUALBEAT");
    EXPECT_EQ(reg.findWindow("", "DMXC ManualBeat"), newer);
    reg.setWindowPos(hidden, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(reg.findWindow("", "DMXC ManualBeat"), hidden);
}

TEST_F(WindowsFixture, GeometryVisibilityAndZOrder) {
    const HWND w = reg.create("X", "w");
    EXPECT_EQ(reg.showWindow(w, SW_SHOWNORMAL), 0);
    EXPECT_EQ(reg.showWindow(w, SW_HIDE), 1);
    EXPECT_FALSE(reg.isVisible(w));
    reg.moveWindow(w, 100, 100, 700, 400);
    EXPECT_EQ(reg.getWindowRect(w), (Rect{100, 100, 800, 500}));
    reg.setWindowPos(w, HWND_TOPMOST, 5, 6, 0, 0, SWP_NOSIZE);
    EXPECT_EQ(reg.getWindowRect(w), (Rect{5, 6, 705, 406}));
    EXPECT_TRUE(reg.isTopmost(w));
    const HWND other = reg.create("X", "other");
    reg.setWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(reg.isTopmost(w));
    EXPECT_EQ(reg.topLevelWindows().front(), w);  // above every window that is not topmost
    (void)other;
}

}  // namespace

// The walk over the observers as they stood at its start, for a list of one (called directly), a
// short one (copied on the stack) and a long one: an observer that removes itself or adds another
// while it is called changes neither who is called this time nor the order.
TEST(ObserverWalk, CallsTheListAsItStoodWhateverTheObserversDoToIt) {
    struct Note : WindowRegistry::Observer {
        WindowRegistry* reg = nullptr;
        std::vector<int>* calls = nullptr;
        int id = 0;
        bool leave = false;
        Note* adds = nullptr;
        void windowChanged(HWND) override {
            calls->push_back(id);
            if (leave) reg->removeObserver(this);
            if (adds) reg->addObserver(std::exchange(adds, nullptr));
        }
    };
    for (int count : {1, 2, 8, 9, 12}) {
        SCOPED_TRACE(count);
        WindowRegistry reg;
        std::vector<int> calls;
        const HWND h = reg.create("ThunderRT6TextBox", "");
        std::vector<Note> notes(static_cast<std::size_t>(count) + 1);
        for (int i = 0; i <= count; ++i) {
            Note& n = notes[static_cast<std::size_t>(i)];
            n.reg = &reg, n.calls = &calls, n.id = i;
        }
        Note& late = notes.back();  // added by the first observer, called from the next change on
        for (int i = 0; i < count; ++i) {
            Note& n = notes[static_cast<std::size_t>(i)];
            n.leave = i % 2 == 0;
            if (i == 0) n.adds = &late;
            reg.addObserver(&n);
        }
        reg.setStoredText(h, "a");
        std::vector<int> first(static_cast<std::size_t>(count));
        std::iota(first.begin(), first.end(), 0);
        EXPECT_EQ(calls, first);
        calls.clear();
        reg.setStoredText(h, "b");
        std::vector<int> second;
        for (int i = 1; i < count; i += 2) second.push_back(i);
        second.push_back(count);
        EXPECT_EQ(calls, second);
        calls.clear();
        reg.setStoredText(h, "b");  // no change, no call
        EXPECT_TRUE(calls.empty());
    }
}

