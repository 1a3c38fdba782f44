#include "gui/view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "gui/bindings.h"
#include "gui/keys.h"
#include "platform/loop/cpu_meter.h"

namespace gui {

using detail::Binding;
using forms::Kind;
using forms::Prop;

namespace {

View* g_current = nullptr;

int px(double twips) { return static_cast<int>(std::lround(twips / forms::kTwipsPerPixel)); }
double twips(int pixels) { return pixels * forms::kTwipsPerPixel; }

class Filter final : public QObject {
public:
    explicit Filter(std::function<bool(QObject*, QEvent*)> fn) : fn_(std::move(fn)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return fn_(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> fn_;
};

}  // namespace

class FormView;

// The top-level window of a form: an optional menu bar over the client area that holds the
// controls. The outer frame is the window system's; the runtime's Width/Height count it.
class FormWindow final : public QWidget {
public:
    explicit FormWindow(FormView* owner) : QWidget(nullptr, Qt::Window), owner(owner) {
        client = new QWidget(this);
        client->setObjectName(QStringLiteral("client"));
    }

    void layoutInside() {
        const int barHeight = bar ? View::kMenuBarPx : 0;
        if (bar) bar->setGeometry(0, 0, width(), barHeight);
        client->setGeometry(0, barHeight, width(), std::max(0, height() - barHeight));
    }

    FormView* owner;
    QWidget* client;
    QMenuBar* bar = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

// What the view keeps for one loaded form.
class FormView {
public:
    FormView(View::Impl& view, forms::Form& form);
    ~FormView();
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    forms::Form& form;
    FormWindow* window;

    Binding* binding(const forms::Control* c) const {
        auto it = bindings_.find(c);
        return it == bindings_.end() ? nullptr : it->second.get();
    }
    QAction* action(const forms::Control* m) const {
        auto it = actions_.find(m);
        return it == actions_.end() ? nullptr : it->second;
    }
    bool owns(platform::HWND hwnd) const;

    void syncForm(Prop prop);
    void syncControl(forms::Control& c, Prop prop);
    // Writes the property changes held back since the last time into the widgets.
    void applyPending();
    bool hasPending() const { return !pending_.empty(); }
    // Whether the window can show anything now (not hidden, not minimised).
    bool onScreen() const { return window->isVisible() && !window->isMinimized(); }
    // Follows controls made or dropped after the form was loaded.
    void reconcile();
    void renderFrames(std::int64_t nowNs);
    void applyFlags();

    // From the window.
    void closeBox();
    void windowMovedOrResized();
    void windowStateChanged();
    void formKey(QKeyEvent* e);

private:
    struct Applying {
        explicit Applying(FormView* f) : f(f) { ++f->applying_; }
        ~Applying() { --f->applying_; }
        FormView* f;
    };

    void build();
    void applyPending(const forms::Control* c);
    Binding* makeBinding(forms::Control& c);
    void dropBinding(const forms::Control* c);
    void buildMenus();
    void menuClick(forms::Menu* m);
    void syncMenu(forms::Menu& m);
    void restack();
    void applyGeometry();
    void applyVisibility();
    void applyColors();
    void fillScreen(bool moveForm);
    void openInsideScreen();
    std::optional<QRect> placeBesideWindows(const QRect& outer) const;
    static QRect fitInside(const QRect& outer, const QRect& room, bool scale);
    QScreen* screenOfWindow() const;

    View::Impl& view_;
    std::vector<forms::Control*> known_;
    std::uint64_t knownSerial_ = 0;
    std::unordered_map<const forms::Control*, std::unique_ptr<Binding>> bindings_;
    std::unordered_map<const forms::Control*, QAction*> actions_;
    std::unique_ptr<QObject> menuContext_;
    QPointer<QScreen> fullScreenOn_;
    bool opened_ = false;
    int applying_ = 0;
    // Changes that only alter what a widget shows wait for the next frame, the operator's next
    // input or a look at the widgets: a box rewritten thousands of times a second is set once a
    // frame. Per control the props changed (a bit each), in the order the controls first changed.
    std::unordered_map<const forms::Control*, unsigned> pending_;
    std::vector<const forms::Control*> pendingOrder_;
};

namespace {

constexpr unsigned bit(Prop p) { return 1u << static_cast<unsigned>(p); }
// Props whose change only alters the look of the control's own widget, in the order applied
// (a list's rows before its selection; its TopIndex follows the selection scrolled into view).
constexpr Prop kDeferred[] = {Prop::Font,  Prop::Colors, Prop::Caption,   Prop::Text,    Prop::Value,
                              Prop::Items, Prop::Selection, Prop::Picture, Prop::Other};
constexpr bool deferred(Prop p) {
    for (Prop d : kDeferred)
        if (d == p) return true;
    return false;
}

}  // namespace

struct View::Impl {
    Impl(View& self, platform::EventLoop& loop, platform::WindowRegistry& windows)
        : self(self), loop(loop), windows(windows) {}

    View& self;
    platform::EventLoop& loop;
    platform::WindowRegistry& windows;
    std::unordered_map<const forms::Form*, std::unique_ptr<FormView>> forms;
    std::vector<QPointer<QWidget>> graveyard;
    double nextFrameMs = -1;
    QObject context;
    std::unique_ptr<Filter> mouseWatch;
    QPointF lastPressGlobal;

    struct Drag {
        QPointer<QWidget> window;
        QPointF startGlobal;
        QPoint startPos;
    };
    std::optional<Drag> drag;

    FormView* find(const forms::Form* f) const {
        auto it = forms.find(f);
        return it == forms.end() ? nullptr : it->second.get();
    }
    // onScreenOnly: the frame's writes, which leave the windows that show nothing (hidden or
    // minimised) waiting until they show again or their widgets are looked at.
    void applyPending(bool onScreenOnly = false) {
        auto due = [onScreenOnly](const FormView& fv) { return fv.hasPending() && (!onScreenOnly || fv.onScreen()); };
        if (std::none_of(forms.begin(), forms.end(), [&](auto& entry) { return due(*entry.second); })) return;
        std::vector<const forms::Form*> keys;
        for (auto& [f, fv] : forms)
            if (due(*fv)) keys.push_back(f);
        // A widget written may hand a value back to the runtime; a form gone meanwhile is skipped.
        for (const forms::Form* f : keys)
            if (FormView* fv = find(f)) fv->applyPending();
    }
    FormView* findByHandle(platform::HWND hwnd) const {
        for (auto& [f, fv] : forms)
            if (fv->owns(hwnd)) return fv.get();
        return nullptr;
    }
    // Widgets leave only when no handler of theirs can still be running.
    void bury(QWidget* w) {
        if (!w) return;
        w->hide();
        graveyard.emplace_back(w);
    }
    void reportScreen() {
        if (QScreen* s = QGuiApplication::primaryScreen())
            forms::Application::setScreenSize(s->geometry().width(), s->geometry().height());
    }
};

// ---- FormWindow ----

void FormWindow::closeEvent(QCloseEvent* e) {
    // The runtime decides: QueryUnload and Unload may cancel, and an unloaded form's window goes.
    e->ignore();
    if (owner) owner->closeBox();
}

void FormWindow::resizeEvent(QResizeEvent*) {
    layoutInside();
    if (owner) owner->windowMovedOrResized();
}

void FormWindow::moveEvent(QMoveEvent*) {
    if (owner) owner->windowMovedOrResized();
}

void FormWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && owner) owner->windowStateChanged();
}

void FormWindow::keyPressEvent(QKeyEvent* e) {
    if (owner) owner->formKey(e);
    QWidget::keyPressEvent(e);
}

// ---- FormView ----

FormView::FormView(View::Impl& view, forms::Form& f) : form(f), window(new FormWindow(this)), view_(view) {
    window->setObjectName(detail::toQString(f.name()));
    build();
}

FormView::~FormView() {
    window->owner = nullptr;
    bindings_.clear();
    menuContext_.reset();
    view_.bury(window);
}

bool FormView::owns(platform::HWND hwnd) const {
    if (!hwnd) return false;
    if (form.hWnd() == hwnd) return true;
    for (auto* c : known_)
        if (c->hWnd() == hwnd) return true;
    return false;
}

void FormView::build() {
    known_ = form.Controls();
    knownSerial_ = form.controlsSerial();
    for (auto* c : known_) makeBinding(*c);
    buildMenus();
    restack();
    applyFlags();
    applyColors();
    window->setWindowTitle(detail::toQString(form.Caption()));
    applyGeometry();
    applyVisibility();
}

Binding* FormView::makeBinding(forms::Control& c) {
    if (auto* b = binding(&c)) return b;
    QWidget* parent = window->client;
    if (forms::Control* box = c.container()) {
        // Containers come first in a form's controls; a late one is made on the way.
        if (box->form() == &form && std::find(known_.begin(), known_.end(), box) != known_.end())
            if (Binding* cb = makeBinding(*box)) parent = cb->widget();
    }
    auto b = detail::makeBinding(c, parent);
    if (!b) return nullptr;
    Binding* raw = b.get();
    bindings_[&c] = std::move(b);
    return raw;
}

void FormView::dropBinding(const forms::Control* c) {
    auto it = bindings_.find(c);
    if (it == bindings_.end()) return;
    QWidget* w = it->second->widget();
    bindings_.erase(it);
    pending_.erase(c);
    view_.bury(w);
}

void FormView::restack() {
    // Labels, shapes and lines are drawn on their container, below every windowed control.
    for (auto it = known_.rbegin(); it != known_.rend(); ++it)
        if (Binding* b = binding(*it); b && b->windowless()) b->widget()->lower();
}

void FormView::buildMenus() {
    const bool hadBar = window->bar != nullptr;
    actions_.clear();
    menuContext_ = std::make_unique<QObject>();
    if (window->bar) {
        view_.bury(window->bar);
        window->bar = nullptr;
    }
    std::vector<forms::Menu*> menus;
    std::unordered_set<const forms::Menu*> parents;
    for (auto* c : known_) {
        if (c->kind() != Kind::Menu) continue;
        auto* m = static_cast<forms::Menu*>(c);
        menus.push_back(m);
        if (m->parentMenu()) parents.insert(m->parentMenu());
    }
    if (!menus.empty()) {
        window->bar = new QMenuBar(window);
        window->bar->setNativeMenuBar(false);
        window->bar->show();
        std::unordered_map<const forms::Menu*, QMenu*> submenus;
        // Parents before children, whatever the order the controls were made in.
        std::function<void(forms::Menu*)> add = [&](forms::Menu* m) {
            if (actions_.count(m)) return;
            forms::Menu* parent = m->parentMenu();
            if (parent && !actions_.count(parent)) add(parent);
            QMenu* into = parent ? submenus[parent] : nullptr;
            QAction* entry;
            if (parents.count(m)) {
                auto* sub = new QMenu(into ? static_cast<QWidget*>(into) : window->bar);
                if (into)
                    into->addMenu(sub);
                else
                    window->bar->addMenu(sub);
                submenus[m] = sub;
                entry = sub->menuAction();
                // A menu title runs its Click as it opens, before its items show.
                QObject::connect(sub, &QMenu::aboutToShow, menuContext_.get(), [this, m] { menuClick(m); });
            } else {
                entry = new QAction(into ? static_cast<QObject*>(into) : window->bar);
                if (into)
                    into->addAction(entry);
                else
                    window->bar->addAction(entry);
                QObject::connect(entry, &QAction::triggered, menuContext_.get(), [this, m] { menuClick(m); });
            }
            entry->setObjectName(detail::toQString(m->name()));
            actions_[m] = entry;
            syncMenu(*m);
        };
        for (auto* m : menus) add(m);
    }
    window->layoutInside();
    if (hadBar != (window->bar != nullptr)) applyGeometry();
}

void FormView::menuClick(forms::Menu* m) {
    View::Impl* view = &view_;
    const forms::Form* f = &form;
    FormView* self = this;
    detail::userInput([m] { m->userClick(); });
    // The click may have unloaded the form, and this with it.
    if (view->find(f) == self && self->action(m)) self->syncMenu(*m);
}

void FormView::syncMenu(forms::Menu& m) {
    QAction* a = action(&m);
    if (!a) return;
    a->setSeparator(m.Caption() == "-");
    a->setText(detail::toQString(m.Caption()));
    a->setVisible(m.Visible());
    a->setEnabled(m.Enabled());
    a->setCheckable(m.Checked());
    a->setChecked(m.Checked());
}

void FormView::syncControl(forms::Control& c, Prop prop) {
    // A control made after the load is picked up by the next pump, once fully built.
    if (c.kind() == Kind::Menu) {
        if (action(&c)) syncMenu(static_cast<forms::Menu&>(c));
        return;
    }
    Binding* b = binding(&c);
    if (!b) return;
    if (deferred(prop)) {
        auto [it, first] = pending_.try_emplace(&c, 0u);
        if (first) pendingOrder_.push_back(&c);
        it->second |= bit(prop);
        return;
    }
    // What waits for this control goes first, so that its widget sees the changes in order.
    applyPending(&c);
    if (binding(&c) != b) return;
    b->sync(prop);
    // A picture box's inner offset moves its children with it.
    if (prop == Prop::Geometry && c.kind() == Kind::PictureBox)
        for (auto* other : known_)
            if (other->container() == &c)
                if (Binding* cb = binding(other)) cb->sync(Prop::Geometry);
}

void FormView::applyPending() {
    std::vector<const forms::Control*> order;
    order.swap(pendingOrder_);
    for (const forms::Control* c : order) applyPending(c);
}

void FormView::applyPending(const forms::Control* c) {
    auto it = pending_.find(c);
    if (it == pending_.end()) return;
    const unsigned props = it->second;
    pending_.erase(it);
    // A control destroyed since keeps its binding until the next pump: it is not asked.
    const std::vector<forms::Control*>& live = form.Controls();
    Binding* b = binding(c);
    if (!b || std::find(live.begin(), live.end(), c) == live.end()) return;
    for (Prop p : kDeferred)
        if (props & bit(p)) b->sync(p);
}

void FormView::reconcile() {
    // Asked at every pump: the form's serial says at once that nothing was added or removed.
    if (form.controlsSerial() == knownSerial_) return;
    knownSerial_ = form.controlsSerial();
    const std::vector<forms::Control*>& now = form.Controls();
    if (now == known_) return;
    std::unordered_set<const forms::Control*> live(now.begin(), now.end());
    bool menusChanged = false;
    for (auto* c : known_) {
        if (live.count(c)) continue;
        if (actions_.count(c)) menusChanged = true;
        dropBinding(c);
    }
    std::unordered_set<const forms::Control*> old(known_.begin(), known_.end());
    known_ = now;
    for (auto* c : known_) {
        if (old.count(c)) continue;
        if (c->kind() == Kind::Menu)
            menusChanged = true;
        else
            makeBinding(*c);
    }
    if (menusChanged) buildMenus();
    restack();
}

void FormView::renderFrames(std::int64_t nowNs) {
    if (!form.Visible() || !window->isVisible()) return;
    for (auto* c : known_) {
        Binding* b = binding(c);
        if (b && b->paintsFrames() && c->Visible() && b->widget()->isVisible()) b->renderFrame(nowNs);
    }
}

void FormView::syncForm(Prop prop) {
    switch (prop) {
    case Prop::Caption: window->setWindowTitle(detail::toQString(form.Caption())); break;
    case Prop::Geometry:
        applyFlags();
        applyGeometry();
        break;
    case Prop::Visible:
        // A window shown starts with its controls as they are now.
        if (form.Visible()) applyPending();
        applyVisibility();
        break;
    case Prop::WindowState:
        if (form.WindowState() == 2) fullScreenOn_ = screenOfWindow();
        // A window coming back from the taskbar starts with its controls as they are now.
        if (form.Visible() && form.WindowState() != 1) applyPending();
        applyVisibility();
        break;
    case Prop::ZOrder:
        // ZOrder goes through the window services, whose restack notice raises the window.
        break;
    case Prop::Colors: applyColors(); break;
    default:
        // Refresh: everything is drawn again from the controls.
        pending_.clear();
        pendingOrder_.clear();
        for (auto& [c, b] : bindings_) b->syncAll();
        for (auto* c : known_)
            if (c->kind() == Kind::Menu) syncMenu(static_cast<forms::Menu&>(*c));
        window->update();
        break;
    }
}

void FormView::applyFlags() {
    Qt::WindowFlags wanted = Qt::Window;
    if (form.BorderStyle() == 0)
        wanted |= Qt::FramelessWindowHint;
    else if (!form.ControlBox)
        wanted |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    else if (form.BorderStyle() == 1)
        wanted |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    if (form.hWnd() && view_.windows.isTopmost(form.hWnd())) wanted |= Qt::WindowStaysOnTopHint;
    if (window->windowFlags() == wanted) return;
    Applying guard(this);
    const bool shown = window->isVisible();
    window->setWindowFlags(wanted);
    if (shown) applyVisibility();
}

QScreen* FormView::screenOfWindow() const {
    if (QScreen* s = QGuiApplication::screenAt(window->geometry().center())) return s;
    if (QScreen* s = window->screen()) return s;
    return QGuiApplication::primaryScreen();
}

void FormView::fillScreen(bool moveForm) {
    // A borderless window maximised covers the whole screen it is on, taskbar included. The form
    // follows once the runtime has noted where to restore it (its Move after the state change).
    QScreen* s = fullScreenOn_ ? fullScreenOn_.data() : screenOfWindow();
    if (!s) return;
    const QRect g = s->geometry();
    {
        Applying guard(this);
        window->setGeometry(g);
        window->layoutInside();
    }
    if (!moveForm) return;
    const int barHeight = window->bar ? View::kMenuBarPx : 0;
    const double frameW = form.Width() - form.ScaleWidth(), frameH = form.Height() - form.ScaleHeight();
    const double l = twips(g.x()), t = twips(g.y()), w = twips(g.width()) + frameW,
                 h = twips(g.height() - barHeight) + frameH;
    if (l != form.Left() || t != form.Top() || w != form.Width() || h != form.Height()) form.Move(l, t, w, h);
}

void FormView::openInsideScreen() {
    // A window opens inside the screen it is on (the one under its middle, else its corner, else
    // the main one): moved in where it hangs over an edge and, if it is a borderless projector,
    // scaled down with its proportions where it is larger than the screen. A tool window keeps
    // its design size, so that its captions keep fitting. The form is told, as when the window
    // system places a window.
    const QRect outer(px(form.Left()), px(form.Top()), std::max(1, px(form.Width())), std::max(1, px(form.Height())));
    const bool projector = form.BorderStyle() == 0;
    QRect place = outer;
    if (std::optional<QRect> beside = projector ? placeBesideWindows(outer) : std::nullopt) {
        place = *beside;
    } else {
        QScreen* s = QGuiApplication::screenAt(outer.center());
        if (!s) s = QGuiApplication::screenAt(outer.topLeft());
        if (!s) s = QGuiApplication::primaryScreen();
        if (!s) return;
        place = fitInside(outer, s->availableGeometry(), projector);
    }
    if (place == outer) return;
    const double tw = place.width() == outer.width() ? form.Width() : twips(place.width()),
                 th = place.height() == outer.height() ? form.Height() : twips(place.height());
    form.Move(twips(place.x()), twips(place.y()), tw, th);
}

std::optional<QRect> FormView::placeBesideWindows(const QRect& outer) const {
    // The projector must not hide the program's other windows (the beat counter, the buttons):
    // it opens on a screen none of them is on (a second screen, where the operator takes it
    // anyway), else beside them on its own screen, in the largest room there, scaled down with
    // its proportions to fit it. None of them shown, or no room beside them: nullopt.
    std::vector<QRect> busy;
    for (auto& [f, fv] : view_.forms)
        if (fv.get() != this && fv->form.BorderStyle() != 0 && fv->onScreen()) busy.push_back(fv->window->frameGeometry());
    if (busy.empty()) return std::nullopt;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect room = s->availableGeometry();
        if (std::none_of(busy.begin(), busy.end(), [&](const QRect& b) { return b.intersects(room); })) {
            const QRect there = room.contains(outer.center()) ? outer : QRect(room.topLeft(), outer.size());
            return fitInside(there, room, true);
        }
    }
    QScreen* s = QGuiApplication::screenAt(outer.center());
    if (!s) s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    const QRect room = s->availableGeometry();
    QRect taken;
    for (const QRect& b : busy) taken |= b & room;
    const QRect sides[] = {
        QRect(QPoint(taken.right() + 1, room.top()), room.bottomRight()),  // right of them
        QRect(QPoint(room.left(), taken.bottom() + 1), room.bottomRight()),  // below
        QRect(room.topLeft(), QPoint(taken.left() - 1, room.bottom())),     // left
        QRect(room.topLeft(), QPoint(room.right(), taken.top() - 1)),       // above
    };
    const QRect* best = nullptr;
    double bestScale = 0;
    for (const QRect& side : sides) {
        if (side.width() <= 0 || side.height() <= 0) continue;
        const double f = std::min({1.0, static_cast<double>(side.width()) / outer.width(),
                                   static_cast<double>(side.height()) / outer.height()});
        if (f > bestScale) bestScale = f, best = &side;
    }
    if (!best) return std::nullopt;
    return fitInside(outer, *best, true);
}

QRect FormView::fitInside(const QRect& outer, const QRect& room, bool scale) {
    if (room.contains(outer)) return outer;
    int w = outer.width(), h = outer.height();
    if (scale && (w > room.width() || h > room.height())) {
        const double f = std::min(static_cast<double>(room.width()) / w, static_cast<double>(room.height()) / h);
        w = std::max(1, static_cast<int>(w * f));
        h = std::max(1, static_cast<int>(h * f));
    }
    const int x = std::max(room.left(), std::min(outer.x(), room.left() + room.width() - w));
    const int y = std::max(room.top(), std::min(outer.y(), room.top() + room.height() - h));
    return QRect(x, y, w, h);
}

void FormView::applyGeometry() {
    const int state = form.WindowState();
    if (form.Visible() && state == 1) return;
    if (form.Visible() && state == 2) {
        // A framed window is maximised by the window system, which then reports its size.
        if (form.BorderStyle() == 0) fillScreen(true);
        return;
    }
    Applying guard(this);
    const int barHeight = window->bar ? View::kMenuBarPx : 0;
    const QSize size(std::max(1, px(form.ScaleWidth())), std::max(1, px(form.ScaleHeight()) + barHeight));
    if (form.BorderStyle() == 1) {
        window->setFixedSize(size);
    } else {
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    window->move(px(form.Left()), px(form.Top()));
    window->resize(size);
    window->layoutInside();
}

void FormView::applyVisibility() {
    if (!form.Visible()) {
        Applying guard(this);
        window->hide();
        return;
    }
    switch (form.WindowState()) {
    case 1: {
        Applying guard(this);
        window->showMinimized();
        break;
    }
    case 2:
        if (form.BorderStyle() == 0) {
            fillScreen(false);
            Applying guard(this);
            window->setMinimumSize(0, 0);
            window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            window->showFullScreen();
        } else {
            {
                Applying guard(this);
                window->setMinimumSize(0, 0);
                window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            }
            // Not applied: the size the window system gives is reported to the form.
            window->showMaximized();
        }
        break;
    default: {
        if (!opened_) {
            opened_ = true;
            openInsideScreen();
        }
        Applying guard(this);
        if (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
            window->setWindowState(Qt::WindowNoState);
            applyGeometry();
        }
        window->show();
        break;
    }
    }
}

void FormView::applyColors() {
    QPalette p = window->client->palette();
    p.setColor(QPalette::Window, detail::toQColor(form.BackColor()));
    window->client->setPalette(p);
    window->client->setAutoFillBackground(true);
}

void FormView::closeBox() {
    forms::Form* f = &form;
    detail::userInput([f] { f->unloadWithHooks(0); });
}

void FormView::windowMovedOrResized() {
    if (applying_ || !window->isVisible() || window->isMinimized()) return;
    if (form.WindowState() == 2 && form.BorderStyle() == 0) return;
    const int barHeight = window->bar ? View::kMenuBarPx : 0;
    const double frameW = form.Width() - form.ScaleWidth(), frameH = form.Height() - form.ScaleHeight();
    const double l = twips(window->x()), t = twips(window->y()), w = twips(window->width()) + frameW,
                 h = twips(window->height() - barHeight) + frameH;
    if (l == form.Left() && t == form.Top() && w == form.Width() && h == form.Height()) return;
    forms::Form* f = &form;
    // The operator moved or sized the window: the form follows (and runs Form_Resize on a new size).
    detail::userInput([f, l, t, w, h] { f->Move(l, t, w, h); });
}

void FormView::windowStateChanged() {
    if (applying_) return;
    const Qt::WindowStates s = window->windowState();
    const int state = s & Qt::WindowMinimized ? 1 : s & (Qt::WindowMaximized | Qt::WindowFullScreen) ? 2 : 0;
    if (state == form.WindowState()) return;
    forms::Form* f = &form;
    detail::userInput([f, state] { f->setWindowState(state); });
}

void FormView::formKey(QKeyEvent* e) {
    // A form with nothing that takes the focus (the projector) gets the keys itself.
    if (window->focusWidget() && window->focusWidget() != window) return;
    int vk = vkFromQtKey(e->key(), e->modifiers());
    if (!vk || e->isAutoRepeat()) return;
    const int shift = shiftBits(e->modifiers());
    forms::Form* f = &form;
    detail::userInput([f, vk, shift]() mutable { f->Form_KeyDown(vk, shift); });
}

// ---- View ----

View::View(platform::EventLoop& loop, platform::WindowRegistry& windows) : d_(std::make_unique<Impl>(*this, loop, windows)) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw std::logic_error("gui::View needs a QApplication");
    g_current = this;
    d_->reportScreen();
    QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, &d_->context, [this](QScreen* s) {
        d_->reportScreen();
        if (s) QObject::connect(s, &QScreen::geometryChanged, &d_->context, [this] { d_->reportScreen(); });
    });
    if (QScreen* s = QGuiApplication::primaryScreen())
        QObject::connect(s, &QScreen::geometryChanged, &d_->context, [this] { d_->reportScreen(); });

    // Where a system move drag starts, and the view's own move when the window system has none.
    d_->mouseWatch = std::make_unique<Filter>([this](QObject*, QEvent* e) {
        Impl& d = *d_;
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ShortcutOverride:
            // The operator acts on what the widgets show now.
            d.applyPending();
            return false;
        case QEvent::MouseButtonPress:
            d.applyPending();
            d.drag.reset();
            d.lastPressGlobal = static_cast<QMouseEvent*>(e)->globalPosition();
            return false;
        case QEvent::MouseMove:
            if (!d.drag) return false;
            if (!d.drag->window || !(static_cast<QMouseEvent*>(e)->buttons() & Qt::LeftButton)) {
                d.drag.reset();
                return false;
            }
            d.drag->window->move(d.drag->startPos +
                                 (static_cast<QMouseEvent*>(e)->globalPosition() - d.drag->startGlobal).toPoint());
            return true;
        case QEvent::MouseButtonRelease:
            d.applyPending();
            if (!d.drag) return false;
            d.drag.reset();
            return true;
        default: return false;
        }
    });
    qApp->installEventFilter(d_->mouseWatch.get());

    forms::Application::addObserver(this);
    windows.addObserver(this);
    loop.setInputPump([this] { pump(); });
    for (auto* slot : forms::Application::formSlots())
        if (forms::Form* f = slot->peek(); f && f->isLoaded()) formLoaded(*f);
}

View::~View() {
    d_->loop.setInputPump({});
    d_->windows.removeObserver(this);
    forms::Application::removeObserver(this);
    d_->forms.clear();
    for (auto& w : d_->graveyard) delete w.data();
    d_->graveyard.clear();
    if (g_current == this) g_current = nullptr;
}

View* View::current() { return g_current; }

void View::applyPendingChanges() { d_->applyPending(); }

QWidget* View::window(const forms::Form& form) const {
    d_->applyPending();
    FormView* fv = d_->find(&form);
    return fv ? fv->window : nullptr;
}

QWidget* View::clientArea(const forms::Form& form) const {
    d_->applyPending();
    FormView* fv = d_->find(&form);
    return fv ? fv->window->client : nullptr;
}

QMenuBar* View::menuBar(const forms::Form& form) const {
    d_->applyPending();
    FormView* fv = d_->find(&form);
    return fv ? fv->window->bar : nullptr;
}

QWidget* View::widget(const forms::Control& control) const {
    d_->applyPending();
    FormView* fv = d_->find(control.form());
    Binding* b = fv ? fv->binding(&control) : nullptr;
    return b ? b->widget() : nullptr;
}

QAction* View::action(const forms::Menu& menu) const {
    d_->applyPending();
    FormView* fv = d_->find(menu.form());
    return fv ? fv->action(&menu) : nullptr;
}

void View::pump() {
    Impl& d = *d_;
    if (detail::inputDepth() == 0) {
        std::vector<QPointer<QWidget>> dead;
        dead.swap(d.graveyard);
        for (auto& w : dead) delete w.data();
        if (d.loop.depth() <= 1) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (auto& [f, fv] : d.forms) fv->reconcile();
    const double now = d.loop.nowMs();
    if (now >= d.nextFrameMs) {
        // Phase-locked to the frame period, but never catching up on frames missed.
        d.nextFrameMs = d.nextFrameMs < 0 || now - d.nextFrameMs >= kFrameMs ? now + kFrameMs : d.nextFrameMs + kFrameMs;
        {
            platform::cpumeter::Scope meter(platform::cpumeter::Part::ViewUpdates);
            d.applyPending(true);
        }
        platform::cpumeter::Scope meter(platform::cpumeter::Part::ProjectorRendering);
        std::vector<FormView*> views;
        for (auto& [f, fv] : d.forms) views.push_back(fv.get());
        const std::int64_t nowNs = d.loop.nowNs();
        for (FormView* fv : views) fv->renderFrames(nowNs);
    }
    platform::cpumeter::Scope meter(platform::cpumeter::Part::ViewUpdates);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool View::startSystemMove(forms::Form& form) {
    FormView* fv = d_->find(&form);
    if (!fv || !fv->window->isVisible()) return false;
    if (QWindow* handle = fv->window->windowHandle(); handle && handle->startSystemMove()) return true;
    // No move by the window system (offscreen, or no window manager): follow the mouse until the
    // button comes up.
    d_->drag = Impl::Drag{fv->window, d_->lastPressGlobal, fv->window->pos()};
    return true;
}

void View::formLoaded(forms::Form& form) {
    if (d_->find(&form)) return;
    d_->forms[&form] = std::make_unique<FormView>(*d_, form);
}

void View::formUnloaded(forms::Form& form) {
    auto it = d_->forms.find(&form);
    if (it == d_->forms.end()) return;
    if (d_->drag && d_->drag->window == it->second->window) d_->drag.reset();
    d_->forms.erase(it);
}

void View::formChanged(forms::Form& form, Prop prop) {
    if (FormView* fv = d_->find(&form)) fv->syncForm(prop);
}

void View::controlChanged(forms::Control& control, Prop prop) {
    if (FormView* fv = d_->find(control.form())) fv->syncControl(control, prop);
}

void View::messageSent(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM) {
    // The drag bar's "ReleaseCapture + WM_NCLBUTTONDOWN(HTCAPTION)" moves its window.
    if (msg != platform::WM_NCLBUTTONDOWN || wParam != static_cast<platform::WPARAM>(platform::HTCAPTION)) return;
    if (FormView* fv = d_->findByHandle(hwnd)) startSystemMove(fv->form);
}

void View::windowRestacked(platform::HWND hwnd) {
    // The registry's z-order is the one on the screen: the window goes up, and the windows of the
    // program that the registry keeps above it go up again over it, nearest first.
    auto shownWindow = [this](platform::HWND h) -> QWidget* {
        for (auto& [f, fv] : d_->forms)
            if (f->hWnd() == h) return fv->window->isVisible() ? fv->window : nullptr;
        return nullptr;
    };
    QWidget* moved = shownWindow(hwnd);
    if (!moved) return;
    const std::vector<platform::HWND> order = d_->windows.topLevelWindows();
    std::vector<QWidget*> above;
    for (platform::HWND h : order) {
        if (h == hwnd) break;
        if (QWidget* w = shownWindow(h)) above.push_back(w);
    }
    // As SetWindowPos without SWP_NOACTIVATE, the window also gets the focus.
    moved->raise();
    moved->activateWindow();
    for (auto it = above.rbegin(); it != above.rend(); ++it) (*it)->raise();
}

void View::windowChanged(platform::HWND hwnd) {
    // Topmost set through the window services (SetWindowPos) shows on the form's window.
    for (auto& [f, fv] : d_->forms)
        if (f->hWnd() == hwnd) fv->applyFlags();
}

bool startSystemMove(forms::Form& form) {
    View* v = View::current();
    return v && v->startSystemMove(form);
}

}  // namespace gui
