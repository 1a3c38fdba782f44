// What the bridge's end-to-end tests stand on: Wine with a fresh prefix in a temporary folder
// (made once per run, removed with its wine server at the end), and DMXControl's windows as the
// Windows program dmxc-standin.exe under it, whose report lines are collected as they come.
#pragma once
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/wine_windows.h"

namespace wine_test {

inline double steadyMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits up to ms for the process to end; whether it did.
inline bool waitEnded(pid_t pid, int ms) {
    const double until = steadyMs() + ms;
    while (steadyMs() < until) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class Session {
public:
    static Session& get() {
        static Session s;
        return s;
    }
    // Why the tests cannot run here; "" when they can.
    const std::string& skip() const { return skip_; }
    const std::string& wine() const { return wine_; }
    std::string exe(const std::string& name) const { return std::string(KORVELLA_WIN32_BIN) + "/" + name; }
    // wineserver -w: waits until the prefix's server has ended (and written the registry files).
    bool waitServer() const { return server("-w"); }
    // wineserver -k: every Wine program of the prefix ends, as when a user cures a stuck one.
    bool killServer() const { return server("-k"); }
    bool server(const char* how) const {
        if (server_.empty()) return false;
        const auto p = platform::startPiped({server_, how});
        if (p.pid <= 0) return false;
        ::close(p.in);
        ::close(p.out);
        return waitEnded(p.pid, 10000);
    }

    ~Session() {
        if (prefix_.empty()) return;
        if (!server_.empty()) {
            const auto p = platform::startPiped({server_, "-k"});
            if (p.pid > 0) {
                ::close(p.in);
                ::close(p.out);
                if (!waitEnded(p.pid, 10000)) ::kill(p.pid, SIGKILL);
            }
        }
        std::error_code ec;
        std::filesystem::remove_all(prefix_, ec);
    }

private:
    Session() {
        make();
        // ctest takes the run as skipped only on this line: one test that skips (the 32-bit
        // ones where Wine's 32-bit part is missing) does not hide the others.
        if (!skip_.empty()) std::printf("the bridge under Wine cannot be tested here: %s\n", skip_.c_str());
    }
    void make() {
        wine_ = platform::WineWindows::findWine();
        if (wine_.empty()) {
            skip_ = "wine64 is not installed";
            return;
        }
        for (const char* name : {"korvella-relay.exe", "dmxc-standin.exe"}) {
            if (!std::filesystem::exists(exe(name))) {
                skip_ = exe(name) + " was not built (no x86_64-w64-mingw32-g++)";
                return;
            }
        }
        if (!std::getenv("DISPLAY")) {
            skip_ = "no X display (the tests run under xvfb-run)";
            return;
        }
        std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-wine-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) {
            skip_ = "no temporary folder for the Wine prefix";
            return;
        }
        prefix_ = tmpl;
        ::setenv("WINEPREFIX", (prefix_ + "/prefix").c_str(), 1);
        ::setenv("WINEDEBUG", "-all", 1);
        ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        const auto dir = std::filesystem::path(wine_).parent_path();
        for (const char* s : {"wineserver", "wineserver64"})
            if (server_.empty() && std::filesystem::exists(dir / s)) server_ = (dir / s).string();
        // The prefix is made once; Wine needs some seconds for that. The test's X server has no
        // window manager, for which Wine would wait seconds on every hide of a window.
        const double t = steadyMs();
        if (!runWine({"wineboot", "-i"}) ||
            !runWine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"})) {
            skip_ = wine_ + " cannot be started";
            return;
        }
        std::printf("wine prefix made in %.1f s\n", (steadyMs() - t) / 1000);
    }

public:
    // Runs a Wine program to its end (wine: the session's loader when empty).
    bool runWine(std::vector<std::string> args, const std::string& wine = "") {
        args.insert(args.begin(), wine.empty() ? wine_ : wine);
        const auto p = platform::startPiped(args);
        if (p.pid <= 0) return false;
        ::close(p.in);
        ::close(p.out);
        if (!waitEnded(p.pid, 180000)) {
            ::kill(p.pid, SIGKILL);
            ::waitpid(p.pid, nullptr, 0);
        }
        return true;
    }

private:
    std::string skip_, wine_, server_, prefix_;
};

// dmxc-standin.exe under Wine. Each report line is kept with the time it arrived here.
class Standin {
public:
    struct Line {
        double at = 0;         // steady ms when it arrived here
        double standinMs = 0;  // the stand-in's own clock
        std::string what;
    };

    // slowMs: each click, read, key and beat takes that long in the stand-in.
    // wine and exe: another loader and build (the 32-bit ones); empty: the session's.
    explicit Standin(int buttons, int slowMs = 0, const std::string& wine = "", const std::string& exe = "dmxc-standin.exe") {
        auto& s = Session::get();
        process_ = platform::startPiped({wine.empty() ? s.wine() : wine, s.exe(exe), std::to_string(buttons), "--slow",
                                         std::to_string(slowMs)});
        if (process_.pid > 0) reader_ = std::thread([this] { read(); });
    }
    ~Standin() {
        quit();
        if (process_.pid > 0 && !waitEnded(process_.pid, 5000)) {
            ::kill(process_.pid, SIGKILL);
            ::waitpid(process_.pid, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
        if (process_.out >= 0) ::close(process_.out);
    }

    // Closes both windows; the program ends.
    void quit() {
        if (process_.in < 0) return;
        [[maybe_unused]] const auto n = ::write(process_.in, "quit\n", 5);
        ::close(process_.in);
        process_.in = -1;
    }
    // For ms the stand-in takes only sent messages; whether it said so within a few seconds.
    bool busy(int ms) {
        const std::size_t from = count();
        const std::string line = "busy " + std::to_string(ms) + "\n";
        if (process_.in < 0 || ::write(process_.in, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return false;
        return waitFor("busy", 5000, nullptr, from);
    }
    bool ended(int ms) {
        if (process_.pid <= 0) return true;
        if (!waitEnded(process_.pid, ms)) return false;
        process_.pid = -1;
        return true;
    }

    // The handle values of the ready line ("kb", "check", "button1", ... , "beat").
    bool waitReady(int ms) {
        Line ready;
        if (!waitUntil([](const Line& l) { return l.what.rfind("ready ", 0) == 0; }, ms, &ready)) return false;
        std::istringstream in(ready.what.substr(6));
        for (std::string kv; in >> kv;) {
            const auto eq = kv.find('=');
            handles_[kv.substr(0, eq)] = std::stoi(kv.substr(eq + 1));
        }
        return true;
    }
    std::int32_t handle(const std::string& role) const {
        auto it = handles_.find(role);
        return it == handles_.end() ? 0 : it->second;
    }

    std::vector<Line> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // The report texts from line index `from` on.
    std::vector<std::string> texts(std::size_t from = 0) const {
        std::vector<std::string> out;
        const auto all = lines();
        for (std::size_t i = from; i < all.size(); ++i) out.push_back(all[i].what);
        return out;
    }
    std::size_t count() const { return lines().size(); }

    bool waitUntil(const std::function<bool(const Line&)>& pred, int ms, Line* found = nullptr, std::size_t from = 0) const {
        std::unique_lock lock(mutex_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::size_t seen = from;
        for (;;) {
            for (; seen < lines_.size(); ++seen) {
                if (pred(lines_[seen])) {
                    if (found) *found = lines_[seen];
                    return true;
                }
            }
            if (cv_.wait_until(lock, until) == std::cv_status::timeout && seen == lines_.size()) return false;
        }
    }
    bool waitFor(const std::string& what, int ms, Line* found = nullptr, std::size_t from = 0) const {
        return waitUntil([&](const Line& l) { return l.what == what; }, ms, found, from);
    }

private:
    void read() {
        std::string partial;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(process_.out, buffer, sizeof buffer);
            if (n <= 0) break;
            partial.append(buffer, static_cast<std::size_t>(n));
            std::size_t eol;
            while ((eol = partial.find('\n')) != std::string::npos) {
                std::string text = partial.substr(0, eol);
                partial.erase(0, eol + 1);
                if (!text.empty() && text.back() == '\r') text.pop_back();
                const auto space = text.find(' ');
                Line line{steadyMs(), std::atof(text.substr(0, space).c_str()),
                          space == std::string::npos ? "" : text.substr(space + 1)};
                std::lock_guard lock(mutex_);
                lines_.push_back(std::move(line));
                cv_.notify_all();
            }
        }
    }

    platform::PipedProcess process_;
    std::thread reader_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Line> lines_;
    std::map<std::string, std::int32_t> handles_;
};

}  // namespace wine_test
