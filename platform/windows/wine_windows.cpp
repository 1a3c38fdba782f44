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
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
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

enum class Written { All, Gone, Stuck };

// A write to a relay that has ended must not end this program with SIGPIPE. A relay that takes no
// input for ms is stuck.
Written writeAll(int fd, const std::string& data, int ms) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    std::size_t done = 0;
    Written result = Written::All;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, ms) > 0) continue;
            result = Written::Stuck;
            break;
        }
        result = Written::Gone;
        if (n < 0 && errno == EPIPE) {
            const timespec zero{};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
        break;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return result;
}

}  // namespace

std::string WineWindows::findWine() {
    if (auto p = onPath("wine64"); !p.empty()) return p;
    if (executable("/usr/lib/wine/wine64")) return "/usr/lib/wine/wine64";
    return onPath("wine");
}

std::string WineWindows::prefixPath() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.wine";
}

bool WineWindows::prefixExists(const std::string& prefix) {
    // An empty folder is no prefix either: Wine would fill it.
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(prefix) / "system.reg", ec);
}

bool WineWindows::prefixIs32Bit(const std::string& prefix) {
    // Wine notes the prefix's kind in the first lines of its registry file.
    std::ifstream in(prefix + "/system.reg");
    std::string line;
    for (int i = 0; i < 10 && std::getline(in, line); ++i)
        if (line.rfind("#arch=", 0) == 0) return line.rfind("#arch=win32", 0) == 0;
    return false;
}

std::unique_ptr<WineWindows> WineWindows::start(const std::vector<std::string>& relayFolders, std::string* note) {
    auto say = [note](const std::string& s) {
        if (note) *note = s;
    };
    if (const char* on = std::getenv("KORVELLA_WINE"); on && std::string(on) == "0") {
        say("off (KORVELLA_WINE=0)");
        return nullptr;
    }
    // Wine would make a prefix of some hundred megabytes, with its set-up box over our windows;
    // DMXControl cannot be in a prefix that does not exist.
    const std::string prefix = prefixPath();
    std::error_code ec;
    if (!prefixExists(prefix)) {
        say("off: no Wine prefix " + prefix + " (DMXControl is installed into one; none is made)");
        return nullptr;
    }
    const bool win32 = prefixIs32Bit(prefix);
    // A 32-bit prefix runs only 32-bit programs, under Wine's 32-bit loader.
    const std::string wine = win32 ? (executable("/usr/lib/wine/wine") ? std::string("/usr/lib/wine/wine") : onPath("wine"))
                                   : findWine();
    if (wine.empty()) {
        say(win32 ? "off: the Wine prefix " + prefix + " is 32-bit and Wine's 32-bit part is missing (Debian: wine32)"
                  : std::string("off: no wine64 found"));
        return nullptr;
    }
    const char* relayName = win32 ? "korvella-relay32.exe" : "korvella-relay.exe";
    std::string relay;
    for (const auto& folder : relayFolders) {
        const std::string candidate = (std::filesystem::path(folder) / relayName).lexically_normal().string();
        if (relay.empty() && std::filesystem::is_regular_file(candidate, ec)) relay = candidate;
    }
    if (relay.empty()) {
        say(std::string("off: ") + relayName + " was not built" +
            (relayFolders.empty() ? std::string() : " (looked in " + relayFolders.front() + ")"));
        return nullptr;
    }
    Options o;
    o.command = {wine, relay};
    o.prefix = prefix;
    o.report = [](const std::string& s) { std::fprintf(stderr, "korvella: DMXControl bridge %s\n", s.c_str()); };
    // Quiet, and no offer to install .NET or a browser engine.
    if (!std::getenv("WINEDEBUG")) o.environment.emplace_back("WINEDEBUG", "-all");
    if (!std::getenv("WINEDLLOVERRIDES")) o.environment.emplace_back("WINEDLLOVERRIDES", "mscoree,mshtml=");
    auto windows = std::make_unique<WineWindows>(std::move(o));
    if (!windows->alive()) {
        say("off: " + wine + " could not be started");
        return nullptr;
    }
    say("through " + wine + " " + relay + " in " + prefix);
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
    backoffMs_ = std::max(1, options_.restartMs);
    launch();
}

void WineWindows::launch() {
    const PipedProcess p = startPiped(options_.command, options_.environment);
    if (p.pid <= 0) return;
    ++starts_;
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

void WineWindows::ended(const std::string& why) {
    if (readFd_ >= 0) ::close(readFd_);
    readFd_ = -1;
    if (writeFd_ >= 0) ::close(writeFd_);
    writeFd_ = -1;
    std::string how = why;
    if (pid_ > 0) {
        // Reaped at once, so that no ended relay is left behind: one whose output ended is on its
        // way out, one that is ended here is killed.
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 200 && why.empty() && !gone; ++i) {
            gone = ::waitpid(pid_, &status, WNOHANG) == pid_;
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!gone) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        if (how.empty())
            how = WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                                      : "ended with status " + std::to_string(WEXITSTATUS(status));
    }
    pid_ = -1;
    input_.clear();
    const auto now = Clock::now();
    // The buttons that were down (or on their way down) get their button-up once a relay is back.
    owedUp_.insert(held_.begin(), held_.end());
    for (const auto& [id, p] : queued_)
        if (p.msg == WM_LBUTTONDOWN) owedUp_.insert(p.window);
    queued_.clear();
    held_.clear();
    droppedDown_.clear();
    owedLookUp_ = 0;
    // Wine gives windows of a new server the handle values of the old ones.
    classNames_.clear();
    parents_.clear();
    if (ready_ && now - readyAt_ >= std::chrono::seconds(10)) backoffMs_ = std::max(1, options_.restartMs);
    ready_ = false;
    restartAt_ = now + std::chrono::milliseconds(backoffMs_);
    if (wasReady_ && !lost_) {
        lost_ = true;
        if (options_.report)
            options_.report("lost: korvella-relay.exe " + (how.empty() ? std::string("ended") : how) + "; it is started again");
    }
    backoffMs_ = std::min(std::max(options_.maxRestartMs, 1), backoffMs_ * 2);
}

void WineWindows::restartIfDue() {
    if (pid_ > 0 || starts_ == 0 || Clock::now() < restartAt_) return;
    if (!options_.prefix.empty() && !prefixExists(options_.prefix)) {
        restartAt_ = Clock::now() + std::chrono::milliseconds(backoffMs_);
        return;
    }
    launch();
    if (pid_ <= 0) {
        restartAt_ = Clock::now() + std::chrono::milliseconds(backoffMs_);
        backoffMs_ = std::min(std::max(options_.maxRestartMs, 1), backoffMs_ * 2);
    }
}

bool WineWindows::readInput(int ms) {
    if (readFd_ < 0) return false;
    pollfd p{readFd_, POLLIN, 0};
    const int r = ::poll(&p, 1, ms);
    if (r <= 0) return true;
    char buffer[65536];
    // At most one buffer's worth beyond the cap, so that a relay that floods cannot hold us here.
    while (input_.size() <= kMaxInput) {
        const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
        if (n > 0) {
            input_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        ended("");
        return false;
    }
    return true;
}

void WineWindows::becameReady() {
    ready_ = true;
    wasReady_ = true;
    readyAt_ = Clock::now();
    if (lost_) {
        lost_ = false;
        if (options_.report) options_.report("back");
    }
    const auto owed = std::move(owedUp_);
    owedUp_.clear();
    for (const std::int32_t w : owed) press("send " + std::to_string(w) + " 514 0 0", w, WM_LBUTTONUP);
}

std::optional<std::string> WineWindows::takeLines(long id, bool* progress) {
    std::optional<std::string> result;
    std::size_t from = 0;
    bool broken = false;
    bool nowReady = false;
    for (std::size_t eol; (eol = input_.find('\n', from)) != std::string::npos; from = eol + 1) {
        std::string_view line(input_.data() + from, eol - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == "ready") {
            nowReady = !ready_;
            continue;
        }
        const auto space = line.find(' ');
        const std::string_view idText = line.substr(0, space);
        long lineId = 0;
        const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), lineId);
        if (ec != std::errc() || end != idText.data() + idText.size() || lineId <= 0 || lineId > nextId_) {
            broken = true;
            break;
        }
        if (lineId == owedLookUp_) owedLookUp_ = 0;  // late, but the relay looks things up again
        if (auto it = queued_.find(lineId); it != queued_.end()) {
            if (it->second.msg == WM_LBUTTONDOWN) held_.insert(it->second.window);
            if (it->second.msg == WM_LBUTTONUP) held_.erase(it->second.window);
            queued_.erase(it);
        }
        if (lineId == id && id != 0)
            result = std::string(space == std::string_view::npos ? std::string_view() : line.substr(space + 1));
        else if (progress && lineId < id)
            *progress = true;
    }
    // What is left is the start of a line; a line that long is no answer of ours.
    if (!broken) input_.erase(0, from);
    if (broken || input_.size() > kMaxLine) {
        ended("wrote what is not its protocol");
        return std::nullopt;
    }
    if (nowReady) becameReady();
    return result;
}

bool WineWindows::ready() {
    restartIfDue();
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

bool WineWindows::write(const std::string& line) {
    if (writeFd_ < 0) return false;
    const Written w = writeAll(writeFd_, line, options_.timeoutMs);
    if (w == Written::All) return true;
    ended(w == Written::Stuck ? "does not take requests" : "");
    return false;
}

std::optional<std::string> WineWindows::call(const std::string& request, int waitMs, Kind kind) {
    if (!ready()) return std::nullopt;
    if (!readInput(0)) return std::nullopt;
    takeLines(0);
    if (!ready_) return std::nullopt;
    if (kind == Kind::LookUp && owedLookUp_ != 0) {
        // The relay's look-ups are stuck (they never wait on another program): it is started again.
        if (Clock::now() - owedSince_ > std::chrono::seconds(5)) ended("does not answer");
        return std::nullopt;
    }
    const long id = ++nextId_;
    if (!write(std::to_string(id) + " " + request + "\n")) return std::nullopt;
    ++calls_;
    const auto start = Clock::now();
    auto deadline = start + std::chrono::milliseconds(waitMs);
    // A call behind presses waits its own time once the relay gets to it, within a bound.
    const auto latest = start + std::chrono::milliseconds(5 * waitMs);
    for (;;) {
        bool progress = false;
        if (auto answer = takeLines(id, &progress)) return answer;
        if (!alive()) return std::nullopt;
        const auto now = Clock::now();
        if (progress && kind == Kind::Queued) deadline = std::min(latest, std::max(deadline, now + std::chrono::milliseconds(waitMs)));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (left <= 0) break;
        if (!readInput(static_cast<int>(left) + 1)) return std::nullopt;
    }
    // Unknown; its answer, when it comes, is dropped.
    ++timeouts_;
    if (kind == Kind::LookUp) {
        owedLookUp_ = id;
        owedSince_ = Clock::now();
    }
    return std::nullopt;
}

bool WineWindows::press(const std::string& request, std::int32_t window, UINT msg) {
    if (!ready() || !readInput(0)) return false;
    takeLines(0);  // the presses made meanwhile
    if (!ready_) return false;
    if (msg == WM_LBUTTONUP && droppedDown_.erase(window)) {
        ++dropped_;
        return false;
    }
    if (msg != WM_LBUTTONUP && queued_.size() >= kMaxQueued) {
        // The relay is that far behind (a program that hardly answers): this press is dropped.
        if (msg == WM_LBUTTONDOWN) droppedDown_.insert(window);
        ++dropped_;
        return false;
    }
    const long id = ++nextId_;
    if (!write(std::to_string(id) + " " + request + "\n")) return false;
    ++calls_;
    queued_[id] = Press{window, msg};
    return true;
}

std::optional<long long> WineWindows::number(const std::string& answer) const {
    char* end = nullptr;
    const long long v = std::strtoll(answer.c_str(), &end, 10);
    if (end == answer.c_str()) return std::nullopt;
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

std::optional<HWND> WineWindows::findWindow(const std::string& className, const std::string& caption) {
    if (!ready()) return HWND(0);  // no relay: nothing of the other program is there
    const auto answer = call("find " + (className.empty() ? std::string("-") : encode(className)) + " " + encode(caption),
                             options_.timeoutMs, Kind::LookUp);
    if (!ready_) return HWND(0);
    const auto h = answer ? number(*answer) : std::nullopt;
    if (!h) return std::nullopt;
    return aliasOf(static_cast<std::int32_t>(*h));
}

std::optional<std::vector<HWND>> WineWindows::childWindows(HWND parent) {
    std::vector<HWND> out;
    if (!foreignHandle(parent) || !ready()) return out;
    const auto answer = call("children " + handleArg(parent), options_.timeoutMs, Kind::LookUp);
    if (!ready_) return out;
    if (!answer) return std::nullopt;
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
    const auto answer = call("class " + std::to_string(h), options_.timeoutMs, Kind::LookUp);
    const auto name = answer ? decode(*answer) : std::nullopt;
    return name ? *name : std::string();
}

std::optional<std::string> WineWindows::text(HWND hwnd, WPARAM chars, int waitMs) {
    const auto answer = call("text " + handleArg(hwnd) + " " + std::to_string(std::min<WPARAM>(chars, 32767)), waitMs, Kind::Queued);
    if (!answer) return ready_ ? std::nullopt : std::optional<std::string>(std::string());
    const auto space = answer->find(' ');
    return space == std::string::npos ? std::nullopt : decode(answer->substr(space + 1));
}

std::string WineWindows::getWindowText(HWND hwnd) {
    if (!foreignHandle(hwnd)) return {};
    return text(hwnd, 32767, options_.timeoutMs).value_or(std::string());
}

HWND WineWindows::getParent(HWND hwnd) {
    const std::int32_t h = foreignHandle(hwnd);
    if (!h) return 0;
    // DMXControl's children stay with their parents; the beat road asks on every beat.
    if (auto it = parents_.find(h); it != parents_.end()) return aliasOf(it->second);
    const auto answer = call("parent " + std::to_string(h), options_.timeoutMs, Kind::LookUp);
    const auto parent = answer ? number(*answer) : std::nullopt;
    if (!parent) return 0;
    if (*parent != 0) parents_[h] = static_cast<std::int32_t>(*parent);
    return aliasOf(static_cast<std::int32_t>(*parent));
}

namespace {
// The messages whose answer the program uses; every other one is a press.
bool answered(UINT msg) { return msg == BM_GETCHECK || msg == WM_GETTEXTLENGTH; }
}  // namespace

LRESULT WineWindows::sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return sendMessageTimeout(hwnd, msg, wParam, lParam, options_.timeoutMs).value_or(0);
}

std::optional<LRESULT> WineWindows::sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int waitMs) {
    const std::int32_t h = foreignHandle(hwnd);
    if (!h) return std::nullopt;
    if (msg == WM_GETTEXT) {
        if (wParam == 0 || !lParam) return 0;
        // The other program cannot write into this one's memory: its text comes back and is
        // copied here, as the window would have done it.
        const auto t = text(hwnd, wParam, waitMs);
        if (!t) return std::nullopt;
        return copyWindowText(*t, wParam, lParam);
    }
    // A message carrying an address would mean nothing in the other program: not sent.
    if (!plainMessage(msg)) return 0;
    const long long l = msg == WM_COMMAND ? foreignHandle(static_cast<HWND>(lParam)) : static_cast<long long>(lParam);
    const std::string request =
        "send " + std::to_string(h) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " + std::to_string(l);
    if (!answered(msg)) {
        press(request, h, msg);
        return 0;
    }
    const auto answer = call(request, waitMs, Kind::Queued);
    if (!answer) return ready_ ? std::nullopt : std::optional<LRESULT>(0);
    const auto r = number(*answer);
    if (!r) return std::nullopt;
    return static_cast<LRESULT>(*r);
}

bool WineWindows::postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const std::int32_t h = foreignHandle(hwnd);
    if (!h || !plainMessage(msg)) return false;
    const long long l = msg == WM_COMMAND ? foreignHandle(static_cast<HWND>(lParam)) : static_cast<long long>(lParam);
    return press("post " + std::to_string(h) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " + std::to_string(l),
                 h, msg);
}

int WineWindows::showWindow(HWND hwnd, int cmd) {
    const std::int32_t h = foreignHandle(hwnd);
    return h && press("show " + std::to_string(h) + " " + std::to_string(cmd), h, 0) ? 1 : 0;
}

bool WineWindows::moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    const std::int32_t h = foreignHandle(hwnd);
    return h && press("move " + std::to_string(h) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                          std::to_string(width) + " " + std::to_string(height) + " " + (repaint ? "1" : "0"),
                      h, 0);
}

bool WineWindows::setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    const std::int32_t h = foreignHandle(hwnd);
    if (!h) return false;
    // The special places (top, bottom, topmost, not topmost) are the same numbers there.
    const bool special = insertAfter >= HWND_NOTOPMOST && insertAfter <= 1;
    const long long after = special ? insertAfter : foreignHandle(insertAfter);
    return press("pos " + std::to_string(h) + " " + std::to_string(after) + " " + std::to_string(x) + " " +
                     std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(flags),
                 h, 0);
}

}  // namespace platform
