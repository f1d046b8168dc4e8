// SIGTERM, SIGINT and SIGHUP (a desktop session or terminal ending outside a
// session manager) turned into a Qt signal on the event loop's thread, so the
// program ends as "&Quitter" does. The handler only writes one byte into a
// pipe, which a socket notifier reads: no locks, nothing unsafe in a handler.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace parlo::client {

class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    // Installs the handlers; the previous ones come back on destruction.
    // Only one instance may exist at a time.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool IsInstalled() const { return notifier_ != nullptr; }

  signals:
    void Received();

  private:
    void Drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace parlo::client
