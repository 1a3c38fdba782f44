#include "gui/controls/label.h"

#include <QLabel>
#include <QMouseEvent>

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

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

}  // namespace

std::unique_ptr<Binding> bindLabel(forms::Label& control, QWidget* parent) { return std::make_unique<LabelBinding>(control, parent); }

}  // namespace gui::detail
