// The cost of the DMXControl bridge under Wine: the relay's round trip per call, and one tick of
// each DMXControl window finder against DMXControl's windows under Wine, as a ratio to the same
// tick against the in-process stand-in measured in the same run. Runs the Win32 stand-in and the
// relay in a fresh Wine prefix; needs an X display (run it under xvfb-run).
//
//   xvfb-run -a wine_bridge_bench [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "dmxc-standin/DmxcStandin.h"
#include "forms/application.h"
#include "forms/runtime.h"
#include "korvella/windows.h"
#include "wine/wine_session.h"

namespace {

struct Figures {
    double median = 0, p95 = 0;
};

// Microseconds per run of fn, over rounds runs.
Figures measure(int rounds, const std::function<void()>& fn) {
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) {
        const auto t = std::chrono::steady_clock::now();
        fn();
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 95 / 100]};
}

void print(const char* what, const Figures& f) { std::printf("%-44s median %8.1f us   p95 %8.1f us\n", what, f.median, f.p95); }

// Median microseconds of a finder tick of the beat window and of the effect window.
std::pair<Figures, Figures> finderTicks(int rounds) {
    const Figures beat = measure(rounds, [] { korvella::Form3->Timer1_Timer(); });
    const Figures effect = measure(rounds, [] { korvella::Form4->Timer1_Timer(); });
    return {beat, effect};
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 10) {
        std::fprintf(stderr, "usage: wine_bridge_bench [ROUNDS (10 or more)]\n");
        return 2;
    }
    auto& session = wine_test::Session::get();
    if (!session.skip().empty()) {
        std::fprintf(stderr, "wine_bridge_bench: %s\n", session.skip().c_str());
        return 1;
    }

    // Baseline: the in-process stand-in in the window registry.
    std::pair<Figures, Figures> local;
    {
        forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
        dmxc::Standin dmxc(rt.windows());
        dmxc.openKommandoBox(dmxc::Standin::defaultNames(8));
        dmxc.openManualBeat();
        local = finderTicks(rounds);
        forms::Application::reset();
    }

    wine_test::Standin standin(8);
    if (!standin.waitReady(60000)) {
        std::fprintf(stderr, "wine_bridge_bench: dmxc-standin.exe did not open its windows\n");
        return 1;
    }
    platform::WineWindows::Options options;
    options.command = {session.wine(), session.exe("korvella-relay.exe")};
    platform::WineWindows relay(std::move(options));
    if (!relay.waitReady(60000)) {
        std::fprintf(stderr, "wine_bridge_bench: korvella-relay.exe did not start\n");
        return 1;
    }
    forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
    rt.windows().setForeignWindows(&relay);
    auto& w = rt.windows();
    const platform::HWND kb = w.findWindow("", "KommandoBox");
    const platform::HWND check = relay.aliasOf(standin.handle("check"));
    const platform::HWND name = relay.aliasOf(standin.handle("name"));
    std::printf("relay round trip per call (%d calls each):\n", rounds);
    print("FindWindow \"KommandoBox\" (found)", measure(rounds, [&] { w.findWindow("", "KommandoBox"); }));
    print("FindWindow \"Nichts\" (not found)", measure(rounds, [&] { w.findWindow("", "Nichts"); }));
    print("EnumChildWindows KommandoBox (all children)", measure(rounds, [&] { w.enumChildWindows(kb, [](platform::HWND) { return true; }); }));
    print("SendMessage BM_GETCHECK", measure(rounds, [&] { w.sendMessage(check, platform::BM_GETCHECK); }));
    const platform::HWND button = relay.aliasOf(standin.handle("button1"));
    // Fewer than the relay's queue holds, so that none is dropped.
    const int clicks = std::min(rounds, static_cast<int>(platform::WineWindows::kMaxQueued / 2) - 8);
    print("click (button-down, button-up) handed on", measure(clicks, [&] {
              w.sendMessage(button, platform::WM_LBUTTONDOWN);
              w.sendMessage(button, platform::WM_LBUTTONUP);
          }));
    // The clicks made, then a call behind them: the relay's own time per click.
    const auto t = std::chrono::steady_clock::now();
    w.sendMessageTimeout(check, platform::BM_GETCHECK, 0, 0, 60000);
    std::printf("%-44s %8.1f us per click\n", "clicks made by the relay (queue drained)",
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count() / clicks);
    std::string buffer(32767, '\0');
    print("SendMessage WM_GETTEXT (32767)", measure(rounds, [&] {
              w.sendMessage(name, platform::WM_GETTEXT, 32767, reinterpret_cast<platform::LPARAM>(buffer.data()));
          }));

    const auto wine = finderTicks(rounds);
    std::printf("finder tick (%d ticks each)          in-process stand-in    under Wine    ratio\n", rounds);
    std::printf("DMX Control extern Beat Steuerung    %10.1f us      %10.1f us   %6.1f x\n", local.first.median,
                wine.first.median, wine.first.median / local.first.median);
    std::printf("DMXControl extern Effektsteuerung    %10.1f us      %10.1f us   %6.1f x\n", local.second.median,
                wine.second.median, wine.second.median / local.second.median);
    std::printf("relay calls %ld, timed out %ld, presses dropped %ld\n", relay.calls(), relay.timeouts(), relay.dropped());
    forms::Application::reset();
    rt.windows().setForeignWindows(nullptr);
    return 0;
}
