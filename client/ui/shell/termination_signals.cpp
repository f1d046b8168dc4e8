#include "client/ui/shell/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace parlo::client {
namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

// The pipe's two ends; written by the handler, so plain ints.
int g_read_end = -1;
int g_write_end = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void OnTerminationSignal(int /*signal*/) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up: nothing is lost by failing.
    [[maybe_unused]] const ssize_t written = write(g_write_end, &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    std::array<int, 2> ends{};
    if (g_read_end >= 0 || pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    g_read_end = ends[0];
    g_write_end = ends[1];
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_read_end, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::Drain);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) {
        return;
    }
    notifier_.reset();
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    close(g_read_end);
    close(g_write_end);
    g_read_end = g_write_end = -1;
}

void TerminationSignals::Drain() {
    std::array<char, 64> bytes{};
    while (read(g_read_end, bytes.data(), bytes.size()) > 0) {
    }
    emit Received();
}

}  // namespace parlo::client
