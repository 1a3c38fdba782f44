#include "forms/controls/listbox.h"

#include <algorithm>
#include <cctype>

#include "forms/form.h"
#include "platform/error.h"

namespace forms {

using platform::raise;

namespace {
std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

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

}  // namespace forms
