#include "client/ui/history/history_window.h"

#include <QAbstractTextDocumentLayout>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "client/core/qt_text.h"
#include "client/history/history_recorder.h"
#include "client/history/history_text.h"
#include "client/ui/common/dialog_parts.h"
#include "client/ui/conversation/transcript_view.h"

namespace parlo::client {
namespace {

constexpr int kWindowWidth = 780;
constexpr int kWindowHeight = 460;
constexpr int kListWidth = 420;
enum Column { kDate, kParticipants, kWords };

// Bytes of a found line shown before its first match; the text before them
// gives way to "…", so the match is in sight in a narrow column.
constexpr size_t kContextBytes = 12;

// The match as the list marks it: bold on a light yellow that reads on dark
// themes too, the text set black on it.
QString MarkedHtml(const SearchHit& hit) {
    const std::string_view text = hit.text;
    size_t at = 0;
    QString html;
    if (!hit.marks.empty() && hit.marks.front().first > kContextBytes) {
        at = hit.marks.front().first - kContextBytes;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;  // not inside a character
        }
        html = QStringLiteral("…");
    }
    for (const auto& [begin, end] : hit.marks) {
        if (begin < at || end > text.size()) {
            continue;
        }
        html += Q(text.substr(at, begin - at)).toHtmlEscaped();
        html += QStringLiteral("<b style=\"background-color:#ffe680;color:#000\">") +
                Q(text.substr(begin, end - begin)).toHtmlEscaped() + QStringLiteral("</b>");
        at = end;
    }
    html += Q(text.substr(std::min(at, text.size()))).toHtmlEscaped();
    return html.replace('\n', ' ');
}

// Draws the rich text of kMarkedTextRole on one line where an item has it.
class MarkedTextDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString html = index.data(HistoryWindow::kMarkedTextRole).toString();
        if (html.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain = option;
        initStyleOption(&plain, index);
        plain.text.clear();
        plain.widget->style()->drawControl(QStyle::CE_ItemViewItem, &plain, painter, plain.widget);
        QTextDocument document;
        document.setDefaultFont(option.font);
        document.setDocumentMargin(1);
        document.setHtml(html);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = option.palette;
        if (option.state & QStyle::State_Selected) {
            context.palette.setColor(QPalette::Text,
                                     option.palette.color(QPalette::HighlightedText));
        }
        const QRect area = option.rect.adjusted(2, 0, -2, 0);
        painter->save();
        painter->setClipRect(area);
        painter->translate(area.left(),
                           area.top() + (area.height() - document.size().height()) / 2);
        document.documentLayout()->draw(painter, context);
        painter->restore();
    }
};

}  // namespace

HistoryWindow::HistoryWindow(HistoryRecorder& recorder, std::string login, QWidget* parent)
    : QWidget(parent, Qt::Window),
      recorder_(recorder),
      login_(std::move(login)),
      search_(new QLineEdit(this)),
      list_(new QTreeWidget(this)),
      transcript_frame_(new QFrame(this)),
      transcript_layout_(new QVBoxLayout(transcript_frame_)),
      status_(new QLabel(this)),
      export_(dialogs::MakeButton(QStringLiteral("Exporter…"), this)),
      erase_(dialogs::MakeButton(QStringLiteral("Effacer l'historique"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Historique"));
    QPushButton* close = dialogs::MakeButton(QStringLiteral("Fermer"), this);
    dialogs::NameWidgets({{this, "history"},
                          {search_, "search"},
                          {list_, "conversations"},
                          {status_, "status"},
                          {export_, "export"},
                          {erase_, "erase"},
                          {close, "close"}});
    search_->setPlaceholderText(QStringLiteral("Rechercher dans l'historique"));
    search_->setClearButtonEnabled(true);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Avec"), QStringLiteral("")});
    list_->setItemDelegateForColumn(kWords, new MarkedTextDelegate(list_));
    list_->header()->setStretchLastSection(true);
    // The view draws no border: its frame does.
    transcript_frame_->setFrameShape(QFrame::StyledPanel);
    transcript_layout_->setContentsMargins(1, 1, 1, 1);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(list_);
    splitter->addWidget(transcript_frame_);
    splitter->setSizes({kListWidth, kWindowWidth - kListWidth});
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(splitter, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(export_);
    buttons->addWidget(erase_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(kWindowWidth, kWindowHeight);

    connect(search_, &QLineEdit::textChanged, this, [this] { ShowConversations(); });
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { Open(item); });
    connect(export_, &QPushButton::clicked, this, &HistoryWindow::Export);
    connect(erase_, &QPushButton::clicked, this, &HistoryWindow::AskErase);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    ShowConversations();
}

HistoryStore* HistoryWindow::Store() {
    recorder_.Flush();
    return recorder_.StoreFor(login_);
}

void HistoryWindow::ShowWith(std::string contact) {
    with_ = std::move(contact);
    search_->clear();
    ShowConversations();
}

void HistoryWindow::Search(const QString& words) {
    search_->setText(words);  // the list follows the field
}

void HistoryWindow::ShowConversations() {
    list_->clear();
    Open(nullptr);
    HistoryStore* store = Store();
    status_->setText(store == nullptr ? QStringLiteral("Historique indisponible") : QString());
    erase_->setEnabled(store != nullptr);
    if (store == nullptr) {
        return;
    }
    if (!with_.empty()) {
        status_->setText(QStringLiteral("Conversations avec %1").arg(Q(with_)));
    }
    const QString words = search_->text().trimmed();
    if (!words.isEmpty()) {
        ShowHits(store->Search(Utf8(words), with_));
        return;
    }
    list_->headerItem()->setText(kWords, QStringLiteral("Début"));
    QList<QTreeWidgetItem*> items;
    for (const ConversationSummary& conversation : store->Conversations(with_)) {
        auto* item =
            new QTreeWidgetItem({Q(DateAndTime(conversation.last_ms)), Q(conversation.participants),
                                 Q(conversation.first_words).replace('\n', ' ')});
        item->setData(kDate, kConversationRole, QVariant::fromValue(conversation.id));
        items.append(item);
    }
    list_->addTopLevelItems(items);
    list_->resizeColumnToContents(kDate);
}

void HistoryWindow::ShowHits(const std::vector<SearchHit>& hits) {
    list_->headerItem()->setText(kWords, QStringLiteral("Ligne"));
    QList<QTreeWidgetItem*> items;
    for (const SearchHit& hit : hits) {
        auto* item = new QTreeWidgetItem(
            {Q(DateAndTime(hit.time_ms)), Q(hit.participants), Q(hit.text).replace('\n', ' ')});
        item->setData(kDate, kConversationRole, QVariant::fromValue(hit.conversation));
        item->setData(kWords, kMarkedTextRole, MarkedHtml(hit));
        items.append(item);
    }
    list_->addTopLevelItems(items);
    list_->resizeColumnToContents(kDate);
    if (hits.empty()) {
        status_->setText(with_.empty()
                             ? QStringLiteral("Aucune ligne trouvée")
                             : QStringLiteral("Aucune ligne trouvée avec %1").arg(Q(with_)));
    }
}

void HistoryWindow::Open(QTreeWidgetItem* item) {
    // A new view for each conversation: a transcript only grows.
    delete transcript_;
    transcript_ = new TranscriptView(transcript_frame_);
    transcript_->setObjectName(QStringLiteral("transcript"));
    transcript_layout_->addWidget(transcript_);
    opened_ = {};
    export_->setEnabled(false);
    HistoryStore* store = item == nullptr ? nullptr : recorder_.StoreFor(login_);
    if (store == nullptr) {
        return;
    }
    const auto found = store->Summary(item->data(kDate, kConversationRole).toLongLong());
    if (!found) {
        return;
    }
    opened_ = *found;
    for (const StoredLine& line : store->Lines(opened_.id)) {
        if (line.kind == LineKind::kMessage) {
            transcript_->AppendMessage(StampedSender(line), line.text);
        } else {
            transcript_->AppendInfo(StampedInfo(line));
        }
    }
    export_->setEnabled(true);
}

void HistoryWindow::Export() {
    const std::string name = "conversation avec " + opened_.participants + ".txt";
    auto* dialog = new QFileDialog(this, QStringLiteral("Exporter la conversation"), Q(name),
                                   QStringLiteral("Texte (*.txt)"));
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!ExportTo(path)) {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Historique"),
                                        QStringLiteral("La conversation n'a pas pu être "
                                                       "exportée dans\n%1")
                                            .arg(path),
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    });
    dialog->open();
}

bool HistoryWindow::ExportTo(const QString& path) {
    HistoryStore* store = Store();
    if (store == nullptr || opened_.id == 0) {
        return false;
    }
    const std::vector<StoredLine> lines = store->Lines(opened_.id);
    const std::string text = ExportText(opened_, lines);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size())) {
        return false;
    }
    return file.commit();
}

void HistoryWindow::AskErase() {
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Historique"),
                                QStringLiteral("Effacer tout l'historique des conversations ?"),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("eraseBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes) {
            Erase();
        }
    });
    box->open();
}

void HistoryWindow::Erase() {
    HistoryStore* store = Store();
    const bool erased = store != nullptr && store->EraseAll();
    ShowConversations();
    if (!erased) {
        status_->setText(QStringLiteral("L'historique n'a pas pu être effacé"));
    }
}

HistoryWindow* OpenHistoryWindow(HistoryRecorder& recorder, std::string login, std::string contact,
                                 QWidget* parent) {
    auto* window = parent->findChild<HistoryWindow*>(QStringLiteral("history"));
    if (window != nullptr && window->Login() != login) {
        window->setObjectName(QString());  // another account's
        window->close();
        window = nullptr;
    }
    if (window == nullptr) {
        window = new HistoryWindow(recorder, std::move(login), parent);
    }
    window->ShowWith(std::move(contact));
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace parlo::client
