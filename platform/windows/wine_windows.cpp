#include "platform/windows/wine_windows.h"
#include "platform/windows/relay_protocol.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using relay::decode;
using relay::encode;
using relay::plainMessage;

bool executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::istringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (executable(candidate)) return candidate;
    }
    return {};
}

// A write to a relay that has ended must not end this program with SIGPIPE.
bool writeAll(int fd, const std::string& data) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    std::size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ok = false;
        if (n < 0 && errno == EPIPE) {
            const timespec zero{};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
        break;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

}  // namespace

std::string WineWindows::findWine() {
    if (auto p = onPath("wine64"); !p.empty()) return p;
    if (executable("/usr/lib/wine/wine64")) return "/usr/lib/wine/wine64";
    return onPath("wine");
}

std::unique_ptr<WineWindows> WineWindows::start(const std::string& programFolder, std::string* note) {
    auto say = [note](const std::string& s) {
        if (note) *note = s;
    };
    if (const char* on = std::getenv("KORVELLA_WINE"); on && std::string(on) == "0") {
        say("off (KORVELLA_WINE=0)");
        return nullptr;
    }
    const std::string wine = findWine();
    if (wine.empty()) {
        say("off: no wine64 found");
        return nullptr;
    }
    const std::string relay = (std::filesystem::path(programFolder) / "korvella-relay.exe").string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(relay, ec)) {
        say("off: " + relay + " was not built");
        return nullptr;
    }
    Options o;
    o.command = {wine, relay};
    // Quiet, and no offer to install .NET or a browser engine should Wine make a new prefix.
    if (!std::getenv("WINEDEBUG")) o.environment.emplace_back("WINEDEBUG", "-all");
    if (!std::getenv("WINEDLLOVERRIDES")) o.environment.emplace_back("WINEDLLOVERRIDES", "mscoree,mshtml=");
    auto windows = std::make_unique<WineWindows>(std::move(o));
    if (!windows->alive()) {
        say("off: " + wine + " could not be started");
        return nullptr;
    }
    const char* prefix = std::getenv("WINEPREFIX");
    say("through " + wine + " in " + (prefix && *prefix ? std::string(prefix) : std::string("the default Wine prefix")));
    return windows;
}

PipedProcess startPiped(const std::vector<std::string>& command,
                        const std::vector<std::pair<std::string, std::string>>& environment) {
    PipedProcess p;
    if (command.empty()) return p;
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) return p;
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return p;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);

    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& kv : environment) replaced = replaced || entry.rfind(kv.first + "=", 0) == 0;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [k, v] : environment) env.push_back(k + "=" + v);
    std::vector<std::string> args = command;
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc != 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return p;
    }
    p.pid = pid;
    p.in = toChild[1];
    p.out = fromChild[0];
    return p;
}

WineWindows::WineWindows(Options options) : options_(std::move(options)) {
    const PipedProcess p = startPiped(options_.command, options_.environment);
    if (p.pid <= 0) return;
    pid_ = p.pid;
    writeFd_ = p.in;
    readFd_ = p.out;
    ::fcntl(writeFd_, F_SETFL, ::fcntl(writeFd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(readFd_, F_SETFL, ::fcntl(readFd_, F_GETFL) | O_NONBLOCK);
}

WineWindows::~WineWindows() {
    if (writeFd_ >= 0) ::close(writeFd_);  // end of input ends the relay
    writeFd_ = -1;
    if (readFd_ >= 0) ::close(readFd_);
    readFd_ = -1;
    if (pid_ <= 0) return;
    const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    while (Clock::now() < deadline) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

void WineWindows::ended() {
    if (readFd_ >= 0) ::close(readFd_);
    readFd_ = -1;
    if (writeFd_ >= 0) ::close(writeFd_);
    writeFd_ = -1;
    ready_ = false;
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
}

bool WineWindows::readInput(int ms) {
    if (readFd_ < 0) return false;
    pollfd p{readFd_, POLLIN, 0};
    const int r = ::poll(&p, 1, ms);
    if (r <= 0) return true;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
        if (n > 0) {
            input_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        ended();
        return false;
    }
}

std::optional<std::string> WineWindows::takeLines(long id) {
    std::optional<std::string> result;
    std::size_t eol;
    while ((eol = input_.find('\n')) != std::string::npos) {
        std::string line = input_.substr(0, eol);
        input_.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "ready") {
            ready_ = true;
            continue;
        }
        const auto space = line.find(' ');
        const long lineId = std::strtol(line.substr(0, space).c_str(), nullptr, 10);
        if (lineId == owed_) owed_ = 0;  // late, but the relay is free again
        if (lineId == id && id != 0) result = space == std::string::npos ? std::string() : line.substr(space + 1);
    }
    return result;
}

bool WineWindows::ready() {
    if (!ready_ && alive()) {
        readInput(0);
        takeLines(0);
    }
    return ready_;
}

bool WineWindows::waitReady(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!ready() && alive()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        readInput(static_cast<int>(left));
    }
    return ready_;
}

std::optional<std::string> WineWindows::call(const std::string& request) {
    if (!alive()) return std::nullopt;
    if (!readInput(0)) return std::nullopt;
    takeLines(0);
    if (!ready_ || owed_ != 0) return std::nullopt;
    const long id = ++nextId_;
    if (!writeAll(writeFd_, std::to_string(id) + " " + request + "\n")) {
        ended();
        return std::nullopt;
    }
    ++calls_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.timeoutMs);
    for (;;) {
        if (auto answer = takeLines(id)) return answer;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        if (!readInput(static_cast<int>(left) + 1)) return std::nullopt;
    }
    // The relay is stuck in this call (a program that does not answer); until its answer comes,
    // nothing more is asked of it.
    owed_ = id;
    ++timeouts_;
    return std::nullopt;
}

std::optional<long long> WineWindows::number(const std::string& request) {
    const auto answer = call(request);
    if (!answer) return std::nullopt;
    char* end = nullptr;
    const long long v = std::strtoll(answer->c_str(), &end, 10);
    if (end == answer->c_str()) return std::nullopt;
    return v;
}

std::int32_t WineWindows::foreignHandle(HWND alias) const {
    auto it = foreign_.find(alias);
    return it == foreign_.end() ? 0 : it->second;
}

HWND WineWindows::aliasOf(std::int32_t foreign) {
    if (foreign == 0) return 0;
    auto it = aliases_.find(foreign);
    if (it != aliases_.end()) return it->second;
    const HWND alias = nextAlias_;
    nextAlias_ += 2;
    aliases_[foreign] = alias;
    foreign_[alias] = foreign;
    return alias;
}

std::string WineWindows::handleArg(HWND alias) const { return std::to_string(foreignHandle(alias)); }

HWND WineWindows::findWindow(const std::string& className, const std::string& caption) {
    const auto h = number("find " + (className.empty() ? std::string("-") : encode(className)) + " " + encode(caption));
    return h ? aliasOf(static_cast<std::int32_t>(*h)) : 0;
}

std::vector<HWND> WineWindows::childWindows(HWND parent) {
    std::vector<HWND> out;
    if (!foreignHandle(parent)) return out;
    const auto answer = call("children " + handleArg(parent));
    if (!answer) return out;
    std::istringstream in(*answer);
    long long h;
    std::string cls;
    while (in >> h >> cls) {
        const auto handle = static_cast<std::int32_t>(h);
        // A window keeps its class for life, and Wine does not give its handle value to another
        // window soon; the class is kept so that the lister need not ask again.
        if (auto name = decode(cls)) classNames_[handle] = *name;
        out.push_back(aliasOf(handle));
    }
    return out;
}

std::string WineWindows::getClassName(HWND hwnd) {
    const std::int32_t h = foreignHandle(hwnd);
    if (!h) return {};
    if (auto it = classNames_.find(h); it != classNames_.end()) return it->second;
    const auto answer = call("class " + std::to_string(h));
    const auto name = answer ? decode(*answer) : std::nullopt;
    return name ? *name : std::string();
}

std::string WineWindows::getWindowText(HWND hwnd) {
    if (!foreignHandle(hwnd)) return {};
    const auto answer = call("text " + handleArg(hwnd) + " 32767");
    if (!answer) return {};
    const auto space = answer->find(' ');
    const auto text = space == std::string::npos ? std::nullopt : decode(answer->substr(space + 1));
    return text ? *text : std::string();
}

HWND WineWindows::getParent(HWND hwnd) {
    if (!foreignHandle(hwnd)) return 0;
    const auto h = number("parent " + handleArg(hwnd));
    return h ? aliasOf(static_cast<std::int32_t>(*h)) : 0;
}

LRESULT WineWindows::sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!foreignHandle(hwnd)) return 0;
    if (msg == WM_GETTEXT) {
        if (wParam == 0 || !lParam) return 0;
        // The other program cannot write into this one's memory: its text comes back and is
        // copied here, as the window would have done it.
        const auto answer = call("text " + handleArg(hwnd) + " " + std::to_string(std::min<WPARAM>(wParam, 32767)));
        std::string text;
        if (answer) {
            const auto space = answer->find(' ');
            if (auto t = space == std::string::npos ? std::nullopt : decode(answer->substr(space + 1))) text = *t;
        }
        return copyWindowText(text, wParam, lParam);
    }
    // A message carrying an address would mean nothing in the other program: not sent.
    if (!plainMessage(msg)) return 0;
    const long long l = msg == WM_COMMAND ? foreignHandle(static_cast<HWND>(lParam)) : static_cast<long long>(lParam);
    const auto r = number("send " + handleArg(hwnd) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                          std::to_string(l));
    return r ? static_cast<LRESULT>(*r) : 0;
}

bool WineWindows::postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!foreignHandle(hwnd) || !plainMessage(msg)) return false;
    const long long l = msg == WM_COMMAND ? foreignHandle(static_cast<HWND>(lParam)) : static_cast<long long>(lParam);
    const auto r = number("post " + handleArg(hwnd) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                          std::to_string(l));
    return r && *r != 0;
}

int WineWindows::showWindow(HWND hwnd, int cmd) {
    if (!foreignHandle(hwnd)) return 0;
    const auto r = number("show " + handleArg(hwnd) + " " + std::to_string(cmd));
    return r && *r != 0 ? 1 : 0;
}

bool WineWindows::moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    if (!foreignHandle(hwnd)) return false;
    const auto r = number("move " + handleArg(hwnd) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                          std::to_string(width) + " " + std::to_string(height) + " " + (repaint ? "1" : "0"));
    return r && *r != 0;
}

bool WineWindows::setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!foreignHandle(hwnd)) return false;
    // The special places (top, bottom, topmost, not topmost) are the same numbers there.
    const bool special = insertAfter >= HWND_NOTOPMOST && insertAfter <= 1;
    const long long after = special ? insertAfter : foreignHandle(insertAfter);
    const auto r = number("pos " + handleArg(hwnd) + " " + std::to_string(after) + " " + std::to_string(x) + " " +
                          std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(flags));
    return r && *r != 0;
}

}  // namespace platform
