#include "gui/bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/form.h"
#include "gui/keys.h"
#include "gui/view.h"
#include "platform/cpu_meter.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {
int g_inputDepth = 0;
}  // namespace

void userInput(const std::function<void()>& input) {
    ++g_inputDepth;
    struct Depth {
        ~Depth() { --g_inputDepth; }
    } depth;
    try {
        forms::runHandler(input);
    } catch (const platform::ProgramEnded&) {
        // Never through the toolkit's frames: the pump that called the toolkit goes on unwinding.
    } catch (const std::exception& e) {
        // Not a run-time error of the program: report it, the operator's session goes on.
        std::fprintf(stderr, "%s: %s\n", forms::Application::title().c_str(), e.what());
    }
    // The operator's next input meets the widgets as the handlers left them.
    if (View* view = View::current()) view->applyPendingChanges();
}

int inputDepth() { return g_inputDepth; }

QColor toQColor(std::uint32_t vbColour) {
    const std::uint32_t c = forms::resolveColor(vbColour);
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

QFont toQFont(const forms::Font& font) {
    const double size = font.size > 0 ? font.size : 8.25;
    QFont f(QString::fromStdString(font.name));
    f.setStyleHint(QFont::SansSerif);
    if (font.name == forms::Font().name) {
        // The desktop's dialog font is not on Linux. DejaVu Sans Condensed a tenth smaller has
        // its widths, so a caption that fits at design size fits here too.
        f.setFamily(QStringLiteral("DejaVu Sans Condensed"));
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(size * 96.0 / 72.0 * 0.9))));
    } else {
        f.setPointSizeF(size);
    }
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    return f;
}

QString toQString(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

std::string fromQString(const QString& text) { return text.toStdString(); }

QString withoutAccessKeys(const std::string& caption) {
    QString out;
    const QString in = toQString(caption);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == u'&') {
            if (i + 1 < in.size() && in[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    return out;
}

QImage imageOf(const platform::Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    const auto format = bitmap.format() == platform::PixelFormat::Bgra32 ? QImage::Format_RGB32 : QImage::Format_BGR888;
    return QImage(bitmap.row(0), bitmap.width(), bitmap.height(), bitmap.stride(), format);
}

namespace {
double unitsPerPixel(const forms::Control* container) {
    if (container && container->kind() == Kind::PictureBox && static_cast<const forms::PictureBox*>(container)->ScaleMode() == 3)
        return 1.0;
    return forms::kTwipsPerPixel;
}

int px(double units, double perPixel) { return static_cast<int>(std::lround(units / perPixel)); }
}  // namespace

int innerOffset(const forms::Control* container) {
    if (container && container->kind() == Kind::PictureBox && static_cast<const forms::PictureBox*>(container)->BorderStyle)
        return 2;
    return 0;
}

std::pair<QPoint, QPoint> linePoints(const forms::LineControl& l) {
    const double unit = unitsPerPixel(l.container());
    const int off = innerOffset(l.container());
    return {QPoint(off + px(l.X1, unit), off + px(l.Y1, unit)), QPoint(off + px(l.X2, unit), off + px(l.Y2, unit))};
}

QRect pixelRect(const forms::Control& c) {
    const double unit = unitsPerPixel(c.container());
    const int off = innerOffset(c.container());
    if (c.kind() == Kind::Line) {
        const auto [a, b] = linePoints(static_cast<const forms::LineControl&>(c));
        return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())), QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    }
    return QRect(off + px(c.Left(), unit), off + px(c.Top(), unit), std::max(0, px(c.Width(), unit)),
                 std::max(0, px(c.Height(), unit)));
}

namespace {

// An event filter calling a function until switched off.
class Filter final : public QObject {
public:
    explicit Filter(std::function<bool(QEvent*)> fn, QObject* parent) : QObject(parent), fn_(std::move(fn)) {}
    bool on = true;

protected:
    bool eventFilter(QObject*, QEvent* event) override { return on && fn_(event); }

private:
    std::function<bool(QEvent*)> fn_;
};

// A widget of our own that reaches its binding (null once the binding is gone).
struct Bound {
    virtual ~Bound() = default;
    Binding* binding = nullptr;
};

}  // namespace

// ---- Binding ----

Binding::Binding(forms::Control& control, QWidget* widget) : control_(control), widget_(widget) {
    widget->setObjectName(toQString(control.name()));
    if (auto* b = dynamic_cast<Bound*>(widget)) b->binding = this;
}

Binding::~Binding() {
    if (auto* b = dynamic_cast<Bound*>(widget_.data())) b->binding = nullptr;
    for (auto& f : filters_)
        if (f) static_cast<Filter*>(f.data())->on = false;
}

void Binding::watch(QObject* target, std::function<bool(QEvent*)> fn) {
    auto* f = new Filter(std::move(fn), target);
    target->installEventFilter(f);
    filters_.emplace_back(f);
}

bool Binding::windowless() const {
    const Kind k = control_.kind();
    return k == Kind::Label || k == Kind::Shape || k == Kind::Line;
}

bool Binding::input(const std::function<void()>& fn) {
    std::weak_ptr<int> alive = alive_;
    userInput(fn);
    return !alive.expired();
}

void Binding::applyColors() {
    const QColor back = toQColor(control_.BackColor()), fore = toQColor(control_.ForeColor());
    QPalette p = widget_->palette();
    // Programs set the same colours again and again (a label blinking with the beat).
    if (p.color(QPalette::Window) != back || p.color(QPalette::Base) != back || p.color(QPalette::Button) != back ||
        p.color(QPalette::WindowText) != fore || p.color(QPalette::Text) != fore || p.color(QPalette::ButtonText) != fore) {
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) p.setColor(role, back);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) p.setColor(role, fore);
        widget_->setPalette(p);
    }
    widget_->setAutoFillBackground(fillsBackground());
}

void Binding::sync(Prop prop) {
    if (!widget_) return;
    Updating guard(this);
    switch (prop) {
    case Prop::Geometry: widget_->setGeometry(pixelRect(control_)); break;
    case Prop::Visible: widget_->setVisible(control_.Visible()); break;
    case Prop::Enabled: widget_->setEnabled(control_.Enabled()); break;
    case Prop::Colors: applyColors(); break;
    case Prop::Font: widget_->setFont(toQFont(control_.font())); break;
    case Prop::Other: widget_->update(); break;
    default: break;
    }
    syncKind(prop);
}

void Binding::syncAll() {
    for (Prop p : {Prop::Geometry, Prop::Enabled, Prop::Colors, Prop::Font, Prop::Text, Prop::Caption, Prop::Items,
                   Prop::Range, Prop::Value, Prop::Selection, Prop::Picture, Prop::Visible})
        sync(p);
}

void Binding::followFocus() {
    watch(widget_, [this](QEvent* e) {
        if (e->type() == QEvent::FocusIn && !updating()) {
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            // Not a menu closing or the view's own setting: those hand back a focus already known.
            if (reason != Qt::PopupFocusReason && reason != Qt::OtherFocusReason && reason != Qt::MenuBarFocusReason)
                input([this] { control_.SetFocus(); });
        }
        return false;
    });
}

namespace {

// Key preview for controls that do not type: the form sees the key first when it asks to.
void previewKey(Binding& b, QKeyEvent* e) {
    forms::Form* f = b.control().form();
    if (!f || !f->KeyPreview || e->isAutoRepeat()) return;
    int vk = vkFromQtKey(e->key(), e->modifiers());
    if (!vk) return;
    const int shift = shiftBits(e->modifiers());
    b.input([f, vk, shift]() mutable { f->Form_KeyDown(vk, shift); });
}

// ---- TextBox ----

int asciiOf(const QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Escape: return 27;
    default: break;
    }
    const QString t = e->text();
    if (t.size() == 1 && t[0].unicode() >= 32 && t[0].unicode() < 127) return t[0].unicode();
    return 0;
}

std::string toCrLf(const QString& text) {
    std::string s = fromQString(text), out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

QString fromCrLf(const std::string& text) {
    QString s = toQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

class TextBinding final : public Binding {
public:
    TextBinding(forms::TextBox& box, QWidget* parent)
        : Binding(box, box.MultiLine ? static_cast<QWidget*>(new QPlainTextEdit(parent)) : new QLineEdit(parent)),
          box_(box) {
        line_ = qobject_cast<QLineEdit*>(widget());
        multi_ = qobject_cast<QPlainTextEdit*>(widget());
        if (line_) {
            QObject::connect(line_, &QLineEdit::textEdited, context(), [this](const QString& t) { edited(fromQString(t)); });
        } else {
            multi_->setTabChangesFocus(true);
            QObject::connect(multi_, &QPlainTextEdit::textChanged, context(),
                             [this] { edited(toCrLf(multi_->toPlainText())); });
        }
        watch(widget(), [this](QEvent* e) {
            return e->type() == QEvent::KeyPress && !updating() && key(static_cast<QKeyEvent*>(e));
        });
        followFocus();
    }

private:
    void edited(const std::string& text) {
        if (updating()) return;
        if (input([this, &text] { box_.userEdit(text); })) sync(Prop::Text);
    }

    // Typing at the end of a one-line box goes through the runtime whole (KeyDown, KeyPress that
    // may swallow the key, the edit, KeyUp). Elsewhere Qt edits and the runtime hears the keys'
    // codes and then the edited text.
    bool key(QKeyEvent* e) {
        const int vk = vkFromQtKey(e->key(), e->modifiers());
        const int shift = shiftBits(e->modifiers());
        const int ascii = asciiOf(e);
        const bool plain = !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (line_ && ascii && plain && !line_->hasSelectedText() && line_->cursorPosition() == line_->text().size()) {
            if (input([&] { box_.userKey(vk, ascii, shift); })) sync(Prop::Text);
            return true;
        }
        if (vk && !input([&] { box_.userKey(vk, 0, shift); })) return true;
        return false;
    }

    void syncKind(Prop prop) override {
        if (line_) line_->setReadOnly(box_.Locked);
        if (line_) {
            const Qt::Alignment h = box_.Alignment == 1 ? Qt::AlignRight : box_.Alignment == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
            if ((line_->alignment() & Qt::AlignHorizontal_Mask) != h) line_->setAlignment(h | Qt::AlignVCenter);
        }
        if (multi_) multi_->setReadOnly(box_.Locked);
        if (prop == Prop::Text) {
            if (line_ && fromQString(line_->text()) != box_.Text()) line_->setText(toQString(box_.Text()));
            if (multi_ && toCrLf(multi_->toPlainText()) != box_.Text()) {
                multi_->setPlainText(fromCrLf(box_.Text()));
                multi_->moveCursor(QTextCursor::End);
            }
        } else if (prop == Prop::Selection) {
            if (line_) line_->setCursorPosition(box_.SelStart());
            if (multi_) {
                QTextCursor c = multi_->textCursor();
                c.setPosition(std::min(box_.SelStart(), static_cast<int>(multi_->document()->characterCount() - 1)));
                multi_->setTextCursor(c);
                multi_->ensureCursorVisible();
            }
        }
    }

    forms::TextBox& box_;
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
};

// ---- Label ----

class LabelBinding final : public Binding {
public:
    LabelBinding(forms::Label& label, QWidget* parent) : Binding(label, new QLabel(parent)), label_(label) {
        widget()->setFocusPolicy(Qt::NoFocus);
        static_cast<QLabel*>(widget())->setTextFormat(Qt::PlainText);
        static_cast<QLabel*>(widget())->setWordWrap(true);
        watch(widget(), [this](QEvent* e) {
            if (updating()) return false;
            if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton &&
                widget()->rect().contains(static_cast<QMouseEvent*>(e)->position().toPoint())) {
                if (label_.onClick) input([this] { label_.onClick(); });
                return true;
            }
            if (e->type() == QEvent::MouseButtonDblClick) {
                if (label_.onDblClick) input([this] { label_.onDblClick(); });
                return true;
            }
            return false;
        });
    }

private:
    bool fillsBackground() const override { return label_.BackStyle != 0; }
    void syncKind(Prop prop) override {
        auto* l = static_cast<QLabel*>(widget());
        if (prop == Prop::Caption) l->setText(withoutAccessKeys(label_.Caption()));
        const Qt::Alignment h = label_.Alignment == 1 ? Qt::AlignRight : label_.Alignment == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
        l->setAlignment(h | Qt::AlignTop);
    }

    forms::Label& label_;
};

// ---- CommandButton, CheckBox, OptionButton ----

class ButtonBinding final : public Binding {
public:
    ButtonBinding(forms::CommandButton& button, QWidget* parent) : Binding(button, new QPushButton(parent)), button_(button) {
        QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, context(), [this] {
            if (!updating()) input([this] { button_.userClick(); });
        });
        watch(widget(), [this](QEvent* e) {
            if (e->type() == QEvent::KeyPress && !updating()) previewKey(*this, static_cast<QKeyEvent*>(e));
            return false;
        });
        followFocus();
    }

private:
    void applyColors() override {
        Binding::applyColors();
        // A face colour of the design shows flat and exact; the widget style would shade it.
        QString sheet;
        if (button_.BackColor() != forms::kButtonFace) {
            sheet = QStringLiteral("QPushButton{background-color:%1;color:%2;border:2px outset #c0c0c0;}"
                                   "QPushButton:pressed{border-style:inset;}")
                        .arg(toQColor(button_.BackColor()).name(), toQColor(button_.ForeColor()).name());
        }
        if (widget()->styleSheet() != sheet) widget()->setStyleSheet(sheet);
    }
    void syncKind(Prop prop) override {
        if (prop == Prop::Caption) static_cast<QPushButton*>(widget())->setText(toQString(button_.Caption()));
    }
    forms::CommandButton& button_;
};

// Check boxes and option buttons draw their box or circle in the window colour with the window
// text's mark, whatever the control's colours: an empty box stays visible on a black form. Only
// the caption takes BackColor and ForeColor.
void indicatorColors(QWidget* w) {
    QPalette p = w->palette();
    const QColor window = toQColor(forms::kWindowBackground), text = toQColor(forms::kWindowText);
    if (p.color(QPalette::Base) == window && p.color(QPalette::Text) == text) return;
    p.setColor(QPalette::Base, window);
    p.setColor(QPalette::Text, text);
    w->setPalette(p);
}

class CheckBinding final : public Binding {
public:
    CheckBinding(forms::CheckBox& box, QWidget* parent) : Binding(box, new QCheckBox(parent)), box_(box) {
        QObject::connect(static_cast<QCheckBox*>(widget()), &QCheckBox::clicked, context(), [this] {
            if (updating()) return;
            // The runtime decides the new state; the box shows it whatever Qt toggled.
            if (input([this] { box_.userClick(); })) sync(Prop::Value);
        });
        followFocus();
    }

private:
    void applyColors() override {
        Binding::applyColors();
        indicatorColors(widget());
    }
    void syncKind(Prop prop) override {
        auto* c = static_cast<QCheckBox*>(widget());
        if (prop == Prop::Caption) c->setText(toQString(box_.Caption()));
        if (prop == Prop::Value) {
            c->setTristate(box_.Value() == 2);
            c->setCheckState(box_.Value() == 1 ? Qt::Checked : box_.Value() == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
        }
    }
    forms::CheckBox& box_;
};

class OptionBinding final : public Binding {
public:
    OptionBinding(forms::OptionButton& option, QWidget* parent) : Binding(option, new QRadioButton(parent)), option_(option) {
        auto* r = static_cast<QRadioButton*>(widget());
        // The runtime keeps the groups (by container); Qt must not clear buttons on its own.
        r->setAutoExclusive(false);
        QObject::connect(r, &QRadioButton::clicked, context(), [this] {
            if (updating()) return;
            if (input([this] { option_.userClick(); })) sync(Prop::Value);
        });
        followFocus();
    }

private:
    void applyColors() override {
        Binding::applyColors();
        indicatorColors(widget());
    }
    void syncKind(Prop prop) override {
        auto* r = static_cast<QRadioButton*>(widget());
        if (prop == Prop::Caption) r->setText(toQString(option_.Caption()));
        if (prop == Prop::Value) r->setChecked(option_.Value());
    }
    forms::OptionButton& option_;
};

// ---- ListBox, FileListBox, DirListBox ----

class ListBinding final : public Binding {
public:
    ListBinding(forms::ListBox& list, QWidget* parent) : Binding(list, new QListWidget(parent)), list_(list) {
        auto* w = static_cast<QListWidget*>(widget());
        // Selection is shown, not made, by Qt: the runtime makes it from the operator's clicks.
        w->setSelectionMode(QAbstractItemView::MultiSelection);
        w->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        w->setUniformItemSizes(true);
        watch(w->viewport(), [this](QEvent* e) { return mouseEvent(e); });
        watch(w, [this](QEvent* e) {
            return e->type() == QEvent::KeyPress && !updating() && key(static_cast<QKeyEvent*>(e));
        });
        QObject::connect(w->verticalScrollBar(), &QScrollBar::valueChanged, context(), [this](int top) {
            if (updating() || folders() || top == list_.TopIndex()) return;
            input([this, top] { forms::tryStmt([&] { list_.setTopIndex(top); }); });
        });
        followFocus();
    }

private:
    QListWidget* list() const { return static_cast<QListWidget*>(widget()); }
    forms::DirListBox* folders() const {
        return list_.kind() == Kind::DirListBox ? static_cast<forms::DirListBox*>(&list_) : nullptr;
    }
    // A folder list shows its ancestors above its sub-folders: row 0 is the lowest index.
    int firstIndex() const { return folders() ? -folders()->ancestorCount() : 0; }
    int rowCount() const { return list_.ListCount() - firstIndex(); }
    // The list's index under a point of the viewport; none below the last row.
    int indexAt(QPoint p) const {
        const int row = list()->indexAt(p).row();
        if (row < 0) return folders() ? std::numeric_limits<int>::min() : -1;
        return row + firstIndex();
    }

    bool mouseEvent(QEvent* e) {
        const auto type = e->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
            type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
            return false;
        if (type == QEvent::MouseMove || updating()) return true;  // no drag selection by Qt
        auto* m = static_cast<QMouseEvent*>(e);
        const QPoint at = m->position().toPoint();
        const int index = indexAt(at);
        const int shift = shiftBits(m->modifiers());
        const int button = buttonBits(m->button());
        // X and Y in twips from the list's corner.
        const QPoint inList = list()->viewport()->mapTo(list(), at);
        const double x = inList.x() * forms::kTwipsPerPixel, y = inList.y() * forms::kTwipsPerPixel;
        if (!button) return true;
        bool alive = true;
        if (type == QEvent::MouseButtonRelease) {
            alive = input([=, this] { list_.userMouseUp(button, shift, x, y); });
        } else if (type == QEvent::MouseButtonPress && (m->flags() & Qt::MouseEventCreatedDoubleClick) && button == 1) {
            // The second press of a double click: the DblClick that follows it does the work.
            secondPress_ = true;
            return true;
        } else if (type == QEvent::MouseButtonDblClick && button == 1) {
            // A double click whose first press was not seen here (sent on its own) clicks first.
            const bool firstSeen = secondPress_ || lastPressIndex_ == index;
            secondPress_ = false;
            if (!firstSeen) alive = input([=, this] { list_.userMouseDown(index, 1, shift, x, y); });
            if (alive) alive = input([=, this] { list_.userDblClick(); });
        } else {
            if (!list()->hasFocus()) list()->setFocus(Qt::MouseFocusReason);
            secondPress_ = false;
            lastPressIndex_ = index;
            alive = input([=, this] { list_.userMouseDown(index, button, shift, x, y); });
        }
        if (alive) sync(Prop::Selection);
        return true;
    }

    bool key(QKeyEvent* e) {
        const int vk = vkFromQtKey(e->key(), e->modifiers());
        if (vk == VK_TAB || vk == 0) return false;
        const int shift = shiftBits(e->modifiers());
        const int page = std::max(1, list()->viewport()->height() / std::max(1, list()->sizeHintForRow(0)));
        if (input([&] { list_.userKeyDown(vk, shift, page); })) sync(Prop::Selection);
        return true;
    }

    QString rowText(int index) const {
        if (!folders()) return toQString(list_.List(index));
        // Each folder on the way one step further in; the sub-folders under the current one.
        const int depth = std::min(index - firstIndex(), folders()->ancestorCount() - (index < 0 ? 1 : 0));
        return QString(depth * 2, u' ') + toQString(folders()->rowName(index));
    }

    void refill() {
        auto* w = list();
        w->clear();
        QStringList rows;
        rows.reserve(rowCount());
        for (int i = firstIndex(); i < list_.ListCount(); ++i) rows << rowText(i);
        w->addItems(rows);
        if (folders()) {
            const QIcon open = w->style()->standardIcon(QStyle::SP_DirOpenIcon);
            const QIcon closed = w->style()->standardIcon(QStyle::SP_DirClosedIcon);
            for (int r = 0; r < w->count(); ++r) w->item(r)->setIcon(r + firstIndex() < 0 ? open : closed);
        }
    }

    // The rows changed one by one since the last frame, applied to the widget as blocks: the
    // rows that are gone go, the new ones come in runs with their final texts.
    void syncItems() {
        auto* w = list();
        std::vector<forms::ListBox::RowChange> changes;
        if (!list_.takeRowChanges(changes) || folders()) return refill();
        if (changes.empty() && w->count() == rowCount()) return;
        // Each row as it ends up: the widget row it was (>= 0), or new (-1).
        std::vector<int> rows(static_cast<std::size_t>(w->count()));
        for (int i = 0; i < w->count(); ++i) rows[i] = i;
        for (const auto& c : changes) {
            if (c.row < 0 || c.row > static_cast<int>(rows.size()) || (c.what <= 0 && c.row == static_cast<int>(rows.size())))
                return refill();
            if (c.what > 0)
                rows.insert(rows.begin() + c.row, -1);
            else if (c.what < 0)
                rows.erase(rows.begin() + c.row);
            else
                rows[c.row] = -1;
        }
        if (static_cast<int>(rows.size()) != list_.ListCount()) return refill();
        // Old rows that stay keep their order; the others go, last first, in runs.
        std::vector<char> kept(static_cast<std::size_t>(w->count()), 0);
        for (int r : rows)
            if (r >= 0) kept[r] = 1;
        for (int i = w->count() - 1; i >= 0;) {
            if (kept[i]) {
                --i;
                continue;
            }
            int from = i;
            while (from > 0 && !kept[from - 1]) --from;
            w->model()->removeRows(from, i - from + 1);
            i = from - 1;
        }
        for (int i = 0; i < static_cast<int>(rows.size());) {
            if (rows[i] >= 0) {
                ++i;
                continue;
            }
            QStringList run;
            int end = i;
            while (end < static_cast<int>(rows.size()) && rows[end] < 0) run << toQString(list_.items()[end++]);
            w->insertItems(i, run);
            i = end;
        }
    }

    void syncSelection() {
        auto* w = list();
        if (w->count() != rowCount()) syncItems();
        QItemSelection selection;
        const auto* model = w->model();
        if (folders()) {
            const int row = list_.ListIndex() - firstIndex();
            if (row >= 0 && row < w->count()) selection.select(model->index(row, 0), model->index(row, 0));
        } else {
            // Runs of selected rows, one range each.
            for (int i = 0, n = list_.ListCount(); i < n;) {
                if (!list_.Selected(i)) {
                    ++i;
                    continue;
                }
                int end = i;
                while (end + 1 < n && list_.Selected(end + 1)) ++end;
                selection.select(model->index(i, 0), model->index(end, 0));
                i = end + 1;
            }
        }
        if (w->selectionModel()->selection() != selection)
            w->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        const int current = list_.ListIndex() - firstIndex();
        if (current >= 0 && current < w->count() && (list_.ListIndex() >= 0 || folders()))
            w->setCurrentRow(current, QItemSelectionModel::NoUpdate);
        if (!folders()) w->verticalScrollBar()->setValue(list_.TopIndex());
        // The box scrolls its selection into view, as the desktop's list does; TopIndex follows.
        if (current >= 0 && current < w->count() && w->isVisible()) {
            QListWidgetItem* item = w->item(current);
            if (item && !w->viewport()->rect().contains(w->visualItemRect(item))) {
                w->scrollToItem(item, QAbstractItemView::EnsureVisible);
                const int top = w->verticalScrollBar()->value();
                if (!folders() && top != list_.TopIndex()) forms::tryStmt([&] { list_.setTopIndex(top); });
            }
        }
    }

    void syncKind(Prop prop) override {
        if (prop == Prop::Items) syncItems();
        if (prop == Prop::Items || prop == Prop::Selection) syncSelection();
    }

    forms::ListBox& list_;
    bool secondPress_ = false;
    int lastPressIndex_ = std::numeric_limits<int>::min();
};

// ---- ComboBox ----

class ComboBinding final : public Binding {
public:
    ComboBinding(forms::ComboBox& combo, QWidget* parent) : Binding(combo, new QComboBox(parent)), combo_(combo) {
        QObject::connect(static_cast<QComboBox*>(widget()), &QComboBox::activated, context(), [this](int index) {
            if (updating()) return;
            if (input([this, index] { combo_.setListIndex(index); })) sync(Prop::Selection);
        });
        followFocus();
    }

private:
    void syncKind(Prop prop) override {
        auto* c = static_cast<QComboBox*>(widget());
        if (prop == Prop::Items) {
            c->clear();
            for (const auto& item : combo_.items()) c->addItem(toQString(item));
        }
        if (prop == Prop::Items || prop == Prop::Selection) c->setCurrentIndex(combo_.ListIndex());
    }
    forms::ComboBox& combo_;
};

// ---- ScrollBar ----

class ScrollBinding final : public Binding {
public:
    ScrollBinding(forms::ScrollBar& bar, QWidget* parent)
        : Binding(bar, new QScrollBar(bar.kind() == Kind::HScrollBar ? Qt::Horizontal : Qt::Vertical, parent)), bar_(bar) {
        auto* s = qbar();
        QObject::connect(s, &QAbstractSlider::actionTriggered, context(), [this](int action) { act(action); });
        QObject::connect(s, &QAbstractSlider::sliderReleased, context(), [this] {
            if (updating()) return;
            const int v = fromQt(qbar()->sliderPosition());
            if (input([this, v] { bar_.userDrag(v, true); })) sync(Prop::Value);
        });
        followFocus();
    }

private:
    QScrollBar* qbar() const { return static_cast<QScrollBar*>(widget()); }
    // Qt wants its minimum first; a bar whose Min exceeds Max runs backwards, so Qt gets the
    // negated values: "add" in Qt always moves towards Max.
    bool backwards() const { return bar_.Min() > bar_.Max(); }
    int toQt(int v) const { return backwards() ? -v : v; }
    int fromQt(int v) const { return backwards() ? -v : v; }

    void act(int action) {
        if (updating()) return;
        auto* s = qbar();
        std::function<void()> call;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: call = [this] { bar_.userStep(bar_.SmallChange); }; break;
        case QAbstractSlider::SliderSingleStepSub: call = [this] { bar_.userStep(-bar_.SmallChange); }; break;
        case QAbstractSlider::SliderPageStepAdd: call = [this] { bar_.userStep(bar_.LargeChange); }; break;
        case QAbstractSlider::SliderPageStepSub: call = [this] { bar_.userStep(-bar_.LargeChange); }; break;
        case QAbstractSlider::SliderToMinimum: call = [this] { bar_.userStep(-65536); }; break;
        case QAbstractSlider::SliderToMaximum: call = [this] { bar_.userStep(65536); }; break;
        case QAbstractSlider::SliderMove: {
            const int pos = s->sliderPosition();
            if (s->isSliderDown()) {
                call = [this, pos] { bar_.userDrag(fromQt(pos), false); };
            } else {
                // The wheel: steps, each with its Change.
                const int delta = pos - toQt(bar_.Value());
                call = [this, delta] { bar_.userStep(delta); };
            }
            break;
        }
        default: return;
        }
        if (!input(call)) return;
        // Qt applies its slider position after this signal; make that the control's value.
        Updating guard(this);
        s->setValue(toQt(bar_.Value()));
    }

    void syncKind(Prop prop) override {
        if (prop != Prop::Value && prop != Prop::Range) return;
        auto* s = qbar();
        s->setRange(std::min(toQt(bar_.Min()), toQt(bar_.Max())), std::max(toQt(bar_.Min()), toQt(bar_.Max())));
        s->setSingleStep(std::max(1, bar_.SmallChange));
        s->setPageStep(std::max(1, bar_.LargeChange));
        if (!s->isSliderDown() || prop == Prop::Range) s->setValue(toQt(bar_.Value()));
    }

    forms::ScrollBar& bar_;
};

// ---- Frame ----

class FrameBinding final : public Binding {
public:
    FrameBinding(forms::Frame& frame, QWidget* parent) : Binding(frame, new QGroupBox(parent)), frame_(frame) {}

private:
    void syncKind(Prop prop) override {
        if (prop == Prop::Caption) static_cast<QGroupBox*>(widget())->setTitle(toQString(frame_.Caption()));
    }
    forms::Frame& frame_;
};

// ---- PictureBox ----

// The 2-pixel sunken border inside a rectangle: one-pixel strips in the order they are drawn,
// later ones over earlier ones at the corners.
struct BorderStrip {
    QRect rect;
    QRgb colour;
};
std::array<BorderStrip, 8> sunkenBorder(const QRect& r) {
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    return {{{QRect(QPoint(x0, y0), QPoint(x1 - 1, y0)), qRgb(128, 128, 128)},
             {QRect(QPoint(x0, y0), QPoint(x0, y1 - 1)), qRgb(128, 128, 128)},
             {QRect(QPoint(x0 + 1, y0 + 1), QPoint(x1 - 2, y0 + 1)), qRgb(64, 64, 64)},
             {QRect(QPoint(x0 + 1, y0 + 1), QPoint(x0 + 1, y1 - 2)), qRgb(64, 64, 64)},
             {QRect(QPoint(x0, y1), QPoint(x1, y1)), qRgb(255, 255, 255)},
             {QRect(QPoint(x1, y0), QPoint(x1, y1)), qRgb(255, 255, 255)},
             {QRect(QPoint(x0 + 1, y1 - 1), QPoint(x1 - 1, y1 - 1)), qRgb(192, 192, 192)},
             {QRect(QPoint(x1 - 1, y0 + 1), QPoint(x1 - 1, y1 - 1)), qRgb(192, 192, 192)}}};
}

// The image the painter draws into, when an image's rows can go into it as they are (what
// drawImage does for a same-format image, without a clip for each of the many rectangles of an
// update region); `at` is where the widget's origin lies in it.
QImage* sameFormatTarget(const QPainter& p, const QImage& source, QPoint& at) {
    // The device the painter's engine draws into: the window's image while the view paints,
    // another device when a widget is grabbed.
    QPaintDevice* device = p.paintEngine() ? p.paintEngine()->paintDevice() : nullptr;
    if (source.isNull() || !device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QTransform t = p.deviceTransform();
    // Shared pixels would be copied by the first write, away from the painter's.
    if (image->format() != source.format() || !image->isDetached() || image->devicePixelRatio() != 1.0 ||
        t.type() > QTransform::TxTranslate || t.dx() != std::round(t.dx()) || t.dy() != std::round(t.dy()))
        return nullptr;
    at = QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
    return image;
}

// Copies the source rectangle of `from` to the target rectangle (of the same size) of `to`, as
// far as it lies inside `to`; both images have the same format.
void copyRows(const QImage& from, const QRect& source, QImage& to, const QRect& target) {
    const QRect dest = target & to.rect();
    if (dest.isEmpty()) return;
    const QPoint shift = source.topLeft() - target.topLeft();
    const std::size_t depth = static_cast<std::size_t>(to.depth() / 8);
    const std::size_t bytes = static_cast<std::size_t>(dest.width()) * depth;
    // Row addresses stepped by the line length: scanLine checks for sharing at every row.
    const auto toLine = static_cast<std::ptrdiff_t>(to.bytesPerLine()), fromLine = static_cast<std::ptrdiff_t>(from.bytesPerLine());
    uchar* out = to.bits() + dest.top() * toLine + static_cast<std::ptrdiff_t>(dest.left() * depth);
    const uchar* in = from.constBits() + (dest.top() + shift.y()) * fromLine + static_cast<std::ptrdiff_t>((dest.left() + shift.x()) * depth);
    for (int y = dest.top(); y <= dest.bottom(); ++y, out += toLine, in += fromLine) std::memcpy(out, in, bytes);
}

// Fills a rectangle of a 32-bit image with an opaque colour.
void fillRows(QImage& to, const QRect& target, QRgb colour) {
    const QRect dest = target & to.rect();
    for (int y = dest.top(); y <= dest.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(to.scanLine(y));
        std::fill(row + dest.left(), row + dest.right() + 1, colour | 0xFF000000u);
    }
}

// Painting widgets draw their update region one rectangle at a time, each under its own clip:
// Qt copies an image straight in under a rectangular clip, but under a clip of several
// rectangles (a region with siblings lying over the widget, as the projector's buttons lie over
// its player) it blends span by span on worker threads, several times the cost for a full frame.

class PictureWidget final : public QWidget, public Bound {
public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {
        setMouseTracking(true);
        // The box draws every pixel of itself: Qt need not draw what lies below it first.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    forms::PictureBox* box() const { return binding ? &static_cast<forms::PictureBox&>(binding->control()) : nullptr; }

    void paintEvent(QPaintEvent* e) override {
        forms::PictureBox* b = box();
        if (!b) return;
        QPainter p(this);
        const int border = b->BorderStyle ? 2 : 0;
        const QImage image = imageOf(b->image());
        const QRect picture = image.rect().translated(border, border);
        const QColor back = toQColor(b->BackColor());
        QPoint at;
        QImage* screen = sameFormatTarget(p, image, at);
        const QRegion& region = e->region();
        for (const QRect& r : region) {
            if (const QRect part = r & picture; !part.isEmpty()) {
                if (screen) {
                    copyRows(image, part.translated(-picture.topLeft()), *screen, part.translated(at));
                } else {
                    p.setClipRect(r);
                    p.drawImage(part.topLeft(), image, part.translated(-picture.topLeft()));
                }
            }
            if (picture.contains(r)) continue;
            // The back colour where the picture leaves room.
            p.setClipRect(r);
            for (const QRect& room : QRegion(r).subtracted(picture)) p.fillRect(room, back);
        }
        // The border last, over the picture, only where the update reaches it: strips filled
        // (a line under a clip costs many times more).
        if (!border) return;
        for (const QRect& r : region) {
            for (const BorderStrip& strip : sunkenBorder(rect())) {
                const QRect part = strip.rect & r;
                if (part.isEmpty()) continue;
                if (screen && screen->depth() == 32) {
                    fillRows(*screen, part.translated(at), strip.colour);
                } else {
                    p.setClipRect(r);
                    p.fillRect(part, QColor::fromRgb(strip.colour));
                }
            }
        }
    }

    void mousePressEvent(QMouseEvent* e) override { mouse(e, 0); }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(e, 1); }
    void mouseReleaseEvent(QMouseEvent* e) override { mouse(e, 2); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mouse(e, 3); }

private:
    // Mouse events in the box's ScaleMode units, measured from its inner area.
    void mouse(QMouseEvent* e, int what) {
        forms::PictureBox* b = box();
        if (!b || !binding || binding->updating() || !b->Enabled()) return;
        const double unit = b->ScaleMode() == 3 ? 1.0 : forms::kTwipsPerPixel;
        const int border = b->BorderStyle ? 2 : 0;
        const double x = (e->position().x() - border) * unit, y = (e->position().y() - border) * unit;
        const int shift = shiftBits(e->modifiers());
        Binding* bind = binding;
        switch (what) {
        case 0: {
            afterDblClick_ = false;
            const int button = buttonBits(e->button());
            if (b->onMouseDown) bind->input([=] { b->onMouseDown(button, shift, x, y); });
            break;
        }
        case 1: {
            const int buttons = buttonBits(e->buttons());
            if (b->onMouseMove) bind->input([=] { b->onMouseMove(buttons, shift, x, y); });
            break;
        }
        case 2: {
            const int button = buttonBits(e->button());
            const bool click = !afterDblClick_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
            afterDblClick_ = false;
            if (b->onMouseUp && !bind->input([=] { b->onMouseUp(button, shift, x, y); })) return;
            if (click && b->onClick) bind->input([=] { b->onClick(); });
            break;
        }
        case 3:
            // The second press of a double click gives DblClick, and its release no Click.
            afterDblClick_ = true;
            if (b->onDblClick) bind->input([=] { b->onDblClick(); });
            break;
        }
    }
    bool afterDblClick_ = false;
};

class PictureBinding final : public Binding {
public:
    PictureBinding(forms::PictureBox& box, QWidget* parent) : Binding(box, new PictureWidget(parent)), box_(box) {}

private:
    void syncKind(Prop prop) override {
        if (prop != Prop::Picture && prop != Prop::Colors && prop != Prop::Geometry) return;
        // A new picture repaints only the tiles drawn on since the last one (a plot redrawn 50
        // times a second changes a thin band); the rest of the screen already shows it.
        const bool known = box_.image().takeChanges(changed_);
        if (prop != Prop::Picture || !known) return widget()->update();
        if (changed_.empty()) return;
        const int border = box_.BorderStyle ? 2 : 0;
        // Pieces of a row of tiles lying a few tiles apart are repainted as one: each piece costs
        // a copy call per pixel row, more than the pixels between them.
        constexpr int kJoinPx = 3 * platform::Bitmap::kChangeTileWidth;
        rects_.clear();
        for (const platform::PixelArea& a : changed_) {
            const QRect r(a.x + border, a.y + border, a.width, a.height);
            if (!rects_.empty() && rects_.back().top() == r.top() && r.left() - rects_.back().right() - 1 <= kJoinPx)
                rects_.back().setRight(r.right());
            else
                rects_.push_back(r);
        }
        QRegion region;
        region.setRects(rects_.data(), static_cast<int>(rects_.size()));
        widget()->update(region);
    }

    forms::PictureBox& box_;
    std::vector<platform::PixelArea> changed_;
    std::vector<QRect> rects_;
};

// ---- HostedControl ----

class HostedWidget final : public QWidget, public Bound {
public:
    explicit HostedWidget(QWidget* parent, bool paints) : QWidget(parent) {
        // A painting control covers all of itself: Qt need not draw what lies below it first.
        setAttribute(Qt::WA_OpaquePaintEvent, paints);
    }
    platform::Bitmap frame;

protected:
    void paintEvent(QPaintEvent* e) override {
        if (!binding || !binding->paintsFrames()) return;
        platform::cpumeter::Scope meter(platform::cpumeter::Part::ProjectorDisplay);
        QPainter p(this);
        const QColor back = toQColor(binding->control().BackColor());
        const QImage image = imageOf(frame);
        QPoint at;
        QImage* screen = sameFormatTarget(p, image, at);
        for (const QRect& r : e->region()) {
            if (const QRect part = r & image.rect(); !part.isEmpty()) {
                if (screen) {
                    copyRows(image, part, *screen, part.translated(at));
                } else {
                    p.setClipRect(r);
                    p.drawImage(part.topLeft(), image, part);
                }
            }
            // No frame yet, or grown since the last one: the back colour until the next.
            if (image.rect().contains(r)) continue;
            p.setClipRect(r);
            for (const QRect& room : QRegion(r).subtracted(image.rect())) p.fillRect(room, back);
        }
    }
};

class HostedBinding final : public Binding {
public:
    HostedBinding(forms::HostedControl& hosted, QWidget* parent)
        : Binding(hosted, new HostedWidget(parent, hosted.paints())), hosted_(hosted) {}

    bool paintsFrames() const override { return hosted_.paints(); }

    void renderFrame(std::int64_t nowNs) override {
        auto* w = static_cast<HostedWidget*>(widget());
        if (!w) return;
        const int width = w->width(), height = w->height();
        if (width <= 0 || height <= 0) return;
        // A new size or a first frame is always drawn; otherwise only a picture that can differ.
        const bool fresh = w->frame.empty() || w->frame.width() != width || w->frame.height() != height;
        const bool failedBefore = failed_;
        try {
            if (!fresh && !failed_ && !hosted_.needsRepaint(nowNs)) return;
            w->frame.resize(width, height, platform::PixelFormat::Bgra32);
            hosted_.paint(w->frame, width, height);
            failed_ = false;
        } catch (const std::exception& e) {
            // A control that cannot draw a frame shows its last one; say so once.
            if (!reported_) std::fprintf(stderr, "%s: %s cannot paint: %s\n", forms::Application::title().c_str(),
                                         hosted_.name().c_str(), e.what());
            failed_ = reported_ = true;
        }
        // Only what can have changed is copied to the screen, where the control knows it.
        spans_.clear();
        if (fresh || failed_ || failedBefore || !hosted_.changedSpans(spans_))
            w->update();
        else if (!spans_.empty())
            w->update(regionOf(spans_, width, height));
    }

private:
    void applyColors() override {
        // The frame covers the widget; the colour shows only until the first one.
        if (!hosted_.paints()) return Binding::applyColors();
        widget()->update();
    }
    void syncKind(Prop) override {}

    // Spans as a region of bands of rows, each holding the spans' x ranges merged where they
    // overlap or lie close: a few rectangles a band, each copied on its own. One pass: a span
    // mostly falls inside a run its band has already (the frame before drew nearly the same).
    QRegion regionOf(const std::vector<forms::HostedControl::Span>& spans, int width, int height) {
        constexpr int kBand = 16, kGap = 32, kRuns = 8;
        const std::size_t bands = static_cast<std::size_t>((height + kBand - 1) / kBand);
        runCount_.assign(bands, 0);
        runs_.resize(bands * kRuns);
        const auto near = [](const Run& r, int x0, int x1) { return x0 <= r.x1 + kGap && r.x0 <= x1 + kGap; };
        // Spans come shape by shape and row by row: most lie inside the run the last one went to.
        const Run* last = nullptr;
        std::size_t lastBand = 0;
        for (const auto& s : spans) {
            const int x0 = std::max(s.x0, 0), x1 = std::min(s.x1, width);
            if (s.y < 0 || s.y >= height || x0 >= x1) continue;
            const std::size_t band = static_cast<std::size_t>(s.y / kBand);
            if (last && band == lastBand && x0 >= last->x0 && x1 <= last->x1) continue;
            Run* r = &runs_[band * kRuns];
            int& n = runCount_[band];
            int i = 0;
            while (i < n && !near(r[i], x0, x1)) ++i;
            if (i == n) {
                if (n < kRuns) {
                    r[n] = {x0, x1};
                    last = &r[n++];
                    lastBand = band;
                    continue;
                }
                // Too many runs: into the closest one (a little more is copied, nothing less).
                int best = 0, bestGap = std::numeric_limits<int>::max();
                for (int j = 0; j < n; ++j) {
                    const int gap = std::max(r[j].x0 - x1, x0 - r[j].x1);
                    if (gap < bestGap) bestGap = gap, best = j;
                }
                i = best;
            }
            lastBand = band;
            last = &r[i];
            if (x0 >= r[i].x0 && x1 <= r[i].x1) continue;
            r[i].x0 = std::min(r[i].x0, x0);
            r[i].x1 = std::max(r[i].x1, x1);
            // The wider run may now reach others: they join it.
            for (int j = 0; j < n;) {
                if (j == i || !near(r[j], r[i].x0, r[i].x1)) {
                    ++j;
                    continue;
                }
                r[i].x0 = std::min(r[i].x0, r[j].x0);
                r[i].x1 = std::max(r[i].x1, r[j].x1);
                r[j] = r[--n];
                if (i == n) i = j;
                j = 0;
            }
            last = &r[i];
        }
        // Rectangles ordered by band, then by x, as a region is built from.
        rects_.clear();
        for (std::size_t band = 0; band < bands; ++band) {
            Run* r = &runs_[band * kRuns];
            const int n = runCount_[band];
            for (int k = 1; k < n; ++k)
                for (int j = k; j > 0 && r[j].x0 < r[j - 1].x0; --j) std::swap(r[j], r[j - 1]);
            const int top = static_cast<int>(band) * kBand, bottom = std::min(height, top + kBand);
            for (int k = 0; k < n; ++k) rects_.emplace_back(r[k].x0, top, r[k].x1 - r[k].x0, bottom - top);
        }
        QRegion region;
        region.setRects(rects_.data(), static_cast<int>(rects_.size()));
        return region;
    }

    struct Run {
        int x0, x1;
    };
    forms::HostedControl& hosted_;
    std::vector<forms::HostedControl::Span> spans_;
    std::vector<Run> runs_;
    std::vector<int> runCount_;
    std::vector<QRect> rects_;
    bool failed_ = false;    // the last paint failed: asked again at every frame
    bool reported_ = false;  // said once
};

// ---- Shape, Line ----

class ShapeWidget final : public QWidget, public Bound {
public:
    explicit ShapeWidget(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!binding) return;
        QPainter p(this);
        if (binding->control().kind() == Kind::Line) {
            const auto& l = static_cast<const forms::LineControl&>(binding->control());
            p.setPen(toQColor(l.BorderColor));
            const QPoint origin = pixelRect(l).topLeft();
            const auto [a, b] = linePoints(l);
            p.drawLine(a - origin, b - origin);
            return;
        }
        const auto& s = static_cast<const forms::Shape&>(binding->control());
        p.setPen(toQColor(s.BorderColor));
        p.setBrush(s.FillStyle == 0 ? QBrush(toQColor(s.FillColor)) : QBrush(Qt::NoBrush));
        QRect r = rect().adjusted(0, 0, -1, -1);
        if (s.ShapeKind == 1 || s.ShapeKind == 3 || s.ShapeKind == 5) {
            const int side = std::min(r.width(), r.height());
            r = QRect(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
        }
        switch (s.ShapeKind) {
        case 2:
        case 3: p.drawEllipse(r); break;
        case 4:
        case 5: p.drawRoundedRect(r, 15, 15, Qt::RelativeSize); break;
        default: p.drawRect(r); break;
        }
    }
};

class ShapeBinding final : public Binding {
public:
    ShapeBinding(forms::Control& shape, QWidget* parent) : Binding(shape, new ShapeWidget(parent)) {}

private:
    void applyColors() override { widget()->update(); }
    void syncKind(Prop) override { widget()->update(); }
};

}  // namespace

std::unique_ptr<Binding> makeBinding(forms::Control& c, QWidget* parent) {
    std::unique_ptr<Binding> b;
    switch (c.kind()) {
    case Kind::TextBox: b = std::make_unique<TextBinding>(static_cast<forms::TextBox&>(c), parent); break;
    case Kind::Label: b = std::make_unique<LabelBinding>(static_cast<forms::Label&>(c), parent); break;
    case Kind::CommandButton: b = std::make_unique<ButtonBinding>(static_cast<forms::CommandButton&>(c), parent); break;
    case Kind::CheckBox: b = std::make_unique<CheckBinding>(static_cast<forms::CheckBox&>(c), parent); break;
    case Kind::OptionButton: b = std::make_unique<OptionBinding>(static_cast<forms::OptionButton&>(c), parent); break;
    case Kind::ListBox:
    case Kind::FileListBox:
    case Kind::DirListBox: b = std::make_unique<ListBinding>(static_cast<forms::ListBox&>(c), parent); break;
    case Kind::ComboBox: b = std::make_unique<ComboBinding>(static_cast<forms::ComboBox&>(c), parent); break;
    case Kind::HScrollBar:
    case Kind::VScrollBar: b = std::make_unique<ScrollBinding>(static_cast<forms::ScrollBar&>(c), parent); break;
    case Kind::Frame: b = std::make_unique<FrameBinding>(static_cast<forms::Frame&>(c), parent); break;
    case Kind::PictureBox: b = std::make_unique<PictureBinding>(static_cast<forms::PictureBox&>(c), parent); break;
    case Kind::Hosted: b = std::make_unique<HostedBinding>(static_cast<forms::HostedControl&>(c), parent); break;
    case Kind::Shape:
    case Kind::Line: b = std::make_unique<ShapeBinding>(c, parent); break;
    case Kind::Timer:
    case Kind::Menu: return nullptr;
    }
    if (b) b->syncAll();
    return b;
}

}  // namespace gui::detail
