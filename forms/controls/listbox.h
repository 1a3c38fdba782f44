// List boxes and drop-down lists: rows, selection by the MultiSelect rules, the operator's mouse and keys.
#pragma once
#include <string>
#include <vector>

#include "forms/control.h"

namespace forms {

class ListBox : public Control {
public:
    ListBox(Form* form, std::string name, Control* container = nullptr, Kind kind = Kind::ListBox,
            const char* className = "ThunderRT6ListBox");
    // Appends, or inserts at 0..ListCount (else 5); a selection at or after it moves with its item.
    void AddItem(const std::string& item, int index = -1);
    void RemoveItem(int index);
    void Clear();
    // "" for ListCount and beyond and for -1; below -1 raises 381.
    virtual std::string List(int index) const;
    void setList(int index, const std::string& item);
    int ListCount() const { return static_cast<int>(items_.size()); }
    int ListIndex() const { return listIndex_; }
    // -1..ListCount-1 (else 380); Click only when it changes.
    void setListIndex(int index);
    bool Selected(int index) const;
    void setSelected(int index, bool on);
    int SelCount() const;
    int TopIndex() const { return topIndex_; }
    void setTopIndex(int index);
    std::string Text() const { return List(listIndex_); }
    // 0 single, 1 simple, 2 extended.
    int MultiSelect = 0;
    const std::vector<std::string>& items() const { return items_; }

    // The operator's mouse. A press on a row (-1: below the last row) raises MouseDown with the
    // button (1 left, 2 right, 4 middle) and the Shift bits (1 Shift, 2 Ctrl, 4 Alt), X and Y in
    // twips from the list's corner; only the left button selects, by the MultiSelect rules, and
    // raises Click, also on the row already selected. The second press of a double click raises
    // DblClick and leaves the selection as the first press made it.
    void userMouseDown(int index, int button, int shift = 0, double x = 0, double y = 0);
    void userMouseUp(int button, int shift = 0, double x = 0, double y = 0);
    void userDblClick();
    // Press and release of the left button on a row; twice for a double click; the right button.
    void userClickRow(int index, int shift = 0);
    void userDblClickRow(int index, int shift = 0);
    void userRightClickRow(int index, int shift = 0);
    // A key on the list: KeyDown, then (unless the handler zeroed the code) the arrow, page, Home
    // and End keys move a single selection with Click; pageRows is what one page shows.
    void userKeyDown(int keyCode, int shift = 0, int pageRows = 1);

    std::function<void()> onClick, onDblClick;
    std::function<void(int& keyCode, int shift)> onKeyDown, onKeyUp;
    std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseUp;

    // What the view follows: rows changed one by one since the last look (row, +1 inserted,
    // -1 removed, 0 rewritten), or the whole list (after Clear or a refill).
    struct RowChange {
        int row;
        int what;
    };
    // Takes the row changes waiting; false when the whole list must be read again.
    bool takeRowChanges(std::vector<RowChange>& out);

protected:
    // The lowest ListIndex (a folder list marks its ancestors with negative indexes).
    virtual int lowestIndex() const { return -1; }
    // A left press on a row (index in lowestIndex()..ListCount-1).
    virtual void userSelect(int index, int shift);
    // The second press of a double click, before DblClick runs.
    virtual void userOpen() {}
    // The single-selection move of the navigation keys.
    virtual void userMoveTo(int index);
    // The rows were replaced as a whole.
    void rowsReplaced();
    // Marks every row but index unselected and index selected.
    void selectOnly(int index);

    std::vector<std::string> items_;
    std::vector<bool> selected_;
    int listIndex_ = -1;
    int topIndex_ = 0;
    int anchor_ = -1;

private:
    void rowChanged(int row, int what);
    std::vector<RowChange> rowChanges_;
    bool allRows_ = true;
    bool pressed_ = false;
};

// A drop-down list: the text is always one of its items, or empty.
class ComboBox : public ListBox {
public:
    ComboBox(Form* form, std::string name, Control* container = nullptr);
    // An item's text (case ignored) selects it; any other text raises 383; "" clears the choice.
    void setText(const std::string& text);
    int Style = 2;
};

}  // namespace forms
