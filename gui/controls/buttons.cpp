#include "gui/controls/buttons.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

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

}  // namespace

std::unique_ptr<Binding> bindCommandButton(forms::CommandButton& control, QWidget* parent) { return std::make_unique<ButtonBinding>(control, parent); }

std::unique_ptr<Binding> bindCheckBox(forms::CheckBox& control, QWidget* parent) { return std::make_unique<CheckBinding>(control, parent); }

std::unique_ptr<Binding> bindOptionButton(forms::OptionButton& control, QWidget* parent) { return std::make_unique<OptionBinding>(control, parent); }

}  // namespace gui::detail
