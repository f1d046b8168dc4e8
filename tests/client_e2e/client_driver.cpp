// parlo-client-driver: the Parlomatic program, started the way the real one
// starts, whose widgets a test works through commands on standard input,
// one per line, each answered with one line on standard output (see
// widget_commands.h). The client's own output on stdout goes to stderr so
// that it cannot mix with the answers.
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <string>

#include "client/ui/shell/command_line.h"
#include "client/ui/shell/run_client.h"
#include "tests/client_e2e/widget_commands.h"

namespace parlo::client::testing {
namespace {

// Where the answers go: the standard output the driver was started with.
int answers_fd = -1;

// Reads commands as they come, in whatever event loop runs (the program's
// own, or a modal dialog's), and writes each answer.
class CommandChannel final : public QObject {
  public:
    explicit CommandChannel(QObject* parent)
        : QObject(parent), notifier_(STDIN_FILENO, QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, &CommandChannel::ReadCommands);
    }

  private:
    void ReadCommands() {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            return;
        }
        if (n <= 0) {
            // The test is gone: so is the client.
            notifier_.setEnabled(false);
            QCoreApplication::exit(3);
            return;
        }
        pending_.append(buffer, static_cast<size_t>(n));
        for (size_t end = pending_.find('\n'); end != std::string::npos;
             end = pending_.find('\n')) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            Answer(RunWidgetCommand(line) + '\n');
        }
    }

    static void Answer(const std::string& text) {
        size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(answers_fd, text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return;
            }
            written += static_cast<size_t>(n);
        }
    }

    QSocketNotifier notifier_;
    std::string pending_;
};

}  // namespace
}  // namespace parlo::client::testing

namespace {

// Runs in the application's constructor, before the client's start-up.
void InstallCommandChannel() {
    // Owned by the application.
    new parlo::client::testing::CommandChannel(QCoreApplication::instance());
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallCommandChannel)

int main(int argc, char** argv) {
    parlo::client::testing::answers_fd = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return parlo::client::RunClient(argc, argv, parlo::client::ClientCommandLine{});
}
