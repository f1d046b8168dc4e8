#include "client/ui/common/painted_items.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace parlo::client {
namespace {

PaintedItems* ItemsOf(QObject* object) {
    return dynamic_cast<PaintedItems*>(object);
}

// One painted item: found by its index whenever it is asked about, so a
// list that changed answers with what is painted now.
class PaintedItemInterface final : public QAccessibleInterface {
  public:
    PaintedItemInterface(QWidget* widget, int index) : widget_(widget), index_(index) {}

    bool isValid() const override {
        return widget_ && index_ < ItemsOf(widget_)->AccessibleItemCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return widget_ ? widget_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(widget_);
    }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name) {
            return {};
        }
        return ItemsOf(widget_)->AccessibleItemName(index_);
    }
    void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QRect local = ItemsOf(widget_)->AccessibleItemRect(index_);
        return QRect(widget_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override {
        return widget_ ? ItemsOf(widget_)->AccessibleItemRole() : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const PaintedItems* items = ItemsOf(widget_);
        state = items->AccessibleItemState(index_);
        const bool current = items->AccessibleFocusItem() == index_;
        state.focused = current && widget_->hasFocus();
        state.selected = current;
        state.invisible = !widget_->rect().intersects(items->AccessibleItemRect(index_));
        return state;
    }

  private:
    QPointer<QWidget> widget_;
    int index_;
};

// The widget, whose children are its painted items.
class PaintedItemsInterface final : public QAccessibleWidget {
  public:
    explicit PaintedItemsInterface(QWidget* widget)
        : QAccessibleWidget(widget, ItemsOf(widget)->AccessibleRole()) {}
    ~PaintedItemsInterface() override {
        for (const QAccessible::Id id : children_) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return Items()->AccessibleItemCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        // Registered once per index: the cache owns them until this goes.
        while (children_.size() <= static_cast<size_t>(index)) {
            children_.push_back(QAccessible::registerAccessibleInterface(
                new PaintedItemInterface(widget(), static_cast<int>(children_.size()))));
        }
        return QAccessible::accessibleInterface(children_[static_cast<size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (size_t i = 0; i < children_.size(); ++i) {
            if (QAccessible::accessibleInterface(children_[i]) == child) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < childCount(); ++i) {
            if (Items()->AccessibleItemRect(i).contains(local)) {
                return child(i);
            }
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const int index = Items()->AccessibleFocusItem();
        return widget()->hasFocus() && index >= 0 ? child(index) : nullptr;
    }

  private:
    PaintedItems* Items() const { return ItemsOf(widget()); }

    mutable std::vector<QAccessible::Id> children_;
};

QAccessibleInterface* MakePaintedItemsInterface(const QString& /*key*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || ItemsOf(widget) == nullptr) {
        return nullptr;
    }
    return new PaintedItemsInterface(widget);
}

}  // namespace

void InstallPaintedItemsAccessibility() {
    static const bool installed = (QAccessible::installFactory(MakePaintedItemsInterface), true);
    (void)installed;
}

void NotifyAccessibleFocus(QWidget* widget, int index) {
    if (!QAccessible::isActive() || index < 0) {
        return;
    }
    QAccessibleEvent event(widget, QAccessible::Focus);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

}  // namespace parlo::client
