#include "gui/controls/textbox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>

#include "gui/keys.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

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
    // A text box has its sunken edge whatever its colours (black on a black form too); the style
    // draws the edge from the surroundings' colour, and the box paints only its inside.
    QColor surroundColor(const QColor&) const override { return QApplication::palette().color(QPalette::Window); }
    bool fillsBackground() const override { return false; }

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

}  // namespace

std::unique_ptr<Binding> bindTextBox(forms::TextBox& control, QWidget* parent) { return std::make_unique<TextBinding>(control, parent); }

}  // namespace gui::detail
