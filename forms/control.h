// The base of every control: a name, the form it belongs to, geometry in its container's units
// (twips unless the container works in pixels), colours, font, visibility, and, for windowed kinds,
// a window in the registry whose default procedure turns messages into the control's events.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/loop/eventloop.h"
#include "platform/windows/windows.h"

namespace forms {

class Form;
class Control;

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

enum class Kind {
    TextBox, Label, CommandButton, CheckBox, OptionButton, ListBox, ComboBox, HScrollBar, VScrollBar,
    Timer, PictureBox, Frame, Menu, FileListBox, DirListBox, Shape, Line, Hosted
};

// What changed on a control or form, for the view.
enum class Prop {
    Text, Caption, Value, Visible, Enabled, Geometry, Colors, Font, Items, Selection, Range, Picture,
    Interval, WindowState, ZOrder, Other
};

inline constexpr double kTwipsPerPixel = 15.0;
inline std::uint32_t RGB(int r, int g, int b) {
    auto c = [](int v) { return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return c(r) | (c(g) << 8) | (c(b) << 16);
}
inline constexpr std::uint32_t kButtonFace = 0x8000000F;
inline constexpr std::uint32_t kWindowBackground = 0x80000005;
inline constexpr std::uint32_t kWindowText = 0x80000008;
// A system colour index (&H80000000 + n) as the classic desktop scheme paints it.
std::uint32_t resolveColor(std::uint32_t color);

struct Font {
    std::string name = "MS Sans Serif";
    double size = 8.25;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const Font&) const = default;
};

class Control {
public:
    Control(Form* form, std::string name, Kind kind, bool windowed, const char* className, Control* container = nullptr);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    Kind kind() const { return kind_; }
    Form* form() const { return form_; }
    Control* container() const { return container_; }
    // 0 for windowless kinds (labels, timers, shapes, lines, menus).
    HWND hWnd() const { return hwnd_; }

    double Left() const { return left_; }
    double Top() const { return top_; }
    double Width() const { return width_; }
    double Height() const { return height_; }
    void setLeft(double v) { Move(v, top_, width_, height_); }
    void setTop(double v) { Move(left_, v, width_, height_); }
    void setWidth(double v) { Move(left_, top_, v, height_); }
    void setHeight(double v) { Move(left_, top_, width_, v); }
    virtual void Move(double left, double top, double width, double height);

    bool Visible() const { return visible_; }
    void setVisible(bool v);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool v);
    std::uint32_t BackColor() const { return backColor_; }
    void setBackColor(std::uint32_t c);
    std::uint32_t ForeColor() const { return foreColor_; }
    void setForeColor(std::uint32_t c);
    const Font& font() const { return font_; }
    void setFont(const Font& f);
    double FontSize() const { return font_.size; }
    void setFontSize(double s);
    void setFontBold(bool b);
    std::string Tag;
    int TabIndex = 0;

    // Input focus: the form's focused control loses it (LostFocus) before this one gets it.
    void SetFocus();
    std::function<void()> onGotFocus, onLostFocus;

    // Tells the view (and other observers) that a property changed.
    void notify(Prop p);

    // The registry's procedure for this control's window; a replaced procedure bypasses it.
    virtual LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    void setWindowText(const std::string& text);
    // Runs an event handler if one is set and the program has not ended.
    template <class F, class... A>
    static void fire(const F& f, A&&... a) {
        if (!f || platform::programEnded()) return;
        platform::runAsEntry([&] { f(std::forward<A>(a)...); });
    }

private:
    friend class Form;
    void destroyWindow();

    Form* form_;
    std::string name_;
    Kind kind_;
    Control* container_;
    HWND hwnd_ = 0;
    double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::uint32_t backColor_ = kButtonFace;
    std::uint32_t foreColor_ = kWindowText;
    Font font_;
};

}  // namespace forms
