// The windows of programs that run under Wine on the same desktop (the lighting program), reached
// through korvella-relay.exe, a small Windows program of ours that wine64 runs: it makes the
// window calls with Wine's own user32 and answers them over its standard streams, one line each.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
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

// Presses (clicks, the beat's WM_COMMAND, keys, showing and placing) are handed to the relay
// without waiting: it makes them one after the other, in order, and nothing here waits for them
// or fails on them. Calls whose answer is used are matched to their own request: FindWindow, the
// child list, classes and parents are answered by the relay at once and wait at most timeoutMs;
// texts and BM_GETCHECK come after the presses before them and wait for their turn as long as
// the relay gets on with the presses. A call that runs out of time is unknown, never "gone", and
// its late answer is dropped. Until the relay has said it is ready, and while it is down, every
// call answers at once as for a window that is gone. A relay that ends, stops answering or
// breaks its protocol is reaped and started again after a pause that grows while it keeps
// failing; the loss and the return are reported once each. The program sees aliases, odd
// numbers, so never one of the registry's handles; the relay's 32-bit handle values stay in here.
class WineWindows : public ForeignWindows {
public:
    struct Options {
        std::vector<std::string> command;  // the relay's command line, e.g. {wine64, korvella-relay.exe}
        std::vector<std::pair<std::string, std::string>> environment;  // set for the relay only
        // A look-up's wait: the finders' and the beat road's calls must never stall the loop long.
        int timeoutMs = 100;
        // The pause before a relay that ended is started again; it doubles (up to maxRestartMs)
        // while relays keep ending within ten seconds of being ready.
        int restartMs = 1000;
        int maxRestartMs = 30000;
        // When not empty: the relay is started again only while this Wine prefix exists.
        std::string prefix;
        // Told once that the bridge was lost ("lost: ...") and once that it is back ("back").
        std::function<void(const std::string&)> report;
    };
    // Presses the relay has not made yet, at most; beyond that a button-down is dropped, and the
    // button-up that belongs to it with it.
    static constexpr std::size_t kMaxQueued = 256;
    // A line from the relay, and its unread output, at most (a text of 32767 characters in %XX
    // form is below 300 KB); more is a relay that breaks its protocol.
    static constexpr std::size_t kMaxLine = 512 * 1024;
    static constexpr std::size_t kMaxInput = 1024 * 1024;

    explicit WineWindows(Options options);
    ~WineWindows() override;
    WineWindows(const WineWindows&) = delete;
    WineWindows& operator=(const WineWindows&) = delete;

    // The bridge as the program starts it: on unless KORVELLA_WINE is "0", when wine64 is found,
    // the Wine prefix (WINEPREFIX, else ~/.wine) exists (none is ever made) and the relay for it
    // lies in one of relayFolders (korvella-relay32.exe with wine for a 32-bit prefix). nullptr
    // when off or missing; note (if given) says why, or what was started. Losses and returns of
    // the bridge are printed to the error output.
    static std::unique_ptr<WineWindows> start(const std::vector<std::string>& relayFolders, std::string* note = nullptr);
    // wine64 on the PATH, Debian's /usr/lib/wine/wine64, or wine on the PATH; "" when none.
    static std::string findWine();
    // The Wine prefix the relay would use: WINEPREFIX, else ~/.wine.
    static std::string prefixPath();
    // Whether Wine has made a prefix there (its registry files are there).
    static bool prefixExists(const std::string& prefix);
    // Whether the prefix was made for 32-bit Windows only (WINEARCH=win32).
    static bool prefixIs32Bit(const std::string& prefix);

    // Waits up to ms (real time) for the relay's first line; whether it is ready.
    bool waitReady(int ms);
    bool ready();
    // False while no relay runs (not started, ended, or waiting to be started again).
    bool alive() const { return pid_ > 0 && readFd_ >= 0; }
    pid_t pid() const { return pid_; }

    // The relay's handle value behind an alias (0 for none), and the alias of such a value.
    std::int32_t foreignHandle(HWND alias) const;
    HWND aliasOf(std::int32_t foreign);

    // Requests written to the relay; calls that ran out of time; presses dropped because the
    // relay was that far behind; relays started (the first one included).
    long calls() const { return calls_; }
    long timeouts() const { return timeouts_; }
    long dropped() const { return dropped_; }
    long starts() const { return starts_; }
    std::size_t queued() const { return queued_.size(); }

    std::optional<HWND> findWindow(const std::string& className, const std::string& caption) override;
    std::optional<std::vector<HWND>> childWindows(HWND parent) override;
    std::string getClassName(HWND hwnd) override;
    std::string getWindowText(HWND hwnd) override;
    HWND getParent(HWND hwnd) override;
    LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    std::optional<LRESULT> sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int waitMs) override;
    bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    int showWindow(HWND hwnd, int cmd) override;
    bool moveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) override;
    bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) override;

private:
    enum class Kind { LookUp, Queued };
    struct Press {
        std::int32_t window = 0;
        UINT msg = 0;
    };
    void launch();
    // Starts the relay again when it is down and its pause is over.
    void restartIfDue();
    // The answer to one request, without its number; nothing when there is none in time.
    std::optional<std::string> call(const std::string& request, int waitMs, Kind kind);
    // Hands a request to the relay without waiting; false when it cannot take it.
    bool press(const std::string& request, std::int32_t window, UINT msg);
    bool write(const std::string& line);
    // Reads what the relay has written, waiting up to ms; false when it has ended.
    bool readInput(int ms);
    // Takes the complete lines read so far; the answer for id when among them. progress: set
    // when an earlier request was answered.
    std::optional<std::string> takeLines(long id, bool* progress = nullptr);
    void becameReady();
    // The relay is gone (or is ended here for why): reaped, reported, its start again planned.
    void ended(const std::string& why);
    std::optional<long long> number(const std::string& answer) const;
    std::optional<std::string> text(HWND hwnd, WPARAM chars, int waitMs);
    std::string handleArg(HWND alias) const;

    Options options_;
    pid_t pid_ = -1;
    int writeFd_ = -1;
    int readFd_ = -1;
    std::string input_;
    bool ready_ = false;
    bool wasReady_ = false;  // some relay has been ready: a loss is worth telling
    bool lost_ = false;      // told that the bridge was lost, not yet that it is back
    std::chrono::steady_clock::time_point readyAt_{}, restartAt_{}, owedSince_{};
    int backoffMs_ = 0;
    long nextId_ = 0;
    long owedLookUp_ = 0;  // the look-up that timed out and whose answer is still to come (0: none)
    long calls_ = 0;
    long timeouts_ = 0;
    long dropped_ = 0;
    long starts_ = 0;
    std::map<long, Press> queued_;                     // presses written, not yet answered
    std::set<std::int32_t> held_;                      // buttons down whose button-up is not done
    std::set<std::int32_t> droppedDown_;               // buttons whose button-down was dropped
    std::set<std::int32_t> owedUp_;                    // held when the relay was lost: released on its return
    std::unordered_map<std::int32_t, HWND> aliases_;
    std::unordered_map<HWND, std::int32_t> foreign_;
    std::unordered_map<std::int32_t, std::string> classNames_;
    std::unordered_map<std::int32_t, std::int32_t> parents_;
    HWND nextAlias_ = 0x40000001;
};

}  // namespace platform
