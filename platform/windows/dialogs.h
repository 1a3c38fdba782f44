// Message boxes and the file open/save boxes. The program asks the current DialogService; the
// view installs one that shows real modal dialogs (pumping the loop while open), tests install
// ScriptedDialogs. With none installed, boxes are written to stderr and answered by default.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Style bits of a message box: buttons + icon + default button (+ system modal).
inline constexpr int MB_OK = 0;
inline constexpr int MB_OKCANCEL = 1;
inline constexpr int MB_ABORTRETRYIGNORE = 2;
inline constexpr int MB_YESNOCANCEL = 3;
inline constexpr int MB_YESNO = 4;
inline constexpr int MB_RETRYCANCEL = 5;
inline constexpr int MB_ICONCRITICAL = 16;
inline constexpr int MB_ICONQUESTION = 32;
inline constexpr int MB_ICONEXCLAMATION = 48;
inline constexpr int MB_ICONINFORMATION = 64;
inline constexpr int MB_DEFBUTTON2 = 256;
inline constexpr int MB_DEFBUTTON3 = 512;
inline constexpr int MB_DEFBUTTON4 = 768;
inline constexpr int MB_SYSTEMMODAL = 4096;

// Answers of a message box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The buttons of a style, left to right (an unknown button set is an OK box).
std::vector<int> msgBoxButtons(int style);
// The button a style makes the default (the first one when the default names a missing button).
int msgBoxDefaultAnswer(int style);
// The answer to Esc or the close box, if the box allows one: Cancel where there is a Cancel
// button, OK for an OK box, none for Yes/No and Abort/Retry/Ignore.
std::optional<int> msgBoxEscapeAnswer(int style);

// One entry of a file box filter "text|pattern|text|pattern|"; patterns of one entry are
// separated by ';' in the filter and split here. A trailing text without a pattern is dropped.
struct FileFilter {
    std::string text;
    std::vector<std::string> patterns;
};
std::vector<FileFilter> parseFileFilter(const std::string& filter);

class DialogService {
public:
    virtual ~DialogService() = default;
    // Modal: returns the pressed button (IDOK ...).
    virtual int msgBox(const std::string& text, int style, const std::string& title) = 0;
    // Modal: the chosen file's full path, or nothing when the operator cancels.
    virtual std::optional<std::string> fileOpen(const std::string& filter, const std::string& title,
                                                const std::string& initialDir) = 0;
    virtual std::optional<std::string> fileSave(const std::string& filter, const std::string& title,
                                                const std::string& initialDir) = 0;
};

// The current service, and replacing it (nullptr goes back to the stderr service). The caller
// keeps ownership of what it installs.
DialogService& dialogs();
void setDialogs(DialogService* service);

// Prints each box to stderr and answers its default button; file boxes are cancelled.
class StderrDialogs final : public DialogService {
public:
    int msgBox(const std::string& text, int style, const std::string& title) override;
    std::optional<std::string> fileOpen(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;
    std::optional<std::string> fileSave(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;
};

// For tests: records every box in the order it opens and answers from queues. Answers are
// taken when a box closes, so a box opened inside another (by the while-open hook) takes its
// answer first, as an operator answers the box on top first. With an empty queue a message box
// answers its default button and a file box is cancelled.
class ScriptedDialogs final : public DialogService {
public:
    enum class Kind { Message, Open, Save };
    struct Shown {
        Kind kind;
        int style = 0;           // message boxes
        std::string title;
        std::string text;        // message boxes
        std::string filter;      // file boxes
        std::string initialDir;  // file boxes
        std::optional<int> answer;               // message boxes, set when closed
        std::optional<std::string> file;         // file boxes, set when closed
    };

    int msgBox(const std::string& text, int style, const std::string& title) override;
    std::optional<std::string> fileOpen(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;
    std::optional<std::string> fileSave(const std::string& filter, const std::string& title,
                                        const std::string& initialDir) override;

    // The next message box answers this button. A button the box does not have is a scripting
    // mistake: that box throws std::invalid_argument.
    void pushAnswer(int button);
    // The next file box (open or save) answers this path, or is cancelled for std::nullopt.
    void pushFile(std::optional<std::string> path);
    std::size_t pendingAnswers() const { return answers_.size(); }
    std::size_t pendingFiles() const { return files_.size(); }

    // Runs while each box is open (e.g. to let virtual time pass). It is not run again for boxes
    // opened while it runs, so a box inside a box does not recurse without end.
    void setWhileOpen(std::function<void()> hook) { whileOpen_ = std::move(hook); }

    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<Shown> messages() const;  // the message boxes only
    int openCount() const { return open_; }
    void clear();  // forgets the record and the queued answers

private:
    std::optional<std::string> fileBox(Kind kind, const std::string& filter, const std::string& title,
                                       const std::string& initialDir);
    struct OpenScope;
    void showAndWait();

    std::vector<Shown> shown_;
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> files_;
    std::function<void()> whileOpen_;
    bool inHook_ = false;
    int open_ = 0;
    std::uint64_t generation_ = 0;  // bumped by clear(): boxes open across it are not written back
};

} // namespace platform
