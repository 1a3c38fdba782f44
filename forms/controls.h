// The control kinds of the forms runtime, with the runtime's event order: a write that raises an
// event runs the handler to its end before the writing statement finishes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "platform/graphics.h"
#include "platform/eventloop.h"

namespace forms {

class TextBox : public Control {
public:
    TextBox(Form* form, std::string name, Control* container = nullptr);
    ~TextBox() override;
    const std::string& Text() const { return text_; }
    // Change runs only when the text differs. Text from code is cut to MaxLength.
    void setText(const std::string& text);
    TextBox& operator=(const std::string& text) {
        setText(text);
        return *this;
    }
    int MaxLength = 0;
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    bool Locked = false;
    bool MultiLine = false;
    int SelStart() const { return selStart_; }
    void setSelStart(int pos);

    // The operator typing: KeyDown, KeyPress (a zeroed KeyAscii swallows the key), the edit, KeyUp.
    void userKey(int keyCode, int keyAscii, int shift = 0);
    // The operator's edit replacing the whole text (typing, pasting, deleting).
    void userEdit(const std::string& text);

    std::function<void()> onChange;
    std::function<void(int& keyCode, int shift)> onKeyDown, onKeyUp;
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void()> onClick, onDblClick;

    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void store(const std::string& text);
    std::string text_;
    int selStart_ = 0;
};

class Label : public Control {
public:
    Label(Form* form, std::string name, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    Label& operator=(const std::string& c) {
        setCaption(c);
        return *this;
    }
    // Repaints the label's area at once.
    void Refresh() { notify(Prop::Other); }
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    bool AutoSize = false;
    int BackStyle = 1;  // 0 transparent
    std::function<void()> onClick, onDblClick, onChange;

private:
    std::string caption_;
};

class CommandButton : public Control {
public:
    CommandButton(Form* form, std::string name, std::string caption, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    // Value = True presses the button: Click runs at once. Reading gives False.
    void setValue(bool v);
    bool Value() const { return false; }
    // The operator's click: the focused text box loses the focus first.
    void userClick();
    std::function<void()> onClick;
    std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseUp;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    bool down_ = false;
};

class CheckBox : public Control {
public:
    CheckBox(Form* form, std::string name, std::string caption, int value = 0, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    int Value() const { return value_; }
    // 0, 1 or 2; anything else raises 380. A different value runs Click.
    void setValue(int v);
    void userClick();
    std::function<void()> onClick;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    int value_;
    bool down_ = false;
};

// Option buttons with the same container (form, frame or picture box) form one group.
class OptionButton : public Control {
public:
    OptionButton(Form* form, std::string name, std::string caption, bool value = false, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    bool Value() const { return value_; }
    // True clears the others of the group and runs Click (not when already selected).
    void setValue(bool v);
    void userClick();
    std::function<void()> onClick;
    LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::string caption_;
    bool value_;
};

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

class ScrollBar : public Control {
public:
    ScrollBar(Form* form, std::string name, bool horizontal, int min, int max, int value, Control* container = nullptr);
    int Value() const { return value_; }
    // Outside the range (Min may exceed Max) raises 380 and changes nothing; beyond 16 bits 6.
    void setValue(long long v);
    int Min() const { return min_; }
    int Max() const { return max_; }
    // The value is clamped into the new range, with Change when that moves it.
    void setMin(long long v);
    void setMax(long long v);
    int SmallChange = 1;
    int LargeChange = 1;
    // The operator: an arrow or track click (one Change), or a thumb drag (Scroll while moving).
    void userStep(int delta);
    void userDrag(int value, bool released);
    std::function<void()> onChange, onScroll;

private:
    int min_, max_, value_;
};

class Timer : public Control {
public:
    Timer(Form* form, std::string name, int interval, bool enabled, Control* container = nullptr);
    int Interval() const { return timer_.interval(); }
    // 0..65535 (else 380); writing it restarts the count; 0 never ticks.
    void setInterval(long long ms);
    bool Enabled() const { return timer_.enabled(); }
    // Enabling a stopped timer starts a fresh full interval; a running one keeps its count.
    void setEnabled(bool on);
    std::function<void()> onTimer;

private:
    friend class Form;
    platform::LoopTimer timer_;
};

class Frame : public Control {
public:
    Frame(Form* form, std::string name, std::string caption, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);

private:
    std::string caption_;
};

class Menu : public Control {
public:
    // parent: the menu this item sits in (nullptr: a title of the menu bar).
    Menu(Form* form, std::string name, std::string caption, Menu* parent = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    Menu* parentMenu() const { return parent_; }
    bool Checked() const { return checked_; }
    void setChecked(bool c);
    void userClick();
    std::function<void()> onClick;

private:
    std::string caption_;
    Menu* parent_;
    bool checked_ = false;
};

class Shape : public Control {
public:
    Shape(Form* form, std::string name, int shape = 0, Control* container = nullptr);
    int ShapeKind;  // 0 rectangle, 1 square, 2 oval, 3 circle
    int FillStyle = 1;  // 1 transparent, 0 solid
    std::uint32_t FillColor = 0;
    std::uint32_t BorderColor = 0;
    void setFillColor(std::uint32_t c);
};

class LineControl : public Control {
public:
    LineControl(Form* form, std::string name, double x1, double y1, double x2, double y2, Control* container = nullptr);
    double X1, Y1, X2, Y2;
    std::uint32_t BorderColor = 0;
};

class FileListBox : public ListBox {
public:
    FileListBox(Form* form, std::string name, Control* container = nullptr);
    const std::string& Path() const { return path_; }
    // A missing folder raises 76 and changes nothing.
    void setPath(const std::string& path);
    const std::string& Pattern() const { return pattern_; }
    void setPattern(const std::string& pattern);
    // The selected name without folder, "" when none.
    std::string FileName() const { return Text(); }
    void Refresh();
    std::function<void()> onPathChange, onPatternChange;

private:
    std::string path_;
    std::string pattern_ = "*.*";
};

// The folder list: the folders from the file-system root down to the current one (indexes
// -Ancestors .. -1, the current folder -1), then the current folder's sub-folders (0 ..
// ListCount-1). Every List(i) is a full path. Paths inside the program folder are written as the
// program writes them: the program folder's path, then "\" between folders; others as the
// system writes them.
class DirListBox : public ListBox {
public:
    DirListBox(Form* form, std::string name, Control* container = nullptr);
    const std::string& Path() const { return path_; }
    // Change when the path differs; a missing folder raises 76.
    void setPath(const std::string& path);
    std::string List(int index) const override;
    // The number of rows above the sub-folders (the root, each folder on the way, the current one).
    int ancestorCount() const { return static_cast<int>(ancestors_.size()); }
    // What a row shows: the folder's own name ("/" for the root).
    std::string rowName(int index) const;
    // Opens the marked row: Path := List(ListIndex). Double click and Enter do this.
    void openMarked();
    std::function<void()> onChange;

protected:
    int lowestIndex() const override { return -ancestorCount(); }
    void userSelect(int index, int shift) override;
    void userOpen() override { openMarked(); }
    void userMoveTo(int index) override;

private:
    void fill();
    std::string path_;
    std::vector<std::string> ancestors_;
};

// A picture box with a persistent image (AutoRedraw): drawing goes into the image and shows at
// the next paint or at once on Refresh. Drawing coordinates are in its ScaleMode units (pixels or
// twips); its own geometry stays in its container's units.
class PictureBox : public Control {
public:
    PictureBox(Form* form, std::string name, Control* container = nullptr);
    int ScaleMode() const { return scaleMode_; }
    // 1 twips, 3 pixels.
    void setScaleMode(int mode);
    double ScaleWidth() const;
    double ScaleHeight() const;
    bool AutoRedraw = true;
    int BorderStyle = 1;  // 1: a 2-pixel sunken border inside the box
    int DrawWidth = 1;
    // Fills with BackColor, shows the Picture again.
    void Cls();
    // Line (x1,y1)-(x2,y2) in ScaleMode units, ForeColor when colour is negative.
    void Line(double x1, double y1, double x2, double y2, long long colour = -1);
    // A filled box (Line ..., BF).
    void LineBF(double x1, double y1, double x2, double y2, long long colour = -1);
    // The persistent image, in pixels of the inner area; what GDI-style code draws into.
    platform::Bitmap& image();
    const platform::Bitmap& image() const { return image_; }
    // The background picture; assigning it replaces the persistent image (drawing gone).
    const platform::Bitmap& Picture() const { return picture_; }
    void setPicture(const platform::Bitmap& picture);
    void clearPicture();
    // Shows the image now (the view repaints).
    void Refresh();
    void Move(double left, double top, double width, double height) override;
    int innerWidthPx() const;
    int innerHeightPx() const;
    std::function<void()> onClick, onDblClick, onPaint, onResize;
    std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseMove, onMouseUp;

private:
    void fitImage();
    double toPxX(double v) const;
    double toPxY(double v) const;
    int scaleMode_ = 1;
    platform::Bitmap image_;
    platform::Bitmap picture_;
};

// A control of another library placed on a form (the audio control, the movie player). One that
// paints itself renders its picture when the view asks, at the display's rate.
class HostedControl : public Control {
public:
    HostedControl(Form* form, std::string name, const char* className, Control* container = nullptr);
    virtual bool paints() const { return false; }
    virtual void paint(platform::Bitmap& /*target*/, int /*widthPx*/, int /*heightPx*/) {}
    // Whether a paint at nowNs (the loop's clock) could draw anything other than the last paint
    // did at the same size. The view skips the paint and the screen update when it could not.
    virtual bool needsRepaint(std::int64_t /*nowNs*/) { return true; }
    // After a paint into the target the last paint drew into: adds the pixel spans of rows that
    // can differ from what that paint left, and returns true; false when any pixel can.
    struct Span {
        int y, x0, x1;
    };
    virtual bool changedSpans(std::vector<Span>& /*out*/) const { return false; }
};

}  // namespace forms
