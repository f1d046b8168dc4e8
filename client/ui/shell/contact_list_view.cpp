#include "client/ui/shell/contact_list_view.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

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

// The row the keyboard stands on: a pale fill and a frame, on the white list.
const QColor kCurrentFill(220, 232, 247);
const QColor kCurrentFrame(70, 110, 180);

// Text drawn with its top-left corner at (x, y), as the list places it.
void DrawTextAt(QPainter& painter, const QFont& font, int x, int y, const QString& text) {
    painter.setFont(font);
    painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
}

}  // namespace

ContactListView::ContactListView(Session& session, QWidget* parent)
    : QWidget(parent),
      session_(session),
      fonts_(ContactListFonts::Make()),
      scroll_bar_(new QScrollBar(Qt::Vertical, this)) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    scroll_bar_->setObjectName(QStringLiteral("contactsScrollBar"));
    scroll_bar_->setSingleStep(ContactListLayout::kRowHeight);
    scroll_bar_->hide();
    connect(scroll_bar_, &QScrollBar::valueChanged, this, [this] { update(); });
    InstallPaintedItemsAccessibility();
}

ContactListLayout ContactListView::Layout() const {
    const ClientSettings& settings = session_.Settings();
    return LayOutContacts(session_.Contacts(), settings.online_expanded, settings.offline_expanded,
                          QFontMetrics(fonts_.header).height(), scroll_bar_->value());
}

std::vector<ContactListItem> ContactListView::Items() const {
    return ContactListItems(session_.Contacts(), Layout(), ContentWidth());
}

std::optional<size_t> ContactListView::CurrentItem() const {
    if (!current_) {
        return std::nullopt;
    }
    const std::vector<ContactListItem> items = Items();
    for (size_t i = 0; i < items.size(); ++i) {
        const ContactListItem& item = items[i];
        if (item.group != current_->group) {
            continue;
        }
        if (item.contact == nullptr ? current_->login.empty()
                                    : item.contact->login == current_->login) {
            return i;
        }
    }
    // The contact went or its group folded: its header stands in for it.
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].contact == nullptr && items[i].group == current_->group) {
            return i;
        }
    }
    return std::nullopt;
}

int ContactListView::ContentWidth() const {
    return scroll_bar_->isHidden() ? width() : width() - scroll_bar_->width();
}

void ContactListView::ContentChanged() {
    UpdateScrollRange();
    update();
}

void ContactListView::UpdateScrollRange() {
    const int hidden = std::max(0, Layout().content_height - height());
    scroll_bar_->setRange(0, hidden);  // keeps the value within the range
    scroll_bar_->setPageStep(std::max(ContactListLayout::kRowHeight, height()));
    scroll_bar_->setVisible(hidden > 0);
    const int bar_width = scroll_bar_->sizeHint().width();
    scroll_bar_->setGeometry(width() - bar_width, 0, bar_width, height());
}

void ContactListView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateScrollRange();
}

void ContactListView::wheelEvent(QWheelEvent* event) {
    if (!scroll_bar_->isHidden()) {
        QCoreApplication::sendEvent(scroll_bar_, event);
    }
}

void ContactListView::paintEvent(QPaintEvent* /*event*/) {
    if (session_.ReconnectOnPaint()) {
        // Logging in may connect and open boxes: not from inside a paint.
        QTimer::singleShot(0, this, [this] { session_.MainWindowPainting(); });
    }
    QPainter painter(this);  // clipped to the region being repainted
    painter.fillRect(rect(), Qt::white);
    const ContactListLayout layout = Layout();
    PaintCurrentItem(painter);
    painter.setPen(Qt::black);
    PaintOwnLogin(painter, layout);
    PaintRule(painter, layout);
    PaintGroup(painter, ContactGroup::kOnline, kOnlineHeader, layout.online_header_y,
               layout.online_toggle, layout.online_expanded, layout.online_top);
    PaintGroup(painter, ContactGroup::kOffline, kOfflineHeader, layout.offline_header_y,
               layout.offline_toggle, layout.offline_expanded, layout.offline_top);
    PaintStatusLine(painter);
    // The logo lies over everything else, as a picture in the corner would.
    const QPixmap logo = LogoPixmap(devicePixelRatioF());
    const QSize logo_size = logo.deviceIndependentSize().toSize();
    painter.drawPixmap(ContentWidth() - logo_size.width(), height() - logo_size.height(), logo);
}

QString ContactListView::OwnLabel() const {
    const std::string& login = session_.PlainLogin();
    if (login.empty()) {
        return {};
    }
    return Q(login) + QLatin1Char(' ') + OwnStateText();
}

QString ContactListView::OwnStateText() const {
    return QStringLiteral("(") + Q(session_.OwnStateText()) + QStringLiteral(")");
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

void ContactListView::PaintOwnLogin(QPainter& painter, const ContactListLayout& layout) {
    const std::string& login = session_.PlainLogin();
    if (login.empty()) {
        return;
    }
    const QString text = Q(login);
    DrawTextAt(painter, fonts_.title, 10, layout.Scrolled(10), text);
    const int x = 10 + QFontMetrics(fonts_.title).horizontalAdvance(text) + 5;
    DrawTextAt(painter, fonts_.state, x, layout.Scrolled(12), OwnStateText());
}

void ContactListView::PaintRule(QPainter& painter, const ContactListLayout& layout) {
    for (const RuleSegment& segment : GradientRule(ContentWidth())) {
        painter.fillRect(QRect(segment.left, layout.Scrolled(RuleSegment::kRuleY) - 1,
                               segment.right - segment.left, 2),
                         QColor(255, segment.green, 0));
    }
}

void ContactListView::PaintGroup(QPainter& painter, ContactGroup group, const QString& header,
                                 int header_y, const PixelRect& toggle, bool expanded,
                                 int first_row_y) {
    const qreal ratio = devicePixelRatioF();
    DrawTextAt(painter, fonts_.header, ContactListLayout::kHeaderX, header_y, header);
    painter.drawPixmap(ToQRect(toggle), TogglePixmap(expanded, ratio));
    int y = first_row_y;
    for (const Contact* contact : ShownRows(group)) {
        painter.drawPixmap(ContactListLayout::kIconX, y, PresencePixmap(contact->picture, ratio));
        DrawTextAt(painter, fonts_.names, ContactListLayout::kLoginX,
                   y + ContactListLayout::kLoginDy, Q(contact->login));
        y += ContactListLayout::kRowHeight;
    }
}

void ContactListView::PaintCurrentItem(QPainter& painter) {
    const std::optional<size_t> current = CurrentItem();
    if (!current || !hasFocus()) {
        return;
    }
    const QRect row = ToQRect(Items()[*current].rect).adjusted(2, 0, -2, 0);
    painter.fillRect(row, kCurrentFill);
    painter.setPen(QPen(kCurrentFrame, 1, Qt::DotLine));
    painter.drawRect(row.adjusted(0, 0, -1, -1));
}

void ContactListView::PaintStatusLine(QPainter& painter) {
    // The hovered contact's status; else why the last connection failed;
    // else why the history is not kept.
    const std::string& text = !status_line_.empty()                   ? status_line_
                              : !session_.ConnectionProblem().empty() ? session_.ConnectionProblem()
                                                                      : history_problem_;
    if (text.empty()) {
        return;
    }
    painter.setFont(fonts_.status);
    painter.setPen(Qt::black);
    const QRect area(5, 0, std::max(0, ContentWidth() - 10), std::max(0, height() - 5));
    const int flags = Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap;
    // Rows scrolled under the line do not show through it.
    painter.fillRect(painter.boundingRect(area, flags, Q(text)).adjusted(-5, -2, 5, 5), Qt::white);
    painter.drawText(area, flags, Q(text));
}

void ContactListView::SetHistoryProblem(std::string_view problem) {
    if (problem != history_problem_) {
        history_problem_ = std::string(problem);
        update(ToQRect(StatusStrip(ContentWidth(), height())));
    }
}

void ContactListView::SetStatusLine(std::string status) {
    if (status != status_line_) {
        status_line_ = std::move(status);
        update(ToQRect(StatusStrip(ContentWidth(), height())));
    }
}

void ContactListView::mouseMoveEvent(QMouseEvent* event) {
    const int y = event->position().toPoint().y();
    const Contact* hovered = HitTest(session_.Contacts(), Layout(), y);
    std::string status = StatusText(hovered);
    session_.MouseMoved();
    SetStatusLine(std::move(status));
}

std::unique_ptr<QMenu> ContactListView::MakeContactMenu(int y) {
    const Contact* chosen = HitTest(session_.Contacts(), Layout(), y);
    if (chosen == nullptr) {
        return nullptr;
    }
    return MakeContactMenuFor(*chosen);
}

std::unique_ptr<QMenu> ContactListView::MakeContactMenuFor(const Contact& chosen) {
    const std::string login = chosen.login;
    auto menu = std::make_unique<QMenu>();
    QAction* message = menu->addAction(QStringLiteral("Envoyer un &message instantanné"));
    message->setEnabled(CanMessage(chosen));
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

void ContactListView::OpenContactMenu(const Contact& contact, QPoint global) {
    window()->activateWindow();
    // Shown without waiting for the choice; it deletes itself once closed.
    QMenu* shown = MakeContactMenuFor(contact).release();
    shown->setObjectName(QStringLiteral("contactMenu"));
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(global);
}

void ContactListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const Contact* chosen = HitTest(session_.Contacts(), Layout(), event->position().toPoint().y());
    if (chosen != nullptr) {
        OpenContactMenu(*chosen, event->globalPosition().toPoint());
    }
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

// ---- Keyboard ----------------------------------------------------------------

void ContactListView::keyPressEvent(QKeyEvent* event) {
    const std::vector<ContactListItem> items = Items();
    const std::optional<size_t> current = CurrentItem();
    const ContactListItem* item = current ? &items[*current] : nullptr;
    const bool shift_f10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Down:
            MoveTo(current ? std::min(*current + 1, items.size() - 1) : 0);
            return;
        case Qt::Key_Up:
            MoveTo(current && *current > 0 ? *current - 1 : 0);
            return;
        case Qt::Key_Home:
            MoveTo(0);
            return;
        case Qt::Key_End:
            MoveTo(items.size() - 1);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (item != nullptr) {
                ActivateCurrent();
                return;
            }
            break;  // the main window hides
        case Qt::Key_Space:
            if (item != nullptr && item->contact == nullptr) {
                ToggleGroup(item->group);
                return;
            }
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
            if (item != nullptr && item->contact == nullptr) {
                session_.SetGroupExpanded(item->group, event->key() == Qt::Key_Right);
                return;
            }
            break;
        case Qt::Key_Menu:
        case Qt::Key_F10:
            if ((event->key() == Qt::Key_Menu || shift_f10) && item != nullptr &&
                item->contact != nullptr) {
                const QRect row = ToQRect(item->rect);
                OpenContactMenu(*item->contact,
                                mapToGlobal(QPoint(ContactListLayout::kLoginX, row.bottom())));
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void ContactListView::MoveTo(size_t index) {
    const std::vector<ContactListItem> items = Items();
    if (index >= items.size()) {
        return;
    }
    const ContactListItem& item = items[index];
    current_ = ItemKey{item.group, item.contact != nullptr ? item.contact->login : std::string()};
    if (index == 0) {
        scroll_bar_->setValue(0);  // the own login above the first header too
    } else {
        ScrollToShow(item.rect);
    }
    SetStatusLine(StatusText(item.contact));
    update();
    NotifyAccessibleFocus(this, static_cast<int>(index));
}

void ContactListView::ScrollToShow(const PixelRect& rect) {
    // Above the status line's strip, when the view is tall enough for both.
    const int visible_bottom =
        std::max(ContactListLayout::kRowHeight, height() - ContactListLayout::kBottomMargin);
    if (rect.top < 0) {
        scroll_bar_->setValue(scroll_bar_->value() + rect.top);
    } else if (rect.bottom > visible_bottom) {
        scroll_bar_->setValue(scroll_bar_->value() + rect.bottom - visible_bottom);
    }
}

void ContactListView::ActivateCurrent() {
    const std::optional<size_t> current = CurrentItem();
    const ContactListItem item = Items()[*current];
    if (item.contact == nullptr) {
        ToggleGroup(item.group);
        return;
    }
    // As a double-click: a conversation, or an e-mail to an offline contact.
    const std::string login = item.contact->login;
    session_.OpenConversationWith(login);
}

void ContactListView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void ContactListView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

// ---- Screen readers ------------------------------------------------------------

int ContactListView::AccessibleItemCount() const {
    return static_cast<int>(Items().size());
}

QString ContactListView::AccessibleItemName(int index) const {
    const ContactListItem item = Items().at(static_cast<size_t>(index));
    if (item.contact == nullptr) {
        return item.group == ContactGroup::kOnline ? kOnlineHeader : kOfflineHeader;
    }
    return Q(ContactRowName(*item.contact));
}

QRect ContactListView::AccessibleItemRect(int index) const {
    return ToQRect(Items().at(static_cast<size_t>(index)).rect);
}

QAccessible::State ContactListView::AccessibleItemState(int index) const {
    const ContactListItem item = Items().at(static_cast<size_t>(index));
    QAccessible::State state;
    state.focusable = true;
    state.selectable = true;
    if (item.contact == nullptr) {
        const ClientSettings& settings = session_.Settings();
        const bool expanded = item.group == ContactGroup::kOnline ? settings.online_expanded
                                                                  : settings.offline_expanded;
        state.expandable = true;
        state.expanded = expanded;
        state.collapsed = !expanded;
    }
    return state;
}

int ContactListView::AccessibleFocusItem() const {
    const std::optional<size_t> current = CurrentItem();
    return current ? static_cast<int>(*current) : -1;
}

}  // namespace parlo::client
