// The painted client area of the main window: the own login and state, the
// rule, the two contact groups with their toggles and presence pictures, the
// status line and the logo. Coordinates are the view's own (its top-left
// corner is the client area's origin, below the menu bar).
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "client/core/contact_layout.h"
#include "client/ui/shell/fonts.h"

class QMenu;

namespace parlo::client {

class Session;

class ContactListView : public QWidget {
    Q_OBJECT

  public:
    explicit ContactListView(Session& session, QWidget* parent = nullptr);

    // Where the groups, rows and toggles are now; painting and the mouse
    // handlers both use it.
    ContactListLayout Layout() const;
    const std::string& StatusLine() const { return status_line_; }
    // The own login and state as painted at the top ("alice (en ligne)"),
    // empty before a login is known.
    QString OwnLabel() const;
    // The contacts painted in `group`, top to bottom: none while it is
    // collapsed.
    std::vector<const Contact*> ShownRows(ContactGroup group) const;
    const ContactListFonts& Fonts() const { return fonts_; }

    // Builds the contact menu for the contact at height y (none there: no
    // menu). Its entries act on a copy of the contact's login, so a list
    // rebuilt while the menu is open changes nothing.
    std::unique_ptr<QMenu> MakeContactMenu(int y);

  signals:
    // The contact menu's "&Historique": the conversations with `login`.
    void HistoryRequested(const QString& login);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString OwnStateText() const;
    void PaintOwnLogin(QPainter& painter);
    void PaintRule(QPainter& painter);
    void PaintGroup(QPainter& painter, ContactGroup group, const QString& header, int header_y,
                    const PixelRect& toggle, bool expanded, int first_row_y);
    void PaintStatusLine(QPainter& painter);
    void ToggleGroup(ContactGroup group);

    Session& session_;
    ContactListFonts fonts_;
    QPixmap logo_;
    std::string status_line_;
};

}  // namespace parlo::client
