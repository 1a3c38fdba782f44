#include "forms/form.h"

#include <algorithm>

#include "forms/application.h"
#include "forms/errors.h"
#include "platform/loop/observers.h"

namespace forms {

namespace {
constexpr double kBorderPx = 4;
constexpr double kCaptionPx = 18;
constexpr double kMenuPx = 19;
}  // namespace

Form::Form(std::string name, std::string caption) : name_(std::move(name)), caption_(std::move(caption)) {
    hwnd_ = platform::WindowRegistry::current().create(
        "ThunderRT6FormDC", caption_, 0, [this](HWND, UINT m, WPARAM w, LPARAM l) { return wndProc(m, w, l); }, false);
    platform::WindowRegistry::current().setUserData(hwnd_, this);
}

Form::~Form() {
    if (hwnd_) platform::WindowRegistry::current().destroy(hwnd_);
}

Control* Form::control(const std::string& name) const {
    // The parts of a hosted control (its own text boxes, timers) are not the form's to name.
    for (Control* c : controls_)
        if (c->name() == name && !(c->container() && c->container()->kind() == Kind::Hosted)) return c;
    return nullptr;
}

void Form::addControl(Control* c) {
    controls_.push_back(c);
    ++controlsSerial_;
}

void Form::removeControl(Control* c) {
    std::erase(controls_, c);
    ++controlsSerial_;
    if (focused_ == c) focused_ = nullptr;
}

bool Form::hasMenus() const {
    return std::any_of(controls_.begin(), controls_.end(), [](Control* c) { return c->kind() == Kind::Menu; });
}

void Form::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    if (hwnd_) platform::WindowRegistry::current().setStoredText(hwnd_, c);
    notify(Prop::Caption);
}

double Form::frameWidthTwips() const { return borderStyle_ == 0 ? 0 : 2 * kBorderPx * kTwipsPerPixel; }

double Form::frameHeightTwips() const {
    double px = borderStyle_ == 0 ? 0 : 2 * kBorderPx + kCaptionPx;
    if (hasMenus()) px += kMenuPx;
    return px * kTwipsPerPixel;
}

double Form::ScaleWidth() const { return windowState_ == 1 ? 0 : std::max(0.0, width_ - frameWidthTwips()); }

double Form::ScaleHeight() const { return windowState_ == 1 ? 0 : std::max(0.0, height_ - frameHeightTwips()); }

void Form::setClientSize(double scaleWidth, double scaleHeight) {
    Move(left_, top_, scaleWidth + frameWidthTwips(), scaleHeight + frameHeightTwips());
}

void Form::Move(double left, double top, double width, double height) {
    // Windows sit on whole pixels and read back snapped.
    auto snap = [](double twips) { return static_cast<double>(static_cast<long long>(twips / kTwipsPerPixel + 0.5)) * kTwipsPerPixel; };
    left = snap(left), top = snap(top), width = snap(std::max(0.0, width)), height = snap(std::max(0.0, height));
    const bool sized = width != width_ || height != height_;
    if (!sized && left == left_ && top == top_) return;
    left_ = left, top_ = top, width_ = width, height_ = height;
    if (hwnd_) {
        platform::WindowRegistry::current().moveWindow(
            hwnd_, static_cast<int>(left / kTwipsPerPixel), static_cast<int>(top / kTwipsPerPixel),
            static_cast<int>(width / kTwipsPerPixel), static_cast<int>(height / kTwipsPerPixel));
    }
    notify(Prop::Geometry);
    if (sized && shownOnce_) fireResize();
}

void Form::setBorderStyle(int s) {
    if (s == borderStyle_) return;
    borderStyle_ = s;
    notify(Prop::Geometry);
}

void Form::applyWindowState() {
    if (windowState_ == 2) {
        restoreLeft_ = left_, restoreTop_ = top_, restoreWidth_ = width_, restoreHeight_ = height_;
        const bool was = shownOnce_;
        shownOnce_ = false;  // one Resize for the state change, not one for the move as well
        Move(0, 0, Application::screenWidthPx() * kTwipsPerPixel, Application::screenHeightPx() * kTwipsPerPixel);
        shownOnce_ = was;
    } else if (windowState_ == 0 && restoreWidth_ > 0) {
        const bool was = shownOnce_;
        shownOnce_ = false;
        Move(restoreLeft_, restoreTop_, restoreWidth_, restoreHeight_);
        shownOnce_ = was;
        restoreWidth_ = 0;
    }
}

void Form::setWindowState(int s) {
    if (s < 0 || s > 2) platform::raise(380);
    if (s == windowState_) return;
    windowState_ = s;
    notify(Prop::WindowState);
    // On a hidden form the state waits for the next Show.
    if (!visible_) return;
    applyWindowState();
    fireResize();
}

void Form::setBackColor(std::uint32_t c) {
    if (c == backColor_) return;
    backColor_ = c;
    notify(Prop::Colors);
}

void Form::fireResize() { Form_Resize(); }

void Form::setVisible(bool v) {
    if (v)
        Show();
    else
        Hide();
}

void Form::Show() {
    const bool first = !shownOnce_;
    if (!visible_) {
        visible_ = true;
        if (windowState_ != 0) applyWindowState();
        platform::WindowRegistry::current().showWindow(hwnd_, platform::SW_SHOWNORMAL);
        notify(Prop::Visible);
    }
    ZOrder();
    if (first) {
        shownOnce_ = true;
        fireResize();
    }
    Form_Activate();
}

void Form::Hide() {
    if (!visible_) return;
    visible_ = false;
    platform::WindowRegistry::current().showWindow(hwnd_, platform::SW_HIDE);
    notify(Prop::Visible);
}

void Form::ZOrder() {
    platform::WindowRegistry::current().setWindowPos(hwnd_, platform::HWND_TOP, 0, 0, 0, 0,
                                                     platform::SWP_NOMOVE | platform::SWP_NOSIZE);
    notify(Prop::ZOrder);
}

void Form::Refresh() { notify(Prop::Other); }

void Form::notify(Prop p) {
    platform::forEachObserver(Application::observers(), [&](FormsObserver* o) { o->formChanged(*this, p); });
}

bool Form::unloadWithHooks(int unloadMode) { return slot_ ? slot_->Unload(unloadMode) : false; }

LRESULT Form::wndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == platform::WM_COMMAND && lParam) {
        // A button's notification to its parent runs that button's Click.
        auto* c = static_cast<Control*>(platform::WindowRegistry::current().userData(static_cast<HWND>(lParam)));
        if (c && c->form() == this && c->kind() == Kind::CommandButton) static_cast<CommandButton*>(c)->setValue(true);
        return 0;
    }
    if (msg == platform::WM_CLOSE) {
        unloadWithHooks(0);
        return 0;
    }
    return platform::defWindowProc(hwnd_, msg, wParam, lParam);
}

void Form::runLoad() {
    loaded_ = true;
    platform::forEachObserver(Application::observers(), [&](FormsObserver* o) { o->formLoaded(*this); });
    Form_Load();
}

void Form::teardown() {
    if (!loaded_) return;
    visible_ = false;
    platform::forEachObserver(Application::observers(), [&](FormsObserver* o) { o->formUnloaded(*this); });
    loaded_ = false;
    for (Control* c : controls_) {
        if (c->kind() == Kind::Timer) static_cast<Timer*>(c)->timer_.setEnabled(false);
        c->destroyWindow();
    }
    if (hwnd_) {
        platform::WindowRegistry::current().destroy(hwnd_);
        hwnd_ = 0;
    }
}

// ---- FormSlotBase ----

FormSlotBase::FormSlotBase(std::string name) : name_(std::move(name)) { Application::formSlots().push_back(this); }

FormSlotBase::~FormSlotBase() {
    std::erase(Application::formSlots(), this);
    instance_.reset();
}

Form& FormSlotBase::form() {
    if (!instance_) {
        instance_ = create();
        instance_->slot_ = this;
        // Touching the form from its own Form_Load finds it loaded.
        instance_->runLoad();
    }
    return *instance_;
}

bool FormSlotBase::Unload(int unloadMode) {
    bool result = true;
    // After the end no unload handler runs; an end inside the hooks leaves the form as it is.
    if (platform::programEnded()) return true;
    platform::runAsEntry([&] { result = unloadNow(unloadMode); });
    return result;
}

bool FormSlotBase::unloadNow(int unloadMode) {
    if (!instance_ || instance_->unloading_) return true;
    Form& f = *instance_;
    f.unloading_ = true;
    int cancel = 0;
    f.Form_QueryUnload(cancel, unloadMode);
    if (cancel == 0 && instance_.get() == &f) f.Form_Unload(cancel);
    if (instance_.get() != &f) return true;  // the hooks ended the program or unloaded it already
    f.unloading_ = false;
    if (cancel != 0) return false;
    f.teardown();
    // Its handlers may still be running: free it once the loop is idle.
    Application::keepUntilIdle(std::move(instance_));
    return true;
}

void FormSlotBase::discard() {
    if (!instance_) return;
    instance_->teardown();
    Application::keepUntilIdle(std::move(instance_));
}

}  // namespace forms
