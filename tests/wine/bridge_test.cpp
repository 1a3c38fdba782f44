// The DMXControl bridge end to end: the program's windows on the real clock drive DMXControl's
// windows, a Windows program under Wine, through the relay. Times are real milliseconds on a
// shared machine, so they are checked with generous margins.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/runtime.h"
#include "korvella/windows.h"
#include "support/audio_fixture.h"
#include "wine_session.h"

namespace wine_test {
namespace {

using korvella::Form2;
using korvella::Form3;
using korvella::Form4;
using korvella::frmBeats;

const std::vector<std::string> kNames{"Blitz & Donner", "Lauflicht grün", "Nebel", "Farbwechsel 5 €", "Strobe", "Weiß", "Chase", "Fade"};

class BridgeTest : public testsupport::AudioTest {
protected:
    BridgeTest() : AudioTest("korvella-wine-") {}

    void SetUp() override {
        auto& session = Session::get();
        if (!session.skip().empty()) GTEST_SKIP() << session.skip();
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        if (name.find("32Bit") != std::string::npos && !std::filesystem::exists("/usr/lib/wine/wine"))
            GTEST_SKIP() << "Wine's 32-bit part is not installed (Debian: wine32:i386)";
        standin = std::make_unique<Standin>(8, slowMs);
        ASSERT_TRUE(standin->waitReady(60000)) << "dmxc-standin.exe did not open its windows";
        startRelay();
    }
    // The relay with the program's own limits.
    void startRelay() {
        platform::WineWindows::Options o;
        o.command = {Session::get().wine(), Session::get().exe("korvella-relay.exe")};
        relay = std::make_unique<platform::WineWindows>(std::move(o));
        ASSERT_TRUE(relay->waitReady(60000)) << "korvella-relay.exe did not start";
        real.windows().setForeignWindows(relay.get());
    }
    void TearDown() override {
        forms::Application::reset();
        real.windows().setForeignWindows(nullptr);
        relay.reset();
        standin.reset();
    }

    double ms() const { return steadyMs(); }
    // The loop on the real clock for ms, pumping as the program's loop does.
    void run(int ms) {
        runUntil([] { return false; }, ms);
    }
    bool runUntil(const std::function<bool()>& done, int ms) {
        const double until = steadyMs() + ms;
        while (!done()) {
            if (steadyMs() >= until) return false;
            real.loop().doEvents();
            noteStatus();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Counts the turns of a status line from "found" to "not found".
    void noteStatus() {
        if (!Form3.isLoaded() || !Form4.isLoaded()) return;
        const bool found3 = Form3->Label1.Caption() == "DMXC ManualBeat window found";
        const bool found4 = Form4->Label1.Caption() == "DMXC KommandoBox window found";
        flips += (was3 && !found3) + (was4 && !found4);
        was3 = found3;
        was4 = found4;
    }
    // One short kick through the detector and the dispatcher, as in the program.
    void kick() {
        frmBeats->beat = "100";
        run(20);
        frmBeats->beat = "200";
        run(200);
    }
    // The program's handle list as the stand-in's own handle values.
    std::vector<std::int32_t> foreign(const forms::ListBox& list) const {
        std::vector<std::int32_t> out;
        for (const auto& row : list.items()) out.push_back(relay->foreignHandle(std::stoi(row)));
        return out;
    }
    std::vector<std::int32_t> standinHandles(const std::vector<std::string>& roles) const {
        std::vector<std::int32_t> out;
        for (const auto& r : roles) out.push_back(standin->handle(r));
        return out;
    }
    bool kommandoBoxFound() {
        return Form4->Label1.Caption() == "DMXC KommandoBox window found" && Form4->List1.ListCount() == 8;
    }

    forms::Runtime real{forms::Runtime::ClockKind::Real};
    int slowMs = 0;
    int flips = 0;
    bool was3 = false, was4 = false;
    std::unique_ptr<Standin> standin;
    std::unique_ptr<platform::WineWindows> relay;
};

TEST_F(BridgeTest, BeatWindowFindsAndHidesManualBeatAndEverySecondKickPressesIt) {
    const double t0 = ms();
    frmBeats.Show();  // loads the beat window hidden; its finder ticks every 500 ms
    auto& f = Form3();
    ASSERT_TRUE(runUntil([&] { return f.Label1.Caption() == "DMXC ManualBeat window found"; }, 3000));
    EXPECT_LT(ms() - t0, 2000);
    EXPECT_EQ(f.Label1.ForeColor(), 0xFF00u);
    EXPECT_TRUE(standin->waitFor("hidden ManualBeat", 2000));
    EXPECT_EQ(foreign(f.List1), standinHandles({"bpm", "beat", "reset"}));

    f.HScroll1.setValue(2);
    f.Check1.setValue(1);
    const std::size_t from = standin->count();
    std::vector<double> kicks;
    for (int i = 0; i < 6; ++i) {
        kicks.push_back(ms());
        kick();
    }
    run(100);
    // The countdown stood at 1: kicks 1, 3 and 5 press, each at once.
    std::vector<std::string> presses;
    for (const auto& l : standin->lines())
        if (l.what.rfind("command", 0) == 0 || l.what.rfind("beat", 0) == 0) presses.push_back(l.what);
    EXPECT_EQ(presses, (std::vector<std::string>{"command ManualBeat beat", "beat 1", "command ManualBeat beat", "beat 2",
                                                 "command ManualBeat beat", "beat 3"}));
    for (int n = 1; n <= 3; ++n) {
        Standin::Line beat;
        ASSERT_TRUE(standin->waitFor("beat " + std::to_string(n), 0, &beat, from));
        const double kickAt = kicks[static_cast<std::size_t>(2 * (n - 1))];
        EXPECT_GE(beat.at, kickAt);
        EXPECT_LT(beat.at - kickAt, 220) << "beat " << n;  // within its kick
    }
}

TEST_F(BridgeTest, EffectWindowPlacesKommandoBoxReadsItsNamesAndFiresAnEffect) {
    frmBeats.Show();  // loads the effect window hidden with its finder
    auto& f = Form4();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound(); }, 3000)) << f.Label1.Caption();
    std::vector<std::string> numbered;
    for (int i = 1; i <= 8; ++i) numbered.push_back("Button " + std::to_string(i));
    EXPECT_EQ(f.List2.items(), numbered);
    EXPECT_EQ(Form2->List3.items(), numbered);
    EXPECT_EQ(foreign(f.List1), standinHandles({"button1", "button2", "button3", "button4", "button5", "button6", "button7",
                                                "button8"}));
    EXPECT_EQ(foreign(f.List3), standinHandles({"check", "search", "locked", "name", "settings"}));

    // Reading the names: DMXControl's window placed, each button edited, its name field read.
    std::size_t from = standin->count();
    const double t = ms();
    f.Command2.userClick();
    const double took = ms() - t;
    EXPECT_EQ(f.List4.items(), kNames);
    EXPECT_EQ(f.Width(), 8730);
    EXPECT_LT(took, 10000);
    EXPECT_TRUE(standin->waitFor("moved KommandoBox 100 100 700 400", 2000, nullptr, from));
    const auto during = standin->texts(from);
    EXPECT_EQ(std::count(during.begin(), during.end(), "edit on"), 1);
    EXPECT_EQ(std::count(during.begin(), during.end(), "edit off"), 1);
    EXPECT_EQ(std::count(during.begin(), during.end(), "gettext name"), 9);
    EXPECT_EQ(std::count(during.begin(), during.end(), "pageup settings"), 9);

    f.Command3.userClick();  // adopted: the editor's list follows
    EXPECT_EQ(f.List2.items(), kNames);
    EXPECT_EQ(Form2->List3.items(), kNames);
    run(600);  // a finder tick keeps the names while the number of buttons stays
    EXPECT_EQ(f.List2.items(), kNames);

    // Firing "Nebel": edit mode is off, so button-down, 70 ms, button-up.
    from = standin->count();
    f.List2.userClickRow(2);
    Standin::Line down, up, fired;
    ASSERT_TRUE(standin->waitFor("down button 3", 1000, &down, from));
    ASSERT_TRUE(standin->waitFor("up button 3", 1000, &up, from));
    ASSERT_TRUE(standin->waitFor("fired 3 Nebel", 1000, &fired, from));
    EXPECT_GE(up.standinMs - down.standinMs, 65);
    EXPECT_LT(up.standinMs - down.standinMs, 400);
    const auto after = standin->texts(from);
    EXPECT_EQ(std::count(after.begin(), after.end(), "edit off"), 0);
}

TEST_F(BridgeTest, APostedKeyGoesThroughDMXControlsLoopAndKeepsItsPlaceBeforeTheClicksAfterIt) {
    auto window = [&](const std::string& role) { return relay->aliasOf(standin->handle(role)); };
    auto click = [&](const std::string& role) {
        relay->sendMessage(window(role), platform::WM_LBUTTONDOWN, 0, 0);
        relay->sendMessage(window(role), platform::WM_LBUTTONUP, 0, 0);
    };
    const std::size_t from = standin->count();
    click("check");
    click("button1");  // edited, its settings on their last page
    // Two pages up, each followed at once by clicks: a program takes sent messages before posted
    // ones, so a bare post would come after them.
    EXPECT_TRUE(relay->postMessage(window("settings"), platform::WM_KEYDOWN, platform::VK_PRIOR, 0));
    click("settings");
    EXPECT_TRUE(relay->postMessage(window("settings"), platform::WM_KEYDOWN, platform::VK_PRIOR, 0));
    click("button2");  // the list paged to its top before: the name field follows button 1's list
    ASSERT_TRUE(standin->waitFor("up button 2", 10000, nullptr, from));
    const auto seen = standin->texts(from);
    const auto at = [&](const std::string& what) { return std::find(seen.begin(), seen.end(), what) - seen.begin(); };
    EXPECT_LT(at("pageup settings"), at("down settings")) << ::testing::PrintToString(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "pageup settings"), 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "sentkey settings"), 0);
    EXPECT_LT(at("name Blitz & Donner"), static_cast<std::ptrdiff_t>(seen.size())) << ::testing::PrintToString(seen);
}

TEST_F(BridgeTest, PlaylistEntryAndIdleItemPressTheirButtons) {
    frmBeats.Show();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound(); }, 3000));
    auto& e = Form2();

    // The playlist's "DMXC" entry with the effect index 2 presses DMXControl's third button.
    std::size_t from = standin->count();
    e.List1.AddItem("DMXC Nebel");
    e.List2.AddItem("2");
    e.Option2.setValue(true);
    e.Timer1A.setEnabled(true);
    EXPECT_TRUE(runUntil([&] { return !standin->texts(from).empty() && standin->waitFor("fired 3 Nebel", 0, nullptr, from); },
                         3000));
    e.Timer1A.setEnabled(false);

    // An idle item: three seconds without a kick, then the fifth button.
    frmBeats->angeschaltet = "1";
    e.List4.AddItem("DMXC Strobe" + std::string(49, ' ') + "|4");
    e.HScroll1.setValue(3);
    e.Check5.setValue(1);
    kick();
    from = standin->count();
    const double t = ms();
    Standin::Line fired;
    EXPECT_TRUE(runUntil([&] { return standin->waitFor("fired 5 Strobe", 0, &fired, from); }, 8000));
    EXPECT_GE(fired.at - t, 2000);
    EXPECT_LT(fired.at - t, 6000);
}

TEST_F(BridgeTest, DMXControlClosedInTheMiddleLeavesEveryCallHarmless) {
    frmBeats.Show();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound() && Form3->List1.ListCount() == 3; }, 3000));
    Form3->Check1.setValue(1);
    auto& f = Form4();
    f.Timer1.setEnabled(false);  // the lists keep the handles of the windows about to go
    Form3->Timer1.setEnabled(false);

    standin->quit();
    ASSERT_TRUE(standin->ended(10000));

    // Each of these sends to windows that are gone: nothing happens, nothing waits long.
    double t = ms();
    kick();
    EXPECT_LT(ms() - t, 1000);
    EXPECT_EQ(frmBeats->Text1.Text(), "1");
    t = ms();
    f.List2.userClickRow(0);
    EXPECT_LT(ms() - t, 1000);
    t = ms();
    f.Command2.userClick();
    EXPECT_LT(ms() - t, 5000);
    EXPECT_EQ(f.List4.items(), std::vector<std::string>(8, ""));
    // Told so; the blanks are never adopted.
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].title, "Namen aus DMX Control auslesen");
    const auto names = f.List2.items();
    f.Command3.userClick();
    EXPECT_EQ(f.List2.items(), names);
    EXPECT_EQ(names.size(), 8u);

    // The finders find nothing now; their lists keep what they hold.
    f.Timer1.setEnabled(true);
    Form3->Timer1.setEnabled(true);
    EXPECT_TRUE(runUntil([&] { return f.Label1.Caption() == "DMXC KommandoBox window not found..." &&
                                      Form3->Label1.Caption() == "DMXC ManualBeat window not found..."; },
                         3000));
    EXPECT_EQ(f.List1.ListCount(), 8);

    // The relay itself gone: the same, and the program goes on.
    ::kill(relay->pid(), SIGKILL);
    run(1100);
    EXPECT_FALSE(relay->alive());
    EXPECT_EQ(f.Label1.Caption(), "DMXC KommandoBox window not found...");
    t = ms();
    f.List2.userClickRow(1);
    kick();
    EXPECT_LT(ms() - t, 1000);
}

// DMXControl as a busy program on a loaded machine: every click, read, key and beat takes 150 ms.
class SlowBridgeTest : public BridgeTest {
protected:
    SlowBridgeTest() { slowMs = 150; }

    // What the stand-in saw from line `from` on: presses, releases, effects fired, beats.
    struct Show {
        int presses = 0, releases = 0, fired = 0, beats = 0;
    };
    Show seen(std::size_t from) const {
        Show s;
        for (const auto& t : standin->texts(from)) {
            s.presses += t.rfind("down button ", 0) == 0;
            s.releases += t.rfind("up button ", 0) == 0;
            s.fired += t.rfind("fired ", 0) == 0;
            s.beats += t.rfind("command ManualBeat beat", 0) == 0;
        }
        return s;
    }
};

TEST_F(SlowBridgeTest, TwentyKicksOfAFourButtonSetAndEveryManualBeatReachASlowDMXControl) {
    frmBeats.Show();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound() && Form3->List1.ListCount() == 3; }, 5000));
    Form3->Check1.setValue(1);
    frmBeats->angeschaltet = "1";
    for (int i = 0; i < 4; ++i) Form2->HandleDMXC.AddItem(Form4->List1.List(i));
    const std::size_t from = standin->count();
    flips = 0;
    // Kicks 500 ms apart: each presses buttons 1 to 4 (the last one 330 ms after the kick).
    for (int i = 0; i < 20; ++i) {
        frmBeats->beat = "100";
        run(20);
        frmBeats->beat = "200";
        run(480);
    }
    const auto done = [&] { const Show s = seen(from); return s.releases >= 80 && s.beats >= 20; };
    runUntil([&] { return done(); }, 30000);
    run(500);
    const Show s = seen(from);
    std::printf("slow DMXControl (150 ms handlers), 20 kicks x 4 buttons: presses %d, releases %d, effects fired %d, "
                "ManualBeat beats %d of 20, status turned red %d times\n",
                s.presses, s.releases, s.fired, s.beats, flips);
    EXPECT_EQ(s.presses, 80);
    EXPECT_EQ(s.releases, 80);
    EXPECT_EQ(s.fired, 80);
    EXPECT_EQ(s.beats, 20);
    EXPECT_EQ(flips, 0);
    // Every button goes down and up in turn, and the effects fire in the set's order.
    std::map<std::string, std::string> last;
    std::vector<std::string> fired;
    for (const auto& t : standin->texts(from)) {
        for (const char* kind : {"down ", "up "}) {
            if (t.rfind(std::string(kind) + "button ", 0) != 0) continue;
            const std::string button = t.substr(t.find(' ') + 1);
            EXPECT_NE(last[button], kind) << t;
            last[button] = kind;
        }
        if (t.rfind("fired ", 0) == 0) fired.push_back(t.substr(6, 1));
    }
    std::vector<std::string> order;
    for (int i = 0; i < 20; ++i) order.insert(order.end(), {"1", "2", "3", "4"});
    EXPECT_EQ(fired, order);
    // A finder's look-up that runs out of time on a loaded machine changes nothing (flips stay 0).
    std::printf("relay calls %ld, timed out %ld, presses dropped %ld\n", relay->calls(), relay->timeouts(), relay->dropped());
    EXPECT_EQ(relay->dropped(), 0);
}

TEST_F(SlowBridgeTest, ReadingTheNamesGivesTheNamesAndLeavesTheCheckBoxAsItWas) {
    frmBeats.Show();
    auto& f = Form4();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound(); }, 5000));
    int complete = 0;
    // Once with DMXControl's edit mode off, once with it on.
    for (const bool on : {false, true}) {
        if (on) {
            const auto check = relay->aliasOf(standin->handle("check"));
            const std::size_t before = standin->count();
            relay->sendMessage(check, platform::WM_LBUTTONDOWN, 0, 0);
            relay->sendMessage(check, platform::WM_LBUTTONUP, 0, 0);
            ASSERT_TRUE(standin->waitFor("edit on", 5000, nullptr, before));
        }
        const std::size_t from = standin->count();
        f.Command2.userClick();
        complete += f.List4.items() == kNames;
        EXPECT_EQ(f.List4.items(), kNames) << (on ? "edit mode on" : "edit mode off");
        run(2000);
        const auto during = standin->texts(from);
        EXPECT_EQ(std::count(during.begin(), during.end(), "edit on"), on ? 0 : 1);
        EXPECT_EQ(std::count(during.begin(), during.end(), "edit off"), on ? 0 : 1);
        EXPECT_EQ(std::count(during.begin(), during.end(), "pageup settings"), 9);
        EXPECT_EQ(std::count(during.begin(), during.end(), "sentkey settings"), 0);
        EXPECT_EQ(dialogs.messages().size(), 0u);
    }
    std::printf("slow DMXControl (150 ms handlers): %d of 2 name readings gave the 8 names\n", complete);
}

TEST_F(BridgeTest, KillingTheRelayOrTheWineServerMidShowIsToldOnceAndTheShowGoesOn) {
    ::signal(SIGPIPE, SIG_IGN);  // the killed stand-in's input
    std::vector<std::string> told;
    {
        platform::WineWindows::Options o;
        o.command = {Session::get().wine(), Session::get().exe("korvella-relay.exe")};
        o.report = [&](const std::string& s) { told.push_back(s); };
        real.windows().setForeignWindows(nullptr);
        relay = std::make_unique<platform::WineWindows>(std::move(o));
        ASSERT_TRUE(relay->waitReady(60000));
        real.windows().setForeignWindows(relay.get());
    }
    frmBeats.Show();
    const auto bothFound = [&] { return kommandoBoxFound() && Form3->List1.ListCount() == 3; };
    ASSERT_TRUE(runUntil(bothFound, 5000));
    Form3->Check1.setValue(1);
    frmBeats->angeschaltet = "1";
    const auto kicksUntil = [&](const std::function<bool()>& done, int ms) {
        const double until = steadyMs() + ms;
        while (!done() && steadyMs() < until) {
            Form2->HandleDMXC.Clear();
            if (Form4->List1.ListCount() > 0) Form2->HandleDMXC.AddItem(Form4->List1.List(0));
            kick();
        }
        return done();
    };
    const auto firedSince = [&](std::size_t from) {
        const auto t = standin->texts(from);
        return std::count_if(t.begin(), t.end(), [](const std::string& l) { return l.rfind("fired 1 ", 0) == 0; });
    };
    ASSERT_TRUE(kicksUntil([&] { return firedSince(0) >= 2; }, 10000));

    // The relay killed: reaped, told once, started again; presses and beats reach DMXControl again.
    const pid_t first = relay->pid();
    ::kill(first, SIGKILL);
    std::size_t from = standin->count();
    EXPECT_TRUE(kicksUntil([&] { return told.size() >= 2 && bothFound() && firedSince(from) >= 2; }, 20000));
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "lost: korvella-relay.exe ended by signal 9; it is started again");
    EXPECT_EQ(told[1], "back");

    // wineserver -k ends DMXControl too; the user starts it again.
    ASSERT_TRUE(Session::get().killServer());
    standin.reset();
    standin = std::make_unique<Standin>(8);
    ASSERT_TRUE(standin->waitReady(60000));
    EXPECT_TRUE(kicksUntil([&] { return told.size() >= 4 && bothFound() && firedSince(0) >= 2; }, 30000))
        << ::testing::PrintToString(told);
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[2].rfind("lost: korvella-relay.exe ended", 0), 0u) << told[2];
    EXPECT_EQ(told[3], "back");
    EXPECT_TRUE(standin->waitFor("hidden ManualBeat", 5000));
    const auto t = standin->texts();
    EXPECT_GE(std::count(t.begin(), t.end(), "command ManualBeat beat"), 1);
}

// DMXControl is a 32-bit program: Wine runs it only with its 32-bit part (Debian's wine32:i386).
constexpr const char* kWine32 = "/usr/lib/wine/wine";

TEST_F(BridgeTest, A32BitDMXControlInThe64BitPrefixIsFoundNamedAndPressed) {
    if (!std::filesystem::exists(kWine32)) GTEST_SKIP() << "Wine's 32-bit part is not installed (Debian: wine32:i386)";
    if (!std::filesystem::exists(Session::get().exe("dmxc-standin32.exe")))
        GTEST_SKIP() << "dmxc-standin32.exe was not built (no i686-w64-mingw32-g++)";
    standin.reset();
    standin = std::make_unique<Standin>(8, 0, kWine32, "dmxc-standin32.exe");
    ASSERT_TRUE(standin->waitReady(60000));
    frmBeats.Show();
    auto& f = Form4();
    ASSERT_TRUE(runUntil([&] { return kommandoBoxFound() && Form3->List1.ListCount() == 3; }, 5000)) << f.Label1.Caption();
    f.Command2.userClick();
    EXPECT_EQ(f.List4.items(), kNames);
    const std::size_t from = standin->count();
    f.List2.userClickRow(2);
    EXPECT_TRUE(standin->waitFor("fired 3 Nebel", 3000, nullptr, from));
}

TEST(Bridge32, AWin32PrefixGetsThe32BitRelayThatFindsAndPressesDMXControl) {
    auto& session = Session::get();
    if (!session.skip().empty()) GTEST_SKIP() << session.skip();
    if (!std::filesystem::exists(kWine32)) GTEST_SKIP() << "Wine's 32-bit part is not installed (Debian: wine32:i386)";
    if (!std::filesystem::exists(session.exe("korvella-relay32.exe")))
        GTEST_SKIP() << "korvella-relay32.exe was not built (no i686-w64-mingw32-g++)";
    const std::string old = std::getenv("WINEPREFIX");
    const std::string prefix = old + "-win32";
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::setenv("WINEARCH", "win32", 1);
    ASSERT_TRUE(session.runWine({"wineboot", "-i"}, kWine32));
    session.runWine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"}, kWine32);
    ::unsetenv("WINEARCH");
    ASSERT_TRUE(session.waitServer());
    EXPECT_TRUE(platform::WineWindows::prefixIs32Bit(prefix));
    {
        platform::WindowRegistry reg;
        std::string note;
        auto relay = platform::WineWindows::start({KORVELLA_WIN32_BIN}, &note);
        ASSERT_NE(relay, nullptr) << note;
        EXPECT_NE(note.find("korvella-relay32.exe"), std::string::npos) << note;
        Standin standin(8, 0, kWine32, "dmxc-standin32.exe");
        ASSERT_TRUE(standin.waitReady(60000));
        ASSERT_TRUE(relay->waitReady(60000));
        reg.setForeignWindows(relay.get());
        const auto kb = reg.findWindow("", "KommandoBox");
        ASSERT_NE(kb, 0);
        EXPECT_EQ(relay->foreignHandle(kb), standin.handle("kb"));
        const auto button = relay->aliasOf(standin.handle("button3"));
        reg.sendMessage(button, platform::WM_LBUTTONDOWN);
        reg.sendMessage(button, platform::WM_LBUTTONUP);
        EXPECT_TRUE(standin.waitFor("fired 3 Nebel", 5000));
        reg.setForeignWindows(nullptr);
    }
    session.killServer();  // the 32-bit prefix's own server
    ::setenv("WINEPREFIX", old.c_str(), 1);
    std::error_code ec;
    std::filesystem::remove_all(prefix, ec);
}

}  // namespace
}  // namespace wine_test
