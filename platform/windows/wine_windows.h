// The windows of programs that run under Wine on the same desktop (the lighting program), reached
// through korvella-relay.exe, a small Windows program of ours that wine64 runs: it makes the
// window calls with Wine's own user32 and answers them over its standard streams, one line each.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/windows/windows.h"

namespace platform {

// A program started with its standard input and output on pipes; their other ends (close-on-exec)
// are in and out. pid -1 when it could not be started.
struct PipedProcess {
    pid_t pid = -1;
    int in = -1;   // written: the program's standard input
    int out = -1;  // read: the program's standard output
};
// environment: variables set (or replaced) for the program only; the rest is inherited.
PipedProcess startPiped(const std::vector<std::string>& command,
                        const std::vector<std::pair<std::string, std::string>>& environment = {});

// Each call waits at most timeoutMs for its answer. Until the relay has said it is ready, after
// it has ended, and while it still owes the answer of a call that timed out, every call answers
// at once as for a window that is gone. The program sees aliases, odd numbers, so never one of
// the registry's handles; the relay's 32-bit handle values stay in here.
class WineWindows : public ForeignWindows {
public:
    struct Options {
        std::vector<std::string> command;  // the relay's command line, e.g. {wine64, korvella-relay.exe}
        std::vector<std::pair<std::string, std::string>> environment;  // set for the relay only
        int timeoutMs = 100;
    };

    explicit WineWindows(Options options);
    ~WineWindows() override;
    WineWindows(const WineWindows&) = delete;
    WineWindows& operator=(const WineWindows&) = delete;

    // The bridge as the program starts it: on unless KORVELLA_WINE is "0", when wine64 is found
    // and korvella-relay.exe lies in programFolder; the relay uses WINEPREFIX as it stands.
    // nullptr when off or missing; note (if given) says why, or what was started.
    static std::unique_ptr<WineWindows> start(const std::string& programFolder, std::string* note = nullptr);
    // wine64 on the PATH, Debian's /usr/lib/wine/wine64, or wine on the PATH; "" when none.
    static std::string findWine();

    // Waits up to ms (real time) for the relay's first line; whether it is ready.
    bool waitReady(int ms);
    bool ready();
    // False once the relay has ended (or could not be started).
    bool alive() const { return pid_ > 0 && readFd_ >= 0; }
    pid_t pid() const { return pid_; }

    // The relay's handle value behind an alias (0 for none), and the alias of such a value.
    std::int32_t foreignHandle(HWND alias) const;
    HWND aliasOf(std::int32_t foreign);

    // Calls that reached the relay, and those that ran out of time.
    long calls() const { return calls_; }
    long timeouts() const { return timeouts_; }

    HWND findWindow(const std::string& className, const std::string& caption) override;
    std::vector<HWND> childWindows(HWND parent) override;
    std::string getClassName(HWND hwnd) override;
    std::string getWindowText(HWND hwnd) override;
    HWND getParent(HWND hwnd) override;
    LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    int showWindow(HWND hwnd, int cmd) override;
    bool moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) override;
    bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) override;

private:
    // The answer to one request, without its number; nothing when there is none in time.
    std::optional<std::string> call(const std::string& request);
    // Reads what the relay has written, waiting up to ms; false when it has ended.
    bool readInput(int ms);
    // Takes the complete lines read so far; the answer for id when among them.
    std::optional<std::string> takeLines(long id);
    void ended();
    std::optional<long long> number(const std::string& request);
    std::string handleArg(HWND alias) const;

    Options options_;
    pid_t pid_ = -1;
    int writeFd_ = -1;
    int readFd_ = -1;
    std::string input_;
    bool ready_ = false;
    long nextId_ = 0;
    long owed_ = 0;  // the call that timed out and whose answer is still to come (0: none)
    long calls_ = 0;
    long timeouts_ = 0;
    std::unordered_map<std::int32_t, HWND> aliases_;
    std::unordered_map<HWND, std::int32_t> foreign_;
    std::unordered_map<std::int32_t, std::string> classNames_;
    HWND nextAlias_ = 0x40000001;
};

}  // namespace platform
