// The console's log window: read-only, newest line first, long lines wrapped
// to its width, holding at most 819200 characters (the oldest text is cut at
// the bottom, possibly in the middle of a line).
//
// Lines are gathered for a short moment and inserted at the top in one edit,
// the excess cut from the bottom in one edit: the view is edited and redrawn
// at most kFlushIntervalMs apart however fast lines come, and the cost of a
// line does not grow with the text already shown.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <deque>
#include <string_view>

namespace parlo::server {

class LogView : public QPlainTextEdit {
    Q_OBJECT

  public:
    static constexpr int kMaxCharacters = 800 * 1024;
    static constexpr int kFlushIntervalMs = 40;

    explicit LogView(QWidget* parent = nullptr);

    // Queues one log entry (UTF-8, may hold '\n'); shown within kFlushIntervalMs.
    void AppendLine(std::string_view line);
    // Shows the queued entries now.
    void Flush();

    // Characters shown, each line counting its line end.
    int CharacterCount() const;

  private:
    std::deque<QString> pending_;
    int pending_size_ = 0;
    QTimer flush_timer_;
};

}  // namespace parlo::server
