// The bridge to another program's windows, with shell scripts in the relay's place: what the
// program's calls become on the wire, what the answers become, and that a relay that is missing,
// slow, stuck or gone leaves every call answering as a dead handle does, at once or within the
// call's time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/loop/eventloop.h"
#include "platform/windows/wine_windows.h"

using namespace platform;

namespace {

using Ms = std::chrono::duration<double, std::milli>;

struct WineWindowsTest : ::testing::Test {
    WineWindowsTest() : loop(std::make_unique<VirtualClock>()) {
        EventLoop::setCurrent(&loop);
        WindowRegistry::setCurrent(&reg);
        log = (std::filesystem::temp_directory_path() / ("korvella-relay-log-" + std::to_string(::getpid()))).string();
        std::filesystem::remove(log);
    }
    ~WineWindowsTest() override {
        reg.setForeignWindows(nullptr);
        EventLoop::setCurrent(nullptr);
        WindowRegistry::setCurrent(nullptr);
        std::filesystem::remove(log);
    }

    // A relay that writes its script's lines after "ready" and logs every request.
    std::unique_ptr<WineWindows> relay(const std::string& answers, int timeoutMs = 100) {
        WineWindows::Options o;
        o.command = {"/bin/sh", "-c", "echo ready; while read id verb rest; do echo \"$verb $rest\" >> '" + log + "'; " + answers +
                                          "; done"};
        o.timeoutMs = timeoutMs;
        auto w = std::make_unique<WineWindows>(std::move(o));
        EXPECT_TRUE(w->waitReady(5000));
        reg.setForeignWindows(w.get());
        return w;
    }
    std::vector<std::string> requests() const {
        std::ifstream in(log);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    template <typename F>
    static double timed(F&& f) {
        const auto t = std::chrono::steady_clock::now();
        f();
        return Ms(std::chrono::steady_clock::now() - t).count();
    }

    EventLoop loop;
    WindowRegistry reg;
    std::string log;
};

// The lighting program's KommandoBox as a scripted relay answers it.
const char* const kKommandoBox =
    "case $verb in "
    "find) case \"$rest\" in *KommandoBox) echo \"$id 65600\";; *) echo \"$id 0\";; esac;; "
    "children) echo \"$id 65602 =ThunderRT6CheckBox 65604 =ThunderRT6UserControlDC 65606 =ThunderRT6TextBox\";; "
    "class) echo \"$id =ThunderRT6FormDC\";; "
    "text) echo \"$id 5 =Gr%C3%BCn%20%25\";; "
    "parent) echo \"$id 65600\";; "
    "send) echo \"$id 1\";; "
    "*) echo \"$id 1\";; esac";

TEST_F(WineWindowsTest, OurWindowsFirstThenTheOtherProgramsWithHandlesThatNeverMeetOurs) {
    const HWND ours = reg.create("ThunderRT6FormDC", "Mine");
    auto w = relay(kKommandoBox);
    EXPECT_EQ(reg.findWindow("", "Mine"), ours);
    const HWND kb = reg.findWindow("", "KommandoBox");
    ASSERT_NE(kb, 0);
    EXPECT_EQ(kb % 2, 1);  // ours are even
    EXPECT_EQ(w->foreignHandle(kb), 65600);
    EXPECT_EQ(reg.findWindow("", "KommandoBox"), kb);  // the same window, the same handle
    EXPECT_EQ(reg.findWindow("", "Nichts"), 0);

    std::vector<HWND> children;
    reg.enumChildWindows(kb, [&](HWND h) {
        children.push_back(h);
        return true;
    });
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(reg.getClassName(children[0]), "ThunderRT6CheckBox");
    EXPECT_EQ(reg.getClassName(children[1]), "ThunderRT6UserControlDC");
    EXPECT_EQ(reg.getParent(children[1]), kb);
    EXPECT_EQ(reg.getWindowText(children[2]), "Grün %");

    EXPECT_EQ(reg.sendMessage(children[0], BM_GETCHECK), 1);
    reg.sendMessage(children[1], WM_LBUTTONDOWN);
    reg.sendMessage(kb, WM_COMMAND, 0, children[1]);  // the handle in lParam is theirs again
    EXPECT_TRUE(reg.showWindow(kb, SW_HIDE));
    EXPECT_TRUE(reg.moveWindow(kb, 100, 100, 700, 400, true));
    EXPECT_TRUE(reg.setWindowPos(kb, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    reg.postMessage(children[2], WM_KEYDOWN, VK_PRIOR, 0);
    loop.doEvents();  // posted messages leave at the loop's next pump
    EXPECT_EQ(requests(), (std::vector<std::string>{
                              "find - =KommandoBox", "find - =KommandoBox", "find - =Nichts", "children 65600",
                              "parent 65604", "text 65606 32767", "send 65602 240 0 0", "send 65604 513 0 0",
                              "send 65600 273 0 65604", "show 65600 0", "move 65600 100 100 700 400 1",
                              "pos 65600 -2 0 0 0 0 3", "post 65606 256 33 0"}));
}

TEST_F(WineWindowsTest, TextsAreCopiedIntoTheCallersBufferAndAddressesNeverTravel) {
    auto w = relay(kKommandoBox);
    const HWND kb = reg.findWindow("", "KommandoBox");
    std::string buffer(32767, 'x');
    // Lengths count characters, and a text is never cut inside one.
    EXPECT_EQ(reg.sendMessage(kb, WM_GETTEXT, 32767, reinterpret_cast<LPARAM>(buffer.data())), 6);
    EXPECT_EQ(std::string(buffer.c_str()), "Grün %");
    std::string small(platform::textBufferBytes(4), 'x');
    EXPECT_EQ(reg.sendMessage(kb, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(small.data())), 3);
    EXPECT_EQ(std::string(small.c_str()), "Grü");
    // A message whose parameter is an address in this program, and a handle nobody gave out.
    EXPECT_EQ(reg.sendMessage(kb, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("neu")), 0);
    EXPECT_EQ(reg.sendMessage(kb + 2, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(reg.sendMessage(kb, WM_GETTEXT, 0, 0), 0);
    EXPECT_EQ(requests(), (std::vector<std::string>{"find - =KommandoBox", "text 65600 32767", "text 65600 4"}));
}

TEST_F(WineWindowsTest, AMissingOrSilentRelayAnswersAtOnceAsADeadHandle) {
    WineWindows missing({{"/nonexistent/wine64", "relay.exe"}, {}, 100});
    EXPECT_FALSE(missing.alive());
    reg.setForeignWindows(&missing);
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0); }), 50);

    // Still starting (Wine takes seconds the first time): nothing is waited for.
    WineWindows starting({{"/bin/sh", "-c", "sleep 5"}, {}, 100});
    EXPECT_TRUE(starting.alive());
    reg.setForeignWindows(&starting);
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0); }), 50);
    EXPECT_FALSE(starting.ready());
    EXPECT_EQ(starting.calls(), 0);
}

TEST_F(WineWindowsTest, AStuckRelayCostsOneTimeLimitThenNothingUntilItAnswersAgain) {
    // Answers each request only after the next one came: the first call runs out of time.
    auto w = relay("if [ -n \"$last\" ]; then echo \"$last 7\"; fi; last=$id", 100);
    const HWND kb = w->aliasOf(65600);
    const double first = timed([&] { EXPECT_EQ(reg.sendMessage(kb, BM_GETCHECK), 0); });
    EXPECT_GE(first, 95);
    EXPECT_LT(first, 400);
    EXPECT_EQ(w->timeouts(), 1);
    // While the answer is owed, calls do not reach the relay.
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.sendMessage(kb, BM_GETCHECK), 0); }), 20);
    EXPECT_EQ(w->calls(), 1);
    EXPECT_EQ(requests().size(), 1u);
}

TEST_F(WineWindowsTest, ARelayThatEndsLeavesEveryCallHarmless) {
    auto w = relay("exit 0");
    const HWND kb = w->aliasOf(65600);
    // Its end shows as the call's failure; writing to it afterwards must not end this program.
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.sendMessage(kb, WM_LBUTTONDOWN), 0); }), 400);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0);
        EXPECT_EQ(reg.sendMessage(kb, WM_LBUTTONUP), 0);
        EXPECT_FALSE(reg.showWindow(kb, SW_HIDE));
    }
    EXPECT_FALSE(w->alive());
}

TEST_F(WineWindowsTest, StartsOnlyWhenWantedAndPresent) {
    const char* old = std::getenv("KORVELLA_WINE");
    const std::string saved = old ? old : "";
    std::string note;
    ::setenv("KORVELLA_WINE", "0", 1);
    EXPECT_EQ(WineWindows::start("/nonexistent", &note), nullptr);
    EXPECT_EQ(note, "off (KORVELLA_WINE=0)");
    ::unsetenv("KORVELLA_WINE");
    EXPECT_EQ(WineWindows::start("/nonexistent", &note), nullptr);
    EXPECT_NE(note.find("off"), std::string::npos);
    if (old) ::setenv("KORVELLA_WINE", saved.c_str(), 1);
}

}  // namespace
