#include "forms/controls.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "forms/errors.h"
#include "forms/form.h"
#include "platform/error.h"
#include "platform/files.h"

namespace forms {

using platform::raise;

namespace {
std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Characters as the runtime counts them (a UTF-8 sequence is one).
std::size_t charCount(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string firstChars(const std::string& s, std::size_t count) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == count) return s.substr(0, i);
            ++n;
        }
    }
    return s;
}
}  // namespace

// ---- TextBox ----

TextBox::TextBox(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::TextBox, true, "ThunderRT6TextBox", container) {
    setBackColor(kWindowBackground);
    // The window's text is this box's own string: a change is not copied into the registry too.
    if (hWnd()) platform::WindowRegistry::current().shareText(hWnd(), &text_);
}

TextBox::~TextBox() {
    if (hWnd()) platform::WindowRegistry::current().unshareText(hWnd(), &text_);
}

void TextBox::store(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    if (hWnd()) {
        auto& reg = platform::WindowRegistry::current();
        // A text set on the window apart from the box (a replaced procedure passing WM_SETTEXT on)
        // ended the sharing: the box's text goes in the general way and is shared again.
        if (!reg.sharedTextChanged(hWnd(), &text_)) {
            reg.setStoredText(hWnd(), text_);
            reg.shareText(hWnd(), &text_);
        }
    }
    notify(Prop::Text);
    fire(onChange);
}

void TextBox::setText(const std::string& text) {
    store(MaxLength > 0 && charCount(text) > static_cast<std::size_t>(MaxLength) ? firstChars(text, MaxLength) : text);
}

void TextBox::setSelStart(int pos) {
    selStart_ = std::clamp(pos, 0, static_cast<int>(charCount(text_)));
    notify(Prop::Selection);
}

void TextBox::userKey(int keyCode, int keyAscii, int shift) {
    if (form() && form()->KeyPreview) form()->Form_KeyDown(keyCode, shift);
    if (keyCode) fire(onKeyDown, keyCode, shift);
    if (keyAscii) {
        fire(onKeyPress, keyAscii);
        if (keyAscii && !Locked) {
            if (keyAscii == 8) {
                if (!text_.empty()) {
                    std::size_t n = charCount(text_);
                    store(firstChars(text_, n - 1));
                }
            } else if (keyAscii >= 32 && (MaxLength == 0 || charCount(text_) < static_cast<std::size_t>(MaxLength))) {
                store(text_ + std::string(1, static_cast<char>(keyAscii)));
            }
        }
    }
    if (keyCode) fire(onKeyUp, keyCode, shift);
}

void TextBox::userEdit(const std::string& text) {
    if (Locked) {
        notify(Prop::Text);  // the view shows the text again
        return;
    }
    setText(text);
}

LRESULT TextBox::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::WM_SETTEXT:
        // A raw message is not held to MaxLength.
        store(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    case platform::WM_KEYUP: {
        int code = static_cast<int>(wParam & 0xFFFF);
        fire(onKeyUp, code, 0);
        return 0;
    }
    case platform::WM_KEYDOWN: {
        int code = static_cast<int>(wParam & 0xFFFF);
        fire(onKeyDown, code, 0);
        return 0;
    }
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

// ---- Label ----

Label::Label(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::Label, false, "", container) {}

void Label::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    notify(Prop::Caption);
    fire(onChange);
}

// ---- CommandButton ----

CommandButton::CommandButton(Form* form, std::string name, std::string caption, Control* container)
    : Control(form, std::move(name), Kind::CommandButton, true, "ThunderRT6CommandButton", container),
      caption_(std::move(caption)) {
    setWindowText(caption_);
}

void CommandButton::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void CommandButton::setValue(bool v) {
    if (v) fire(onClick);
}

void CommandButton::userClick() {
    if (!Enabled()) return;
    SetFocus();
    fire(onMouseDown, 1, 0, 0.0, 0.0);
    fire(onMouseUp, 1, 0, 0.0, 0.0);
    fire(onClick);
}

LRESULT CommandButton::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::WM_LBUTTONDOWN:
        down_ = true;
        fire(onMouseDown, 1, 0, 0.0, 0.0);
        return 0;
    case platform::WM_LBUTTONUP:
        fire(onMouseUp, 1, 0, 0.0, 0.0);
        if (down_) {
            down_ = false;
            fire(onClick);
        }
        return 0;
    case platform::WM_SETTEXT:
        setCaption(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

// ---- CheckBox ----

CheckBox::CheckBox(Form* form, std::string name, std::string caption, int value, Control* container)
    : Control(form, std::move(name), Kind::CheckBox, true, "ThunderRT6CheckBox", container),
      caption_(std::move(caption)), value_(value) {
    setWindowText(caption_);
}

void CheckBox::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void CheckBox::setValue(int v) {
    if (v < 0 || v > 2) raise(380);
    if (v == value_) return;
    value_ = v;
    notify(Prop::Value);
    fire(onClick);
}

void CheckBox::userClick() {
    if (!Enabled()) return;
    SetFocus();
    setValue(value_ == 1 ? 0 : 1);
}

LRESULT CheckBox::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case platform::BM_GETCHECK:
        return value_;
    case platform::WM_LBUTTONDOWN:
        down_ = true;
        return 0;
    case platform::WM_LBUTTONUP:
        if (down_) {
            down_ = false;
            setValue(value_ == 1 ? 0 : 1);
        }
        return 0;
    default:
        return Control::wndProc(msg, wParam, lParam);
    }
}

// ---- OptionButton ----

OptionButton::OptionButton(Form* form, std::string name, std::string caption, bool value, Control* container)
    : Control(form, std::move(name), Kind::OptionButton, true, "ThunderRT6OptionButton", container),
      caption_(std::move(caption)), value_(value) {
    setWindowText(caption_);
}

void OptionButton::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

void OptionButton::setValue(bool v) {
    if (!v) {
        if (value_) {
            value_ = false;
            notify(Prop::Value);
        }
        return;
    }
    if (value_) return;
    if (form()) {
        for (Control* c : form()->Controls()) {
            if (c != this && c->kind() == Kind::OptionButton && c->container() == container()) {
                auto* o = static_cast<OptionButton*>(c);
                if (o->value_) {
                    o->value_ = false;
                    o->notify(Prop::Value);
                }
            }
        }
    }
    value_ = true;
    notify(Prop::Value);
    fire(onClick);
}

void OptionButton::userClick() {
    if (!Enabled()) return;
    SetFocus();
    setValue(true);
}

LRESULT OptionButton::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == platform::BM_GETCHECK) return value_ ? 1 : 0;
    if (msg == platform::WM_LBUTTONUP) {
        setValue(true);
        return 0;
    }
    return Control::wndProc(msg, wParam, lParam);
}

// ---- ListBox ----

ListBox::ListBox(Form* form, std::string name, Control* container, Kind kind, const char* className)
    : Control(form, std::move(name), kind, true, className, container) {
    setBackColor(kWindowBackground);
}

void ListBox::rowChanged(int row, int what) {
    if (allRows_) return;
    // Past a list's worth of single changes the view reads the whole list anyway.
    if (rowChanges_.size() >= std::max<std::size_t>(64, items_.size())) {
        rowsReplaced();
        return;
    }
    rowChanges_.push_back({row, what});
}

void ListBox::rowsReplaced() {
    allRows_ = true;
    rowChanges_.clear();
    rowChanges_.shrink_to_fit();
}

bool ListBox::takeRowChanges(std::vector<RowChange>& out) {
    out.clear();
    const bool rows = !allRows_;
    if (rows) out.swap(rowChanges_);
    rowChanges_.clear();
    allRows_ = false;
    return rows;
}

void ListBox::AddItem(const std::string& item, int index) {
    if (index < -1 || index > ListCount()) raise(5);
    if (index == -1) index = ListCount();
    items_.insert(items_.begin() + index, item);
    selected_.insert(selected_.begin() + index, false);
    if (listIndex_ >= index) ++listIndex_;
    if (anchor_ >= index) ++anchor_;
    rowChanged(index, 1);
    notify(Prop::Items);
}

void ListBox::RemoveItem(int index) {
    if (index < 0 || index >= ListCount()) raise(5);
    items_.erase(items_.begin() + index);
    selected_.erase(selected_.begin() + index);
    if (listIndex_ == index)
        listIndex_ = -1;
    else if (listIndex_ > index)
        --listIndex_;
    if (anchor_ == index)
        anchor_ = -1;
    else if (anchor_ > index)
        --anchor_;
    topIndex_ = std::clamp(topIndex_, 0, std::max(0, ListCount() - 1));
    rowChanged(index, -1);
    notify(Prop::Items);
}

void ListBox::Clear() {
    items_.clear();
    selected_.clear();
    listIndex_ = -1;
    anchor_ = -1;
    topIndex_ = 0;
    rowsReplaced();
    notify(Prop::Items);
}

std::string ListBox::List(int index) const {
    if (index < -1) raise(381);
    if (index == -1 || index >= ListCount()) return {};
    return items_[index];
}

void ListBox::setList(int index, const std::string& item) {
    if (index < 0 || index >= ListCount()) raise(381);
    items_[index] = item;
    rowChanged(index, 0);
    notify(Prop::Items);
}

void ListBox::selectOnly(int index) {
    std::fill(selected_.begin(), selected_.end(), false);
    if (index >= 0 && index < ListCount()) selected_[index] = true;
}

void ListBox::setListIndex(int index) {
    if (index < lowestIndex() || index >= ListCount()) raise(380);
    if (index == listIndex_) return;
    listIndex_ = index;
    if (MultiSelect == 0) selectOnly(index);
    if (index >= 0 && index < topIndex_) topIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

bool ListBox::Selected(int index) const {
    if (index < 0 || index >= ListCount()) raise(381);
    return selected_[index];
}

void ListBox::setSelected(int index, bool on) {
    if (index < 0 || index >= ListCount()) raise(381);
    if (MultiSelect == 0) {
        if (on) {
            setListIndex(index);
        } else if (selected_[index]) {
            selected_[index] = false;
            if (listIndex_ == index) listIndex_ = -1;
            notify(Prop::Selection);
        }
        return;
    }
    if (selected_[index] == on && listIndex_ == index) return;
    selected_[index] = on;
    listIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

int ListBox::SelCount() const { return static_cast<int>(std::count(selected_.begin(), selected_.end(), true)); }

void ListBox::setTopIndex(int index) {
    if (index < 0 || (index >= ListCount() && ListCount() > 0)) raise(380);
    topIndex_ = index;
    notify(Prop::Selection);
}

void ListBox::userSelect(int index, int shift) {
    if (index < 0) return;
    const bool ctrl = shift & 2, range = shift & 1;
    if (MultiSelect == 1) {
        selected_[index] = !selected_[index];
    } else if (MultiSelect == 2 && range) {
        // From the anchor (the last plain or Ctrl click) to this row; Ctrl keeps the others.
        const int from = anchor_ >= 0 && anchor_ < ListCount() ? anchor_ : index;
        if (!ctrl) std::fill(selected_.begin(), selected_.end(), false);
        for (int i = std::min(from, index); i <= std::max(from, index); ++i) selected_[i] = true;
    } else if (MultiSelect == 2 && ctrl) {
        selected_[index] = !selected_[index];
        anchor_ = index;
    } else {
        selectOnly(index);
        anchor_ = index;
    }
    listIndex_ = index;
    if (index < topIndex_) topIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

void ListBox::userMouseDown(int index, int button, int shift, double x, double y) {
    if (!Enabled()) return;
    pressed_ = true;
    SetFocus();
    fire(onMouseDown, button, shift, x, y);
    if (button == 1 && index >= lowestIndex() && index < ListCount()) userSelect(index, shift);
}

void ListBox::userMouseUp(int button, int shift, double x, double y) {
    if (!Enabled() || !pressed_) return;
    pressed_ = false;
    fire(onMouseUp, button, shift, x, y);
}

void ListBox::userDblClick() {
    if (!Enabled()) return;
    // No MouseDown: the second press of a double click is the DblClick.
    pressed_ = true;
    userOpen();
    fire(onDblClick);
}

void ListBox::userClickRow(int index, int shift) {
    userMouseDown(index, 1, shift);
    userMouseUp(1, shift);
}

void ListBox::userDblClickRow(int index, int shift) {
    userClickRow(index, shift);
    userDblClick();
    userMouseUp(1, shift);
}

void ListBox::userRightClickRow(int index, int shift) {
    userMouseDown(index, 2, shift);
    userMouseUp(2, shift);
}

void ListBox::userMoveTo(int index) {
    if (MultiSelect == 0) {
        setListIndex(index);
        return;
    }
    if (index < 0) return;
    // Extended and simple lists: the keys move one selected row.
    selectOnly(index);
    anchor_ = index;
    listIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

void ListBox::userKeyDown(int keyCode, int shift, int pageRows) {
    if (!Enabled()) return;
    fire(onKeyDown, keyCode, shift);
    if (keyCode && ListCount() - lowestIndex() > 1) {
        // A plain list's keys stay on its rows; a folder list's reach its ancestors.
        const int first = lowestIndex() == -1 ? 0 : lowestIndex(), last = ListCount() - 1, page = std::max(1, pageRows);
        const int at = listIndex_;
        int to = at;
        switch (keyCode) {
        case 0x26: to = std::max(first, at - 1); break;         // up
        case 0x28: to = std::min(last, at + 1); break;          // down
        case 0x24: to = first; break;                           // Home
        case 0x23: to = last; break;                            // End
        case 0x21: to = std::max(first, at - page); break;      // Page Up
        case 0x22: to = std::min(last, at + page); break;       // Page Down
        case 0x0D: userOpen(); break;                           // Enter
        default: break;
        }
        if (to != at) userMoveTo(to);
    }
    if (keyCode) fire(onKeyUp, keyCode, shift);
}

// ---- ComboBox ----

ComboBox::ComboBox(Form* form, std::string name, Control* container)
    : ListBox(form, std::move(name), container, Kind::ComboBox, "ThunderRT6ComboBox") {}

void ComboBox::setText(const std::string& text) {
    if (text.empty()) {
        if (listIndex_ != -1) {
            listIndex_ = -1;
            std::fill(selected_.begin(), selected_.end(), false);
            notify(Prop::Selection);
        }
        return;
    }
    const std::string want = lower(text);
    for (int i = 0; i < ListCount(); ++i) {
        if (lower(items_[i]) == want) {
            setListIndex(i);
            return;
        }
    }
    raise(383, "'Text' property is read-only");
}

// ---- ScrollBar ----

ScrollBar::ScrollBar(Form* form, std::string name, bool horizontal, int min, int max, int value, Control* container)
    : Control(form, std::move(name), horizontal ? Kind::HScrollBar : Kind::VScrollBar, true,
              horizontal ? "ThunderRT6HScrollBar" : "ThunderRT6VScrollBar", container),
      min_(min), max_(max), value_(value) {}

namespace {
int checked16(long long v) {
    if (v < -32768 || v > 32767) raise(6);
    return static_cast<int>(v);
}
}  // namespace

void ScrollBar::setValue(long long v) {
    const int value = checked16(v);
    if (value < std::min(min_, max_) || value > std::max(min_, max_)) raise(380);
    if (value == value_) return;
    value_ = value;
    notify(Prop::Value);
    fire(onChange);
}

void ScrollBar::setMin(long long v) {
    min_ = checked16(v);
    notify(Prop::Range);
    const int clamped = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    if (clamped != value_) setValue(clamped);
}

void ScrollBar::setMax(long long v) {
    max_ = checked16(v);
    notify(Prop::Range);
    const int clamped = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    if (clamped != value_) setValue(clamped);
}

void ScrollBar::userStep(int delta) {
    if (!Enabled()) return;
    // Moving towards Max adds; a bar whose Min exceeds Max runs backwards.
    const int dir = max_ >= min_ ? 1 : -1;
    const long long v = std::clamp<long long>(static_cast<long long>(value_) + static_cast<long long>(delta) * dir,
                                              std::min(min_, max_), std::max(min_, max_));
    setValue(v);
}

void ScrollBar::userDrag(int value, bool released) {
    if (!Enabled()) return;
    const int v = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (!released) {
        if (v != value_) {
            value_ = v;
            notify(Prop::Value);
            fire(onScroll);
        }
        return;
    }
    value_ = v;
    notify(Prop::Value);
    fire(onChange);
}

// ---- Timer ----

Timer::Timer(Form* form, std::string name, int interval, bool enabled, Control* container)
    : Control(form, std::move(name), Kind::Timer, false, "", container), timer_([this] { runHandler([this] { fire(onTimer); }); }) {
    timer_.setInterval(interval);
    timer_.setEnabled(enabled);
}

void Timer::setInterval(long long ms) {
    if (ms < 0 || ms > 65535) raise(380);
    timer_.setInterval(static_cast<int>(ms));
    notify(Prop::Interval);
}

void Timer::setEnabled(bool on) {
    // Enabling a running timer changes nothing (the detector does it for most points of a plot):
    // no notice then, as for every other property.
    const bool was = timer_.enabled();
    timer_.setEnabled(on);
    if (timer_.enabled() != was) notify(Prop::Enabled);
}

// ---- Frame, Menu, Shape, Line ----

Frame::Frame(Form* form, std::string name, std::string caption, Control* container)
    : Control(form, std::move(name), Kind::Frame, true, "ThunderRT6Frame", container), caption_(std::move(caption)) {
    setWindowText(caption_);
}

void Frame::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    setWindowText(c);
    notify(Prop::Caption);
}

Menu::Menu(Form* form, std::string name, std::string caption, Menu* parent)
    : Control(form, std::move(name), Kind::Menu, false, ""), caption_(std::move(caption)), parent_(parent) {}

void Menu::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    notify(Prop::Caption);
}

void Menu::setChecked(bool c) {
    if (c == checked_) return;
    checked_ = c;
    notify(Prop::Value);
}

void Menu::userClick() {
    if (Enabled()) fire(onClick);
}

Shape::Shape(Form* form, std::string name, int shape, Control* container)
    : Control(form, std::move(name), Kind::Shape, false, "", container), ShapeKind(shape) {}

void Shape::setFillColor(std::uint32_t c) {
    if (c == FillColor) return;
    FillColor = c;
    notify(Prop::Colors);
}

LineControl::LineControl(Form* form, std::string name, double x1, double y1, double x2, double y2, Control* container)
    : Control(form, std::move(name), Kind::Line, false, "", container), X1(x1), Y1(y1), X2(x2), Y2(y2) {}

// ---- FileListBox, DirListBox ----

FileListBox::FileListBox(Form* form, std::string name, Control* container)
    : ListBox(form, std::move(name), container, Kind::FileListBox, "ThunderRT6FileListBox") {}

void FileListBox::Refresh() {
    items_.clear();
    selected_.clear();
    listIndex_ = -1;
    anchor_ = -1;
    topIndex_ = 0;
    rowsReplaced();
    if (!path_.empty()) {
        for (auto& f : platform::listFiles(path_, pattern_)) {
            items_.push_back(f);
            selected_.push_back(false);
        }
    }
    notify(Prop::Items);
}

void FileListBox::setPath(const std::string& path) {
    if (!platform::dirExists(path)) raise(76);
    const bool changed = path != path_;
    path_ = path;
    Refresh();
    if (changed) fire(onPathChange);
}

void FileListBox::setPattern(const std::string& pattern) {
    const bool changed = pattern != pattern_;
    pattern_ = pattern;
    Refresh();
    if (changed) fire(onPatternChange);
}

DirListBox::DirListBox(Form* form, std::string name, Control* container)
    : ListBox(form, std::move(name), container, Kind::DirListBox, "ThunderRT6DirListBox") {}

namespace {
// A folder as this list writes it: inside the program folder the program folder's own path and
// then "\" between folders (as the program joins names to it), elsewhere the system's path.
// Either way the same folder always gives the same text, so the program may cut its folder off.
std::string folderText(const std::string& path) {
    namespace fs = std::filesystem;
    std::string disk = fs::path(platform::diskPath(path)).lexically_normal().string();
    while (disk.size() > 1 && disk.back() == '/') disk.pop_back();
    std::string app;
    try {
        app = platform::appPath();
    } catch (const platform::VbError&) {
        return disk;
    }
    std::string appDisk = fs::path(platform::diskPath(app)).lexically_normal().string();
    while (appDisk.size() > 1 && appDisk.back() == '/') appDisk.pop_back();
    if (disk == appDisk) return app;
    const std::string prefix = appDisk == "/" ? appDisk : appDisk + "/";
    if (disk.compare(0, prefix.size(), prefix) != 0) return disk;
    std::string rest = disk.substr(prefix.size());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return app + "\\" + rest;
}

// The last name of a folder's path ("/" for the root).
std::string lastName(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return path;
    if (cut + 1 == path.size()) return path.substr(0, cut + 1);
    return path.substr(cut + 1);
}
}  // namespace

void DirListBox::fill() {
    items_.clear();
    selected_.clear();
    ancestors_.clear();
    const std::string disk = std::filesystem::path(platform::diskPath(path_)).lexically_normal().string();
    // The root, each folder on the way, the current folder.
    std::vector<std::string> way;
    for (std::filesystem::path p(disk);; p = p.parent_path()) {
        std::string s = p.string();
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        if (!way.empty() && way.back() == s) break;
        way.push_back(s);
        if (s.empty() || s == "/" || !p.has_parent_path()) break;
    }
    for (auto it = way.rbegin(); it != way.rend(); ++it) ancestors_.push_back(folderText(*it));
    const std::string base = disk == "/" ? disk : disk + "/";
    for (auto& d : platform::listDirs(path_)) {
        items_.push_back(folderText(base + d));
        selected_.push_back(false);
    }
    listIndex_ = -1;
    anchor_ = -1;
    topIndex_ = 0;
    rowsReplaced();
    notify(Prop::Items);
}

std::string DirListBox::List(int index) const {
    if (index < -ancestorCount()) raise(381);
    if (index < 0) return ancestors_[ancestors_.size() + index];
    return ListBox::List(index);
}

std::string DirListBox::rowName(int index) const { return lastName(List(index)); }

void DirListBox::setPath(const std::string& path) {
    if (!platform::dirExists(path)) raise(76);
    const std::string text = folderText(path);
    if (text == path_) return;
    path_ = text;
    fill();
    fire(onChange);
}

void DirListBox::userSelect(int index, int) {
    // A click marks the row; the path stays until the row is opened.
    listIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

void DirListBox::userMoveTo(int index) { userSelect(index, 0); }

void DirListBox::openMarked() {
    if (listIndex_ == -1) return;
    const std::string target = List(listIndex_);
    // A folder gone since it was listed: the list shows what is there now.
    if (!platform::dirExists(target)) {
        fill();
        return;
    }
    setPath(target);
}

// ---- PictureBox ----

PictureBox::PictureBox(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::PictureBox, true, "ThunderRT6PictureBoxDC", container) {
    fitImage();
}

int PictureBox::innerWidthPx() const {
    return std::max(0, static_cast<int>(Width() / kTwipsPerPixel + 0.5) - (BorderStyle ? 4 : 0));
}

int PictureBox::innerHeightPx() const {
    return std::max(0, static_cast<int>(Height() / kTwipsPerPixel + 0.5) - (BorderStyle ? 4 : 0));
}

void PictureBox::setScaleMode(int mode) {
    if (mode != 1 && mode != 3) raise(380);
    scaleMode_ = mode;
}

double PictureBox::ScaleWidth() const { return scaleMode_ == 3 ? innerWidthPx() : innerWidthPx() * kTwipsPerPixel; }
double PictureBox::ScaleHeight() const { return scaleMode_ == 3 ? innerHeightPx() : innerHeightPx() * kTwipsPerPixel; }

double PictureBox::toPxX(double v) const { return scaleMode_ == 3 ? v : v / kTwipsPerPixel; }
double PictureBox::toPxY(double v) const { return scaleMode_ == 3 ? v : v / kTwipsPerPixel; }

void PictureBox::fitImage() {
    const int w = innerWidthPx(), h = innerHeightPx();
    if (image_.width() == w && image_.height() == h) return;
    platform::Bitmap old = image_;
    image_.resize(w, h, platform::PixelFormat::Bgra32);
    image_.clear(resolveColor(BackColor()));
    // What was drawn stays where it was.
    for (int y = 0; y < std::min(h, old.height()); ++y)
        for (int x = 0; x < std::min(w, old.width()); ++x) image_.setPixel(x, y, old.pixel(x, y));
}

void PictureBox::Move(double left, double top, double width, double height) {
    const bool sized = width != Width() || height != Height();
    Control::Move(left, top, width, height);
    if (sized) {
        fitImage();
        fire(onResize);
    }
}

platform::Bitmap& PictureBox::image() {
    fitImage();
    return image_;
}

void PictureBox::Cls() {
    fitImage();
    image_.clear(resolveColor(BackColor()));
    if (!picture_.empty())
        for (int y = 0; y < std::min(image_.height(), picture_.height()); ++y)
            for (int x = 0; x < std::min(image_.width(), picture_.width()); ++x)
                image_.setPixel(x, y, picture_.pixel(x, y));
    notify(Prop::Picture);
}

void PictureBox::Line(double x1, double y1, double x2, double y2, long long colour) {
    const std::uint32_t c = colour < 0 ? resolveColor(ForeColor()) : static_cast<std::uint32_t>(colour) & 0xFFFFFF;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    image().line(px(toPxX(x1)), px(toPxY(y1)), px(toPxX(x2)), px(toPxY(y2)), c);
    notify(Prop::Picture);
}

void PictureBox::LineBF(double x1, double y1, double x2, double y2, long long colour) {
    const std::uint32_t c = colour < 0 ? resolveColor(ForeColor()) : static_cast<std::uint32_t>(colour) & 0xFFFFFF;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    const int ax = px(toPxX(std::min(x1, x2))), ay = px(toPxY(std::min(y1, y2)));
    const int bx = px(toPxX(std::max(x1, x2))), by = px(toPxY(std::max(y1, y2)));
    image().fillRect(ax, ay, bx - ax + 1, by - ay + 1, c);
    notify(Prop::Picture);
}

void PictureBox::setPicture(const platform::Bitmap& picture) {
    picture_ = picture;
    Cls();
}

void PictureBox::clearPicture() {
    picture_ = platform::Bitmap();
    Cls();
}

void PictureBox::Refresh() { notify(Prop::Picture); }

HostedControl::HostedControl(Form* form, std::string name, const char* className, Control* container)
    : Control(form, std::move(name), Kind::Hosted, true, className, container) {}

}  // namespace forms
