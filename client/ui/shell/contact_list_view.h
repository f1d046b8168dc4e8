// The painted client area of the main window: the own login and state, the
// rule, the two contact groups with their toggles and presence pictures, the
// status line and the logo. Coordinates are the view's own (its top-left
// corner is the client area's origin, below the menu bar). A scroll bar on
// the right moves the login, the rule and the groups when they do not fit;
// the status line and the logo stay at the bottom. The keyboard walks
// through the headers and rows, and screen readers read them.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/core/contact_layout.h"
#include "client/ui/common/painted_items.h"
#include "client/ui/shell/fonts.h"

class QMenu;
class QScrollBar;

namespace parlo::client {

class Session;

class ContactListView : public QWidget, public PaintedItems {
    Q_OBJECT

  public:
    explicit ContactListView(Session& session, QWidget* parent = nullptr);

    // Where the groups, rows and toggles are now, scrolled; painting, the
    // mouse and the keyboard all use it.
    ContactListLayout Layout() const;
    // The headers and rows the keyboard walks through, top to bottom.
    std::vector<ContactListItem> Items() const;
    // The index in Items() the keyboard stands on; none before it moved.
    std::optional<size_t> CurrentItem() const;
    QScrollBar& ScrollBar() const { return *scroll_bar_; }
    const std::string& StatusLine() const { return status_line_; }
    // Shown in the status line while nothing else is (empty: nothing).
    void SetHistoryProblem(std::string_view problem);
    // The own login and state as painted at the top ("alice (en ligne)"),
    // empty before a login is known.
    QString OwnLabel() const;
    // The contacts painted in `group`, top to bottom: none while it is
    // collapsed.
    std::vector<const Contact*> ShownRows(ContactGroup group) const;
    const ContactListFonts& Fonts() const { return fonts_; }

    // The contacts, groups or own state changed: the scroll range follows,
    // then the view repaints.
    void ContentChanged();

    // Builds the contact menu for the contact at height y (none there: no
    // menu). Its entries act on a copy of the contact's login, so a list
    // rebuilt while the menu is open changes nothing.
    std::unique_ptr<QMenu> MakeContactMenu(int y);

    // PaintedItems.
    int AccessibleItemCount() const override;
    QString AccessibleItemName(int index) const override;
    QRect AccessibleItemRect(int index) const override;
    QAccessible::State AccessibleItemState(int index) const override;
    int AccessibleFocusItem() const override;
  signals:
    // The contact menu's "&Historique": the conversations with `login`.
    void HistoryRequested(const QString& login);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    // The keyboard's place, kept by name so that a rebuilt list keeps it.
    struct ItemKey {
        ContactGroup group = ContactGroup::kOnline;
        std::string login;  // empty: the group's header
    };

    QString OwnStateText() const;
    void PaintOwnLogin(QPainter& painter, const ContactListLayout& layout);
    void PaintRule(QPainter& painter, const ContactListLayout& layout);
    void PaintGroup(QPainter& painter, ContactGroup group, const QString& header, int header_y,
                    const PixelRect& toggle, bool expanded, int first_row_y);
    void PaintCurrentItem(QPainter& painter);
    void PaintStatusLine(QPainter& painter);
    // The width the content may use: the scroll bar's strip excluded.
    int ContentWidth() const;
    void UpdateScrollRange();
    void ToggleGroup(ContactGroup group);
    void SetStatusLine(std::string status);
    void MoveTo(size_t index);
    void ScrollToShow(const PixelRect& rect);
    void ActivateCurrent();
    void OpenContactMenu(const Contact& contact, QPoint global);
    std::unique_ptr<QMenu> MakeContactMenuFor(const Contact& contact);

    Session& session_;
    ContactListFonts fonts_;
    QPixmap logo_;
    QScrollBar* scroll_bar_;
    std::string status_line_;
    std::string history_problem_;
    std::optional<ItemKey> current_;
};

}  // namespace parlo::client
