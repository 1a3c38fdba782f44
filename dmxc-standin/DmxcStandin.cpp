#include "dmxc-standin/DmxcStandin.h"

#include <algorithm>
#include <cmath>

#include "platform/loop/eventloop.h"

namespace dmxc {

namespace {

const char* const kUsualNames[] = {"Blitz", "Lauflicht", "Nebel", "Farbwechsel", "Strobe", "Blackout", "Chase", "Fade"};

// The settings DMXControl lists for a button, its name first.
std::string settingsRow(const std::string& name, int row) {
    static const char* const rows[] = {"", "Kanal 1", "Modus Flash", "Dimmer 100 %", "Farbe Weiss",
                                       "Geschwindigkeit 50", "Dauer 200 ms", "Taste keine"};
    return row == 0 ? name : rows[row];
}

}  // namespace

Standin::Standin(platform::WindowRegistry& windows) : windows_(windows) {}

Standin::~Standin() {
    closeKommandoBox();
    closeManualBeat();
}

std::vector<std::string> Standin::defaultNames(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back(i < 8 ? std::string(kUsualNames[i]) : "Effekt " + std::to_string(i + 1));
    return names;
}

double Standin::nowMs() const {
    const platform::EventLoop* loop = platform::EventLoop::currentOrNull();
    return loop ? loop->nowMs() : 0.0;
}

void Standin::emit(const std::string& what) {
    events_.push_back({nowMs(), what});
    if (onEvent) onEvent(events_.back());
}

HWND Standin::make(Kind kind, const std::string& role, const char* className, const std::string& text, HWND parent,
                   int index, bool visible, platform::Rect rect) {
    const HWND h = windows_.create(className, text, parent,
                                   [this](HWND hwnd, UINT m, WPARAM w, LPARAM l) { return proc(hwnd, m, w, l); }, visible,
                                   rect);
    children_[h] = Child{kind, role, index, false};
    return h;
}

void Standin::openKommandoBox(const std::vector<std::string>& effectNames) {
    closeKommandoBox();
    names_ = effectNames;
    kb_ = make(Kind::KommandoBox, "KommandoBox", "ThunderRT6FormDC", "KommandoBox", 0, -1, true, {640, 80, 1160, 440});
    // DMXControl keeps its command box above other windows.
    windows_.setWindowPos(kb_, platform::HWND_TOPMOST, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
    check_ = make(Kind::CheckBox, "checkbox", "ThunderRT6CheckBox", "Buttons bearbeiten", kb_);
    frame_ = make(Kind::Frame, "frame", "ThunderRT6Frame", "Effekte", kb_);
    for (std::size_t i = 0; i < names_.size(); ++i)
        buttons_.push_back(make(Kind::Button, "button " + std::to_string(i + 1), "ThunderRT6UserControlDC", names_[i], frame_,
                                static_cast<int>(i)));
    bank_ = make(Kind::Bank, "bank", "ThunderRT6UserControlDC", "Bank 1", kb_);
    name_ = make(Kind::NameField, "name", "ThunderRT6TextBox", "", kb_);
    settings_ = make(Kind::Settings, "settings", "ListView20WndClass", "", kb_);
    editMode_ = false;
    edited_ = -1;
    topRow_ = 0;
    emit("opened KommandoBox");
}

void Standin::closeKommandoBox() {
    if (!kb_) return;
    const HWND kb = kb_;
    for (HWND h : {kb_, check_, frame_, bank_, name_, settings_}) children_.erase(h);
    for (HWND h : buttons_) children_.erase(h);
    kb_ = check_ = frame_ = bank_ = name_ = settings_ = 0;
    buttons_.clear();
    windows_.destroy(kb);
    emit("closed KommandoBox");
}

void Standin::openManualBeat() {
    closeManualBeat();
    mb_ = make(Kind::ManualBeat, "ManualBeat", "ThunderRT6FormDC", "DMXC ManualBeat", 0, -1, true, {900, 500, 1100, 620});
    bpm_ = make(Kind::Bpm, "bpm", "ThunderRT6TextBox", "", mb_);
    beat_ = make(Kind::Beat, "beat", "ThunderRT6CommandButton", "Beat", mb_);
    reset_ = make(Kind::Reset, "reset", "ThunderRT6CommandButton", "Reset", mb_);
    taps_ = 0;
    lastTapMs_ = -1;
    emit("opened ManualBeat");
}

void Standin::closeManualBeat() {
    if (!mb_) return;
    const HWND mb = mb_;
    for (HWND h : {mb_, bpm_, beat_, reset_}) children_.erase(h);
    mb_ = bpm_ = beat_ = reset_ = 0;
    windows_.destroy(mb);
    emit("closed ManualBeat");
}

HWND Standin::button(int i) const {
    return i >= 0 && i < static_cast<int>(buttons_.size()) ? buttons_[static_cast<std::size_t>(i)] : 0;
}

std::vector<Received> Standin::receivedBy(HWND hwnd) const {
    std::vector<Received> out;
    std::copy_if(received_.begin(), received_.end(), std::back_inserter(out), [&](const Received& r) { return r.hwnd == hwnd; });
    return out;
}

void Standin::clearRecords() {
    received_.clear();
    events_.clear();
    fired_.clear();
}

std::string Standin::roleOf(HWND hwnd) const {
    auto it = children_.find(hwnd);
    return it == children_.end() ? std::string() : it->second.role;
}

std::vector<std::pair<HWND, std::string>> Standin::openWindows() const {
    // Handles grow with every window opened, so their order is the opening order.
    std::vector<std::pair<HWND, std::string>> out;
    for (const auto& [h, child] : children_) out.emplace_back(h, child.role);
    return out;
}

LRESULT Standin::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = children_.find(hwnd);
    if (it == children_.end()) return platform::defWindowProc(hwnd, msg, wParam, lParam);
    received_.push_back({nowMs(), hwnd, it->second.role, msg, wParam, lParam});
    Child& child = it->second;

    switch (msg) {
    case platform::WM_CLOSE:
        if (child.kind == Kind::KommandoBox) closeKommandoBox();
        if (child.kind == Kind::ManualBeat) closeManualBeat();
        return 0;
    case platform::BM_GETCHECK:
        return child.kind == Kind::CheckBox && editMode_ ? 1 : 0;
    case platform::WM_LBUTTONDOWN:
        child.down = true;
        return 0;
    case platform::WM_LBUTTONUP:
        if (child.down) {
            child.down = false;
            click(child);
        }
        return 0;
    case platform::WM_KEYDOWN:
        if (child.kind == Kind::Settings && wParam == static_cast<WPARAM>(platform::VK_PRIOR)) pageUp();
        return 0;
    case platform::WM_COMMAND:
        // A button's notification to its window: the button named in lParam was clicked.
        if (child.kind == Kind::ManualBeat) {
            const auto from = static_cast<HWND>(lParam);
            if (from != 0 && from == beat_) tap();
            if (from != 0 && from == reset_) resetTaps();
        }
        return 0;
    case platform::WM_SETTEXT:
        // Only the text fields take text from outside.
        if (child.kind == Kind::NameField || child.kind == Kind::Bpm)
            return platform::defWindowProc(hwnd, msg, wParam, lParam);
        return 0;
    default:
        return platform::defWindowProc(hwnd, msg, wParam, lParam);
    }
}

void Standin::click(Child& child) {
    switch (child.kind) {
    case Kind::CheckBox:
        editMode_ = !editMode_;
        emit(editMode_ ? "edit on" : "edit off");
        break;
    case Kind::Button:
        if (editMode_) {
            edit(child.index);
        } else {
            fired_.push_back(child.index);
            emit("fired " + std::to_string(child.index + 1) + " " + names_[static_cast<std::size_t>(child.index)]);
        }
        break;
    case Kind::Beat: tap(); break;
    case Kind::Reset: resetTaps(); break;
    default: break;
    }
}

void Standin::edit(int index) {
    edited_ = index;
    // A newly chosen button's settings open on their last page.
    topRow_ = kSettingsRows - kPageRows;
    emit("editing " + std::to_string(index + 1) + " " + names_[static_cast<std::size_t>(index)]);
}

void Standin::pageUp() {
    if (edited_ < 0 || edited_ >= static_cast<int>(names_.size())) return;
    topRow_ = std::max(0, topRow_ - kPageRows);
    const std::string row = settingsRow(names_[static_cast<std::size_t>(edited_)], topRow_);
    windows_.setStoredText(name_, row);
    emit("name " + row);
}

void Standin::resetTaps() {
    taps_ = 0;
    lastTapMs_ = -1;
    windows_.setStoredText(bpm_, "");
    emit("reset");
}

void Standin::tap() {
    const double t = nowMs();
    ++taps_;
    std::string what = "beat " + std::to_string(taps_);
    if (lastTapMs_ >= 0 && t > lastTapMs_) {
        const long bpm = std::lround(60000.0 / (t - lastTapMs_));
        windows_.setStoredText(bpm_, std::to_string(bpm));
        what += " bpm " + std::to_string(bpm);
    }
    lastTapMs_ = t;
    emit(what);
}

}  // namespace dmxc
