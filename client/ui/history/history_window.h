// "Historique": the account's past conversations, newest first, a search over
// their lines with the matches marked, the chosen conversation in the
// conversation window's transcript view with its times, "Exporter…" and
// "Effacer l'historique".
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "client/history/history_store.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace parlo::client {

class HistoryRecorder;
class TranscriptView;

class HistoryWindow : public QWidget {
  public:
    // Data roles of the list's items.
    static constexpr int kConversationRole = Qt::UserRole;
    static constexpr int kMarkedTextRole = Qt::UserRole + 1;  // rich text, matches in <b>

    // The history of `login`, as the recorder keeps it.
    HistoryWindow(HistoryRecorder& recorder, std::string login, QWidget* parent = nullptr);

    // Lists only the conversations with `contact` (all for an empty login).
    void ShowWith(std::string contact);
    // Fills the search field; the list shows the matching lines (or every
    // conversation again for an empty text).
    void Search(const QString& words);
    // The opened conversation as plain UTF-8 text in `path`; false when none
    // is open or the file cannot be written.
    bool ExportTo(const QString& path);
    const std::string& Login() const { return login_; }
    QTreeWidget& List() const { return *list_; }
    TranscriptView* Transcript() const { return transcript_; }
    QLineEdit& SearchField() const { return *search_; }

  private:
    HistoryStore* Store();
    void ShowConversations();
    void ShowHits(const std::vector<SearchHit>& hits);
    void Open(QTreeWidgetItem* item);
    void Export();
    void AskErase();
    void Erase();

    HistoryRecorder& recorder_;
    std::string login_;
    std::string with_;
    QLineEdit* search_;
    QTreeWidget* list_;
    QFrame* transcript_frame_;
    QVBoxLayout* transcript_layout_;
    TranscriptView* transcript_ = nullptr;
    QLabel* status_;
    QPushButton* export_;
    QPushButton* erase_;
    ConversationSummary opened_;
};

// Opens the window of `login`'s history (or brings its open one forward),
// listing the conversations with `contact`, or all of them when it is empty.
HistoryWindow* OpenHistoryWindow(HistoryRecorder& recorder, std::string login, std::string contact,
                                 QWidget* parent);

}  // namespace parlo::client
