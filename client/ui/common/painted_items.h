// Screen readers and widgets that paint their items themselves (the contact
// list, the transcript): such a widget implements PaintedItems, and its
// accessible interface then has one child per item, with the item's name,
// place and state.
#pragma once

#include <QAccessible>
#include <QRect>
#include <QString>

class QWidget;

namespace parlo::client {

class PaintedItems {
  public:
    virtual ~PaintedItems() = default;

    virtual int AccessibleItemCount() const = 0;
    virtual QString AccessibleItemName(int index) const = 0;
    // In the widget's coordinates.
    virtual QRect AccessibleItemRect(int index) const = 0;
    virtual QAccessible::State AccessibleItemState(int /*index*/) const { return {}; }
    // The item the keyboard stands on; -1 for none.
    virtual int AccessibleFocusItem() const { return -1; }
    virtual QAccessible::Role AccessibleRole() const { return QAccessible::List; }
    virtual QAccessible::Role AccessibleItemRole() const { return QAccessible::ListItem; }
};

// Makes the interfaces of every PaintedItems widget; runs once however often
// it is called. Each such widget calls it when it is built.
void InstallPaintedItemsAccessibility();

// Tells screen readers that the keyboard now stands on item `index` of
// `widget`.
void NotifyAccessibleFocus(QWidget* widget, int index);

}  // namespace parlo::client
