#include "gui/controls/listbox.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <limits>

#include "forms/controls/filelists.h"
#include "forms/errors.h"
#include "gui/keys.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

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

}  // namespace

std::unique_ptr<Binding> bindListBox(forms::ListBox& control, QWidget* parent) { return std::make_unique<ListBinding>(control, parent); }

std::unique_ptr<Binding> bindComboBox(forms::ComboBox& control, QWidget* parent) { return std::make_unique<ComboBinding>(control, parent); }

}  // namespace gui::detail
