// One copy of a program per user: the first copy answers on a local socket
// named per program and per user; a later copy asks it to come to the
// foreground and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace parlo::ui {

// The local socket name of `program` for the current user.
QString PerUserInstanceName(const QString& program);

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // True when another copy answers: it has been asked to show itself.
    bool AskRunningCopyToShow(int timeout_ms = 1000);
    // Starts answering later copies (a name left behind by a copy that died
    // is taken over). False when the name cannot be taken.
    bool Listen();

  signals:
    void ShowRequested();

  private:
    QString name_;
    QLocalServer server_;
};

}  // namespace parlo::ui
