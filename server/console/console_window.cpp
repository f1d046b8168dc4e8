#include "server/console/console_window.h"

#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

#include "server/console/admin_dialog.h"
#include "server/console/broadcast_dialog.h"
#include "server/console/log_view.h"
#include "server/console/prompts.h"
#include "server/console/report_list.h"
#include "shared_ui/credits_box.h"

namespace parlo::server {
namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Rows are matched by their computer, IP and port: what a row shows of its
// connection that never changes.
QString KeyOf(const ConsoleRow& row) {
    return FromUtf8(row.computer) + QChar(0) + FromUtf8(row.ip) + QChar(0) + FromUtf8(row.port);
}

QString KeyOf(const QTreeWidgetItem& item) {
    return item.text(0) + QChar(0) + item.text(1) + QChar(0) + item.text(2);
}

void SetTextIfChanged(QTreeWidgetItem& item, int column, const std::string& text) {
    const QString shown = FromUtf8(text);
    if (item.text(column) != shown) {
        item.setText(column, shown);
    }
}

// Makes `list` show `rows` by removing, inserting and renaming rows in
// place: the rows that stay keep their selection, and the view its scroll
// position. The core never reorders the rows it keeps, so they are met in
// the same order on both sides; the last step only guards that assumption.
void ShowRowsInPlace(QTreeWidget& list, const ConsoleRows& rows) {
    QHash<QString, int> wanted;
    for (size_t i = 0; i < rows.Size(); ++i) {
        ++wanted[KeyOf(rows.At(i))];
    }
    for (int i = 0; i < list.topLevelItemCount();) {
        const auto found = wanted.find(KeyOf(*list.topLevelItem(i)));
        if (found != wanted.end() && found.value() > 0) {
            --found.value();
            ++i;
        } else {
            std::unique_ptr<QTreeWidgetItem> gone(list.takeTopLevelItem(i));
        }
    }
    for (size_t i = 0; i < rows.Size(); ++i) {
        const ConsoleRow& row = rows.At(i);
        const int place = static_cast<int>(i);
        QTreeWidgetItem* item = list.topLevelItem(place);
        if (item != nullptr && KeyOf(*item) == KeyOf(row)) {
            SetTextIfChanged(*item, 3, row.first_name);
            SetTextIfChanged(*item, 4, row.last_name);
        } else {
            list.insertTopLevelItem(  // the list takes ownership
                place, new QTreeWidgetItem(QStringList{FromUtf8(row.computer), FromUtf8(row.ip),
                                                       FromUtf8(row.port), FromUtf8(row.first_name),
                                                       FromUtf8(row.last_name)}));
        }
    }
    while (list.topLevelItemCount() > static_cast<int>(rows.Size())) {
        std::unique_ptr<QTreeWidgetItem> extra(list.takeTopLevelItem(list.topLevelItemCount() - 1));
    }
}

// The program's icon: a speech bubble with a "P", drawn at each size asked.
QIcon ConsoleIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x2a, 0x6f, 0xb8));
        const qreal unit = size / 16.0;
        painter.drawRoundedRect(QRectF(unit, unit, 14 * unit, 10 * unit), 3 * unit, 3 * unit);
        painter.drawPolygon(
            QPolygonF{{4 * unit, 10 * unit}, {8 * unit, 10 * unit}, {3 * unit, 15 * unit}});
        QFont font;
        font.setBold(true);
        font.setPixelSize(static_cast<int>(8 * unit));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(unit, unit, 14 * unit, 10 * unit), Qt::AlignCenter,
                         QStringLiteral("P"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

ConsoleWindow::ConsoleWindow(ServerCore& core, OperatorPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      core_(core),
      prompts_(prompts),
      online_(new QTreeWidget(this)),
      log_(new LogView(this)) {
    setWindowTitle(QStringLiteral("Server Parlomatic"));
    setWindowIcon(ConsoleIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    static constexpr ReportColumn kColumns[] = {
        {"Computer", 70}, {"IP", 100}, {"Port", 45}, {"First Name", 70}, {"Last Name", 100}};
    SetUpReportList(*online_, kColumns);
    online_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    online_->header()->setSectionsClickable(false);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    auto* users = new QPushButton(QStringLiteral("Utilisateurs"), this);
    auto* broadcast = new QPushButton(QStringLiteral("BroadCast"), this);
    // The window manager's system menu cannot take items: "A propos" is a button.
    auto* about = new QPushButton(QStringLiteral("A propos"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(users, &QPushButton::clicked, this, &ConsoleWindow::OpenAdministration);
    connect(broadcast, &QPushButton::clicked, this, &ConsoleWindow::OpenBroadcast);
    connect(about, &QPushButton::clicked, this, &ConsoleWindow::OpenCredits);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(users);
    buttons->addWidget(broadcast);
    buttons->addWidget(about);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Client Enligne :"), this));
    layout->addWidget(online_, 2);
    layout->addWidget(new QLabel(QStringLiteral("Log :"), this));
    layout->addWidget(log_, 3);
    layout->addLayout(buttons);
    resize(minimumSizeHint().width(), 520);  // as wide as the clients' columns

    rows_timer_.setSingleShot(true);
    // The rows are brought up to date at most every 100 ms, however many
    // clients log in or leave meanwhile.
    rows_timer_.setInterval(kRowsRefreshMs);
    connect(&rows_timer_, &QTimer::timeout, this, &ConsoleWindow::RefreshRows);
}

void ConsoleWindow::AppendLog(std::string_view line) {
    log_->AppendLine(line);
}

void ConsoleWindow::ScheduleRowsRefresh() {
    if (!rows_timer_.isActive()) {
        rows_timer_.start();
    }
}

void ConsoleWindow::RefreshRows() {
    rows_timer_.stop();
    ShowRowsInPlace(*online_, core_.Rows());
}

void ConsoleWindow::ShowSaveAbandoned() {
    prompts_.Warn(this, QStringLiteral("Relancer le server"),
                  QStringLiteral("Erreur de données\nRedémarrer le server"));
}

void ConsoleWindow::BringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void ConsoleWindow::OpenAdministration() {
    AdministrationDialog dialog(core_, prompts_, this);
    dialog.exec();
}

void ConsoleWindow::OpenBroadcast() {
    BroadcastDialog dialog(core_, this);
    dialog.exec();
}

void ConsoleWindow::OpenCredits() {
    ui::ShowCreditsBox(this);
}

void ConsoleEvents::OnLogLine(std::string_view line) {
    if (window_ != nullptr) {
        window_->AppendLog(line);
    }
}

void ConsoleEvents::OnRowsChanged() {
    if (window_ != nullptr) {
        window_->ScheduleRowsRefresh();
    }
}

void ConsoleEvents::OnSaveAbandoned() {
    // The core is inside a callback: the message box waits for the next turn.
    if (window_ != nullptr) {
        QMetaObject::invokeMethod(window_, &ConsoleWindow::ShowSaveAbandoned, Qt::QueuedConnection);
    }
}

}  // namespace parlo::server
