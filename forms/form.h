// A window of the program: a class derived from Form with its controls as members and its
// handlers as member functions, reached through its single global instance (FormSlot), which
// loads it hidden on first touch and builds a fresh one with design values after an unload.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "forms/controls/buttons.h"
#include "forms/controls/filelists.h"
#include "forms/controls/hosted.h"
#include "forms/controls/label.h"
#include "forms/controls/listbox.h"
#include "forms/controls/picturebox.h"
#include "forms/controls/scrollbar.h"
#include "forms/controls/shapes.h"
#include "forms/controls/textbox.h"
#include "forms/controls/timer.h"

namespace forms {

class FormSlotBase;

class Form {
public:
    Form(std::string name, std::string caption);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& name() const { return name_; }
    HWND hWnd() const { return hwnd_; }
    // Every control, in creation order.
    const std::vector<Control*>& Controls() const { return controls_; }
    // Moves on whenever a control is added or removed: Controls() is unchanged while it stays.
    std::uint64_t controlsSerial() const { return controlsSerial_; }
    Control* control(const std::string& name) const;

    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);

    // Outer frame, twips, screen-relative.
    double Left() const { return left_; }
    double Top() const { return top_; }
    double Width() const { return width_; }
    double Height() const { return height_; }
    void Move(double left, double top, double width, double height);
    void setLeft(double v) { Move(v, top_, width_, height_); }
    void setTop(double v) { Move(left_, v, width_, height_); }
    void setWidth(double v) { Move(left_, top_, v, height_); }
    void setHeight(double v) { Move(left_, top_, width_, v); }
    // Sets the outer size from a wanted inner size (twips).
    void setClientSize(double scaleWidth, double scaleHeight);
    // Inner area in twips (0 while minimised).
    double ScaleWidth() const;
    double ScaleHeight() const;

    // 0 none (no frame, no caption), 1 fixed, 2 sizable.
    int BorderStyle() const { return borderStyle_; }
    void setBorderStyle(int s);
    bool ControlBox = true;
    bool KeyPreview = false;
    // An object-valued property that is copied between windows and changes nothing visible.
    std::string Icon = "korvella";

    // 0 normal, 1 minimised, 2 maximised. Written on a hidden form it applies at the next Show.
    int WindowState() const { return windowState_; }
    void setWindowState(int s);
    std::uint32_t BackColor() const { return backColor_; }
    void setBackColor(std::uint32_t c);

    bool Visible() const { return visible_; }
    void setVisible(bool v);
    void Show();
    void Hide();
    // Brings the window to the front (the view follows).
    void ZOrder();
    // Repaint request for the view.
    void Refresh();

    bool isLoaded() const { return loaded_; }
    bool hasMenus() const;
    bool isUnloading() const { return unloading_; }
    Control* focused() const { return focused_; }

    virtual void Form_Load() {}
    virtual void Form_QueryUnload(int& /*cancel*/, int /*unloadMode*/) {}
    virtual void Form_Unload(int& /*cancel*/) {}
    virtual void Form_Resize() {}
    virtual void Form_Activate() {}
    virtual void Form_KeyDown(int& /*keyCode*/, int /*shift*/) {}

    // Unload with the hooks; false when one of them cancelled. unloadMode 0: the close box.
    bool unloadWithHooks(int unloadMode);

    void notify(Prop p);
    virtual LRESULT wndProc(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    friend class Control;
    friend class FormSlotBase;
    void addControl(Control* c);
    void removeControl(Control* c);
    void setFocused(Control* c) { focused_ = c; }
    void runLoad();
    void teardown();
    void fireResize();
    double frameWidthTwips() const;
    double frameHeightTwips() const;
    void applyWindowState();

    FormSlotBase* slot_ = nullptr;

    std::string name_;
    std::string caption_;
    HWND hwnd_ = 0;
    std::vector<Control*> controls_;
    std::uint64_t controlsSerial_ = 0;
    Control* focused_ = nullptr;
    double left_ = 0, top_ = 0, width_ = 4800, height_ = 3600;
    double restoreLeft_ = 0, restoreTop_ = 0, restoreWidth_ = 0, restoreHeight_ = 0;
    int borderStyle_ = 2;
    int windowState_ = 0;
    std::uint32_t backColor_ = kButtonFace;
    bool visible_ = false;
    bool loaded_ = false;
    bool unloading_ = false;
    bool shownOnce_ = false;
};

// The single global instance of one window class.
class FormSlotBase {
public:
    explicit FormSlotBase(std::string name);
    virtual ~FormSlotBase();
    FormSlotBase(const FormSlotBase&) = delete;
    FormSlotBase& operator=(const FormSlotBase&) = delete;

    const std::string& name() const { return name_; }
    bool isLoaded() const { return instance_ != nullptr; }
    // The loaded instance, loading it hidden first if needed.
    Form& form();
    Form* peek() const { return instance_.get(); }
    void Load() { form(); }
    void Show() { form().Show(); }
    void Hide() { form().Hide(); }
    // Unload statement (mode 1) or close box (mode 0): QueryUnload, Unload, then the window
    // and its controls are gone; false when cancelled. Unloading an unloaded form does nothing.
    bool Unload(int unloadMode = 1);
    // Drops the instance without any handler (program end, test teardown).
    void discard();

protected:
    virtual std::unique_ptr<Form> create() = 0;

private:
    bool unloadNow(int unloadMode);
    std::string name_;
    std::unique_ptr<Form> instance_;
};

template <class F>
class FormSlot : public FormSlotBase {
public:
    explicit FormSlot(std::string name) : FormSlotBase(std::move(name)) {}
    F& operator()() { return static_cast<F&>(form()); }
    F* operator->() { return &static_cast<F&>(form()); }
    F* peekAs() const { return static_cast<F*>(peek()); }

protected:
    std::unique_ptr<Form> create() override { return std::make_unique<F>(); }
};

}  // namespace forms
