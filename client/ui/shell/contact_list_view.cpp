#include "client/ui/shell/contact_list_view.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "client/core/qt_text.h"
#include "client/core/session.h"
#include "client/ui/shell/artwork.h"

namespace parlo::client {
namespace {

QRect ToQRect(const PixelRect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

const QString kOnlineHeader = QStringLiteral("Connecté");
const QString kOfflineHeader = QStringLiteral("Déconnecté");

// Text drawn with its top-left corner at (x, y), as the list places it.
void DrawTextAt(QPainter& painter, const QFont& font, int x, int y, const QString& text) {
    painter.setFont(font);
    painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
}

}  // namespace

ContactListView::ContactListView(Session& session, QWidget* parent)
    : QWidget(parent), session_(session), fonts_(ContactListFonts::Make()), logo_(LogoPixmap()) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

ContactListLayout ContactListView::Layout() const {
    const ClientSettings& settings = session_.Settings();
    return LayOutContacts(session_.Contacts(), settings.online_expanded, settings.offline_expanded,
                          QFontMetrics(fonts_.header).height());
}

void ContactListView::paintEvent(QPaintEvent* /*event*/) {
    if (session_.ReconnectOnPaint()) {
        // Logging in may connect and open boxes: not from inside a paint.
        QTimer::singleShot(0, this, [this] { session_.MainWindowPainting(); });
    }
    QPainter painter(this);  // clipped to the region being repainted
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::black);
    PaintOwnLogin(painter);
    PaintRule(painter);
    const ContactListLayout layout = Layout();
    PaintGroup(painter, ContactGroup::kOnline, kOnlineHeader, ContactListLayout::kOnlineHeaderY,
               layout.online_toggle, layout.online_expanded, ContactListLayout::kOnlineTop);
    PaintGroup(painter, ContactGroup::kOffline, kOfflineHeader, layout.offline_header_y,
               layout.offline_toggle, layout.offline_expanded, layout.offline_top);
    PaintStatusLine(painter);
    // The logo lies over everything else, as a picture in the corner would.
    painter.drawPixmap(width() - logo_.width(), height() - logo_.height(), logo_);
}

QString ContactListView::OwnLabel() const {
    const std::string& login = session_.PlainLogin();
    if (login.empty()) {
        return {};
    }
    return Q(login) + QLatin1Char(' ') + OwnStateText();
}

QString ContactListView::OwnStateText() const {
    return QStringLiteral("(") + Q(OwnStateLabel(session_.OwnState())) + QStringLiteral(")");
}

std::vector<const Contact*> ContactListView::ShownRows(ContactGroup group) const {
    const ClientSettings& settings = session_.Settings();
    const bool expanded =
        group == ContactGroup::kOnline ? settings.online_expanded : settings.offline_expanded;
    if (!expanded) {
        return {};
    }
    return session_.Contacts().GroupMembers(group);
}

void ContactListView::PaintOwnLogin(QPainter& painter) {
    const std::string& login = session_.PlainLogin();
    if (login.empty()) {
        return;
    }
    const QString text = Q(login);
    DrawTextAt(painter, fonts_.title, 10, 10, text);
    const int x = 10 + QFontMetrics(fonts_.title).horizontalAdvance(text) + 5;
    DrawTextAt(painter, fonts_.state, x, 12, OwnStateText());
}

void ContactListView::PaintRule(QPainter& painter) {
    for (const RuleSegment& segment : GradientRule(width())) {
        painter.fillRect(
            QRect(segment.left, RuleSegment::kRuleY - 1, segment.right - segment.left, 2),
            QColor(255, segment.green, 0));
    }
}

void ContactListView::PaintGroup(QPainter& painter, ContactGroup group, const QString& header,
                                 int header_y, const PixelRect& toggle, bool expanded,
                                 int first_row_y) {
    DrawTextAt(painter, fonts_.header, ContactListLayout::kHeaderX, header_y, header);
    painter.drawPixmap(ToQRect(toggle), TogglePixmap(expanded));
    int y = first_row_y;
    for (const Contact* contact : ShownRows(group)) {
        painter.drawPixmap(ContactListLayout::kIconX, y, PresencePixmap(contact->picture));
        DrawTextAt(painter, fonts_.names, ContactListLayout::kLoginX,
                   y + ContactListLayout::kLoginDy, Q(contact->login));
        y += ContactListLayout::kRowHeight;
    }
}

void ContactListView::PaintStatusLine(QPainter& painter) {
    // The hovered contact's status; else why the last connection failed.
    const std::string& text = status_line_.empty() ? session_.ConnectionProblem() : status_line_;
    if (text.empty()) {
        return;
    }
    painter.setFont(fonts_.status);
    painter.setPen(Qt::black);
    painter.drawText(QRect(5, 0, std::max(0, width() - 10), std::max(0, height() - 5)),
                     Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, Q(text));
}

void ContactListView::mouseMoveEvent(QMouseEvent* event) {
    const int y = event->position().toPoint().y();
    const Contact* hovered = HitTest(session_.Contacts(), Layout(), y);
    std::string status = StatusText(hovered);
    session_.MouseMoved();
    if (status != status_line_) {
        status_line_ = std::move(status);
        update(ToQRect(StatusStrip(width(), height())));
    }
}

std::unique_ptr<QMenu> ContactListView::MakeContactMenu(int y) {
    const Contact* chosen = HitTest(session_.Contacts(), Layout(), y);
    if (chosen == nullptr) {
        return nullptr;
    }
    const std::string login = chosen->login;
    auto menu = std::make_unique<QMenu>();
    QAction* message = menu->addAction(QStringLiteral("Envoyer un &message instantanné"));
    message->setEnabled(CanMessage(*chosen));
    QAction* mail = menu->addAction(QStringLiteral("Envoyer un &courrier électronique"));
    QAction* remove = menu->addAction(QStringLiteral("&Supprimer"));
    QAction* history = menu->addAction(QStringLiteral("&Historique"));
    connect(message, &QAction::triggered, this,
            [this, login] { session_.OpenConversationWith(login); });
    connect(mail, &QAction::triggered, this, [this, login] { session_.MailContact(login); });
    connect(remove, &QAction::triggered, this, [this, login] { session_.RemoveContact(login); });
    connect(history, &QAction::triggered, this, [this, login] { emit HistoryRequested(Q(login)); });
    return menu;
}

void ContactListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    std::unique_ptr<QMenu> menu = MakeContactMenu(event->position().toPoint().y());
    if (!menu) {
        return;
    }
    window()->activateWindow();
    // Shown without waiting for the choice; it deletes itself once closed.
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(event->globalPosition().toPoint());
}

void ContactListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint point = event->position().toPoint();
    const ContactListLayout layout = Layout();
    if (const Contact* contact = HitTest(session_.Contacts(), layout, point.y())) {
        const std::string login = contact->login;
        session_.OpenConversationWith(login);
        return;
    }
    if (layout.online_toggle.Contains(point.x(), point.y())) {
        ToggleGroup(ContactGroup::kOnline);
    } else if (layout.offline_toggle.Contains(point.x(), point.y())) {
        ToggleGroup(ContactGroup::kOffline);
    }
}

void ContactListView::ToggleGroup(ContactGroup group) {
    const ClientSettings& settings = session_.Settings();
    const bool expanded =
        group == ContactGroup::kOnline ? settings.online_expanded : settings.offline_expanded;
    session_.SetGroupExpanded(group, !expanded);  // repaints the window
}

}  // namespace parlo::client
