#include "platform/windows/dialogs.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <stdexcept>

namespace platform {

namespace {

std::atomic<DialogService*> g_current{nullptr};

DialogService& fallback() {
    static StderrDialogs service;
    return service;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

} // namespace

std::vector<int> msgBoxButtons(int style) {
    switch (style & 0xF) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

int msgBoxDefaultAnswer(int style) {
    const std::vector<int> buttons = msgBoxButtons(style);
    const std::size_t index = static_cast<std::size_t>((style >> 8) & 0x3);
    return index < buttons.size() ? buttons[index] : buttons.front();
}

std::optional<int> msgBoxEscapeAnswer(int style) {
    const std::vector<int> buttons = msgBoxButtons(style);
    if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end())
        return IDCANCEL;
    if (buttons.size() == 1)
        return IDOK;
    return std::nullopt;
}

std::vector<FileFilter> parseFileFilter(const std::string& filter) {
    std::vector<std::string> parts = split(filter, '|');
    std::vector<FileFilter> out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty())
            continue;  // the closing '|' of "text|pattern|"
        FileFilter f;
        f.text = parts[i];
        for (std::string& p : split(parts[i + 1], ';')) {
            const auto first = p.find_first_not_of(' ');
            if (first == std::string::npos)
                continue;
            p = p.substr(first, p.find_last_not_of(' ') - first + 1);
            f.patterns.push_back(std::move(p));
        }
        if (!f.patterns.empty())
            out.push_back(std::move(f));
    }
    return out;
}

DialogService& dialogs() {
    DialogService* s = g_current.load();
    return s ? *s : fallback();
}

void setDialogs(DialogService* service) { g_current.store(service); }

// ---- stderr ---------------------------------------------------------------------------------

int StderrDialogs::msgBox(const std::string& text, int style, const std::string& title) {
    const int answer = msgBoxDefaultAnswer(style);
    std::cerr << "[message box] " << title << ": " << text << " (style " << style << ", answered " << answer
              << ")\n";
    return answer;
}

std::optional<std::string> StderrDialogs::fileOpen(const std::string& filter, const std::string& title,
                                                   const std::string& initialDir) {
    std::cerr << "[open file box] " << title << " in " << initialDir << " (" << filter << "): cancelled\n";
    return std::nullopt;
}

std::optional<std::string> StderrDialogs::fileSave(const std::string& filter, const std::string& title,
                                                   const std::string& initialDir) {
    std::cerr << "[save file box] " << title << " in " << initialDir << " (" << filter << "): cancelled\n";
    return std::nullopt;
}

// ---- scripted -------------------------------------------------------------------------------

// Keeps the open count (and the hook's re-entry guard) right when the hook throws.
struct ScriptedDialogs::OpenScope {
    ScriptedDialogs& d;
    bool ownsHook = false;
    explicit OpenScope(ScriptedDialogs& dialogs) : d(dialogs) { ++d.open_; }
    ~OpenScope() {
        --d.open_;
        if (ownsHook)
            d.inHook_ = false;
    }
    OpenScope(const OpenScope&) = delete;
    OpenScope& operator=(const OpenScope&) = delete;
};

void ScriptedDialogs::showAndWait() {
    OpenScope scope(*this);
    if (!whileOpen_ || inHook_)
        return;
    inHook_ = true;
    scope.ownsHook = true;
    whileOpen_();
}

int ScriptedDialogs::msgBox(const std::string& text, int style, const std::string& title) {
    const std::size_t index = shown_.size();
    shown_.push_back(Shown{Kind::Message, style, title, text, {}, {}, std::nullopt, std::nullopt});
    const std::uint64_t generation = generation_;
    showAndWait();
    int answer = msgBoxDefaultAnswer(style);
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
        const std::vector<int> buttons = msgBoxButtons(style);
        if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end())
            throw std::invalid_argument("scripted answer " + std::to_string(answer) +
                                        " is not a button of the box \"" + text + "\" (style " +
                                        std::to_string(style) + ")");
    }
    if (generation == generation_)
        shown_[index].answer = answer;
    return answer;
}

std::optional<std::string> ScriptedDialogs::fileBox(Kind kind, const std::string& filter, const std::string& title,
                                                    const std::string& initialDir) {
    const std::size_t index = shown_.size();
    shown_.push_back(Shown{kind, 0, title, {}, filter, initialDir, std::nullopt, std::nullopt});
    const std::uint64_t generation = generation_;
    showAndWait();
    std::optional<std::string> file;
    if (!files_.empty()) {
        file = std::move(files_.front());
        files_.pop_front();
    }
    if (generation == generation_)
        shown_[index].file = file;
    return file;
}

std::optional<std::string> ScriptedDialogs::fileOpen(const std::string& filter, const std::string& title,
                                                     const std::string& initialDir) {
    return fileBox(Kind::Open, filter, title, initialDir);
}

std::optional<std::string> ScriptedDialogs::fileSave(const std::string& filter, const std::string& title,
                                                     const std::string& initialDir) {
    return fileBox(Kind::Save, filter, title, initialDir);
}

void ScriptedDialogs::pushAnswer(int button) { answers_.push_back(button); }

void ScriptedDialogs::pushFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::messages() const {
    std::vector<Shown> out;
    std::copy_if(shown_.begin(), shown_.end(), std::back_inserter(out),
                 [](const Shown& s) { return s.kind == Kind::Message; });
    return out;
}

void ScriptedDialogs::clear() {
    ++generation_;
    shown_.clear();
    answers_.clear();
    files_.clear();
}

} // namespace platform
