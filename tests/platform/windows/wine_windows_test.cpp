// The bridge to another program's windows, with shell scripts in the relay's place: what the
// program's calls become on the wire, what the answers become, that presses never wait, that a
// late answer is unknown and never taken for another call, and that a relay that is missing,
// slow, stuck, floods or ends leaves every call harmless and is started again.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <optional>
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

    static WineWindows::Options options(std::vector<std::string> command) {
        WineWindows::Options o;
        o.command = std::move(command);
        return o;
    }
    // A relay that writes its script's lines after "ready" and logs every request.
    std::unique_ptr<WineWindows> relay(const std::string& answers, WineWindows::Options o = {}) {
        o.command = {"/bin/sh", "-c", "echo ready; while read id verb rest; do echo \"$verb $rest\" >> '" + log + "'; " + answers +
                                          "; done"};
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
    // The requests once the relay has read n of them (presses are not waited for).
    std::vector<std::string> requests(std::size_t n) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (requests().size() < n && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return requests();
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
    EXPECT_EQ(requests(13), (std::vector<std::string>{
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
    WineWindows missing(options({"/nonexistent/wine64", "relay.exe"}));
    EXPECT_FALSE(missing.alive());
    reg.setForeignWindows(&missing);
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0); }), 50);

    // Still starting (Wine takes seconds the first time): nothing is waited for.
    WineWindows starting(options({"/bin/sh", "-c", "sleep 5"}));
    EXPECT_TRUE(starting.alive());
    reg.setForeignWindows(&starting);
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0); }), 50);
    EXPECT_FALSE(starting.ready());
    EXPECT_EQ(starting.calls(), 0);
}

TEST_F(WineWindowsTest, ALateAnswerIsUnknownAndNeverTakenForTheNextCall) {
    // The first request is answered 300 ms late; every answer is its own request's number.
    auto w = relay("if [ $id = 1 ]; then sleep 0.3; fi; echo \"$id $id\"");
    double took = timed([&] { EXPECT_EQ(reg.lookUpWindow("", "KommandoBox"), std::nullopt); });
    EXPECT_GE(took, 95);
    EXPECT_LT(took, 250);
    EXPECT_EQ(w->timeouts(), 1);
    // While that look-up is owed, look-ups are unknown at once and do not reach the relay.
    EXPECT_LT(timed([&] { EXPECT_EQ(reg.lookUpWindow("", "KommandoBox"), std::nullopt); }), 20);
    EXPECT_EQ(reg.findWindow("", "KommandoBox"), 0);
    EXPECT_EQ(w->calls(), 1);
    // The next call gets its own answer, not the late one.
    const HWND check = w->aliasOf(65602);
    EXPECT_EQ(reg.sendMessageTimeout(check, BM_GETCHECK, 0, 0, 1000), 2);
    const auto kb = reg.lookUpWindow("", "KommandoBox");
    ASSERT_TRUE(kb.has_value());
    EXPECT_EQ(w->foreignHandle(*kb), 3);
}

TEST_F(WineWindowsTest, PressesAreHandedOnInOrderWithoutWaitingAndACallWaitsItsTurn) {
    // 50 ms per message, as a busy program takes it.
    auto w = relay("case $verb in send) sleep 0.05;; esac; echo \"$id 1\"");
    const HWND b1 = w->aliasOf(65604), b2 = w->aliasOf(65606), check = w->aliasOf(65602);
    const double pressing = timed([&] {
        for (HWND b : {b1, b2, b1, b2}) {
            reg.sendMessage(b, WM_LBUTTONDOWN);
            reg.sendMessage(b, WM_LBUTTONUP);
        }
    });
    EXPECT_LT(pressing, 50);
    EXPECT_EQ(w->queued(), 8u);
    // Behind eight presses of 50 ms, a BM_GETCHECK waiting 100 ms gets its answer: it waits its
    // turn while the relay gets on with the presses.
    std::optional<LRESULT> state;
    const double waited = timed([&] { state = reg.sendMessageTimeout(check, BM_GETCHECK, 0, 0, 100); });
    EXPECT_EQ(state, 1);
    EXPECT_GE(waited, 350);
    EXPECT_EQ(w->queued(), 0u);
    EXPECT_EQ(requests(9), (std::vector<std::string>{"send 65604 513 0 0", "send 65604 514 0 0", "send 65606 513 0 0",
                                                      "send 65606 514 0 0", "send 65604 513 0 0", "send 65604 514 0 0",
                                                      "send 65606 513 0 0", "send 65606 514 0 0", "send 65602 240 0 0"}));
}

TEST_F(WineWindowsTest, ARelayThatFallsFarBehindDropsWholeClicksOnly) {
    // It reads every press and answers none.
    auto w = relay("case $verb in send) ;; *) echo \"$id 1\";; esac");
    const HWND b = w->aliasOf(65604);
    for (int i = 0; i < 300; ++i) {
        reg.sendMessage(b, WM_LBUTTONDOWN);
        reg.sendMessage(b, WM_LBUTTONUP);
    }
    EXPECT_EQ(w->queued(), WineWindows::kMaxQueued);
    EXPECT_EQ(w->dropped(), 2 * (300 - static_cast<long>(WineWindows::kMaxQueued) / 2));
    const auto sent = requests(WineWindows::kMaxQueued);
    ASSERT_EQ(sent.size(), WineWindows::kMaxQueued);
    EXPECT_EQ(sent.back(), "send 65604 514 0 0");
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

TEST_F(WineWindowsTest, ARelayThatEndsIsReapedStartedAgainAndToldOnce) {
    // The first relay ends after its second request; the one started after it goes on.
    const std::string marker = log + ".ended";
    std::filesystem::remove(marker);
    std::vector<std::string> told;
    WineWindows::Options o;
    o.restartMs = 50;
    o.report = [&](const std::string& s) { told.push_back(s); };
    auto w = relay("echo \"$id 1\"; if [ $verb = find ] && [ ! -e '" + marker + "' ]; then touch '" + marker + "'; exit 0; fi",
                   std::move(o));
    const pid_t first = w->pid();
    const HWND button = w->aliasOf(65604);
    reg.sendMessage(button, WM_LBUTTONDOWN);  // down, and the relay goes before its button-up
    EXPECT_NE(reg.findWindow("", "KommandoBox"), 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reg.findWindow("", "KommandoBox") == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(w->pid(), first);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);  // reaped: no ended relay is left behind
    EXPECT_EQ(w->starts(), 2);
    EXPECT_EQ(told, (std::vector<std::string>{"lost: korvella-relay.exe ended with status 0; it is started again", "back"}));
    // The button that was down when the relay went gets its button-up from the new one.
    const auto sent = requests(4);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "send 65604 513 0 0");
    EXPECT_NE(std::find(sent.begin() + 2, sent.end(), "send 65604 514 0 0"), sent.end());
    std::filesystem::remove(marker);
}

TEST_F(WineWindowsTest, ARelayThatFloodsIsEndedAndEveryCallStaysWithinItsTime) {
    // Lines that are no answers, endless output without a line break, and an endless repeat of
    // one old answer: each call returns within its time limit, the first two relays are ended.
    for (const char* flood : {"exec yes", "exec cat /dev/zero", "read l; exec yes '1 0'"}) {
        WineWindows::Options o;
        o.command = {"/bin/sh", "-c", std::string("echo ready; ") + flood};
        o.restartMs = 60000;
        WineWindows w(std::move(o));
        ASSERT_TRUE(w.waitReady(5000) || !w.alive()) << flood;
        reg.setForeignWindows(&w);
        const double took = timed([&] {
            for (int i = 0; i < 3; ++i) reg.findWindow("", "KommandoBox");
        });
        EXPECT_LT(took, 1000) << flood;
        if (std::string(flood) != "read l; exec yes '1 0'") {
            EXPECT_FALSE(w.alive()) << flood;
        }
        reg.setForeignWindows(nullptr);
    }
}

TEST_F(WineWindowsTest, StartsOnlyWhenWantedAndPresent) {
    const char* old = std::getenv("KORVELLA_WINE");
    const std::string saved = old ? old : "";
    std::string note;
    ::setenv("KORVELLA_WINE", "0", 1);
    EXPECT_EQ(WineWindows::start({"/nonexistent"}, &note), nullptr);
    EXPECT_EQ(note, "off (KORVELLA_WINE=0)");
    ::unsetenv("KORVELLA_WINE");
    EXPECT_EQ(WineWindows::start({"/nonexistent"}, &note), nullptr);
    EXPECT_NE(note.find("off"), std::string::npos);
    // A prefix that does not exist is never made: DMXControl cannot be in it.
    const char* oldPrefix = std::getenv("WINEPREFIX");
    const std::string savedPrefix = oldPrefix ? oldPrefix : "";
    const std::string none = log + ".prefix";
    ::setenv("WINEPREFIX", none.c_str(), 1);
    EXPECT_EQ(WineWindows::start({"/nonexistent"}, &note), nullptr);
    EXPECT_EQ(note, "off: no Wine prefix " + none + " (DMXControl is installed into one; none is made)");
    EXPECT_FALSE(std::filesystem::exists(none));
    // Nor is an empty folder filled.
    std::filesystem::create_directories(none);
    EXPECT_EQ(WineWindows::start({"/nonexistent"}, &note), nullptr);
    EXPECT_EQ(note, "off: no Wine prefix " + none + " (DMXControl is installed into one; none is made)");
    EXPECT_TRUE(std::filesystem::is_empty(none));
    // A 32-bit prefix cannot run the 64-bit relay: the 32-bit one is asked for.
    std::filesystem::create_directories(none);
    std::ofstream(none + "/system.reg") << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n";
    EXPECT_TRUE(WineWindows::prefixIs32Bit(none));
    EXPECT_EQ(WineWindows::start({"/nonexistent"}, &note), nullptr);
    EXPECT_NE(note.find(std::filesystem::exists("/usr/lib/wine/wine") ? "korvella-relay32.exe was not built"
                                                                       : "is 32-bit and Wine's 32-bit part is missing"),
              std::string::npos)
        << note;
    std::filesystem::remove_all(none);
    EXPECT_FALSE(WineWindows::prefixIs32Bit(none));
    if (oldPrefix) ::setenv("WINEPREFIX", savedPrefix.c_str(), 1);
    else ::unsetenv("WINEPREFIX");
    if (old) ::setenv("KORVELLA_WINE", saved.c_str(), 1);
}

}  // namespace
