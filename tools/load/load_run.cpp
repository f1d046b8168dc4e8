#include "tools/load/load_run.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <utility>

#include "client/core/reconnect_policy.h"
#include "tools/load/latency_stats.h"
#include "tools/load/process_probe.h"

namespace parlo::load {

namespace {

constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kSettleMaxNs = 30 * kSecond;
constexpr int64_t kSettleSliceNs = kSecond / 5;
constexpr int64_t kStopWaitNs = 60 * kSecond;

int64_t SecondsToNs(double seconds) {
    return static_cast<int64_t>(seconds * 1e9);
}

// Adds "<name>_p50_ms", "_p99_ms", "_max_ms" from samples in nanoseconds.
void AddPercentiles(PhaseReport& report, const std::string& name, const LatencySamples& samples) {
    const LatencySummary summary = samples.Summarize();
    report.Add(name + "_p50_ms", summary.p50_us / 1000.0);
    report.Add(name + "_p99_ms", summary.p99_us / 1000.0);
    report.Add(name + "_max_ms", summary.max_us / 1000.0);
}

}  // namespace

std::string UserLogin(const std::string& prefix, int index) {
    return prefix + std::to_string(index + 1);
}

std::vector<int> ContactsAskedBy(int index, int k, int users) {
    std::vector<int> asked;
    for (int step = 1; step <= k && step < users; ++step) {
        asked.push_back((index + step) % users);
    }
    return asked;
}

int RelayPartner(int index, int senders, int users) {
    return 2 * senders <= users ? index + senders : (index + 1) % users;
}

LoadRun::CpuMeter::CpuMeter(pid_t pid) : pid_(pid) {
    if (pid_ > 0) {
        start_ = ReadCpuSeconds(pid_);
    }
}

void LoadRun::CpuMeter::Report(PhaseReport& report, double per_units, const char* per_key,
                               double unit_scale) const {
    if (!start_) {
        return;
    }
    const std::optional<double> end = ReadCpuSeconds(pid_);
    if (!end) {
        report.notes.push_back("server CPU time unreadable");
        return;
    }
    const double used = *end - *start_;
    report.Add("server_cpu_s", used);
    if (per_key != nullptr && per_units > 0) {
        report.Add(per_key, used / per_units * unit_scale);
    }
}

LoadRun::LoadRun(const LoadOptions& options)
    : options_(options),
      clients_([&] {
          std::vector<LoadClient> clients;
          clients.reserve(static_cast<size_t>(options.users));
          for (int i = 0; i < options.users; ++i) {
              clients.emplace_back(i, UserLogin(options.prefix, i), options.password);
          }
          return clients;
      }()),
      pool_(options.port, clients_, options.tls),
      run_deadline_ns_(NowNs() + SecondsToNs(options.timeout_seconds)) {}

bool LoadRun::Run(std::vector<PhaseReport>& reports) {
    // Each phase, with the connection failures and unreadable bytes it met.
    auto run = [&](PhaseReport (LoadRun::*phase)()) {
        const int64_t connect_errors = pool_.ConnectErrors();
        const int64_t protocol_errors = pool_.ProtocolErrors();
        PhaseReport report = (this->*phase)();
        if (pool_.ConnectErrors() > connect_errors) {
            report.Add("connect_errors",
                       static_cast<double>(pool_.ConnectErrors() - connect_errors));
        }
        if (pool_.ProtocolErrors() > protocol_errors) {
            clean_ = false;
            report.Add("protocol_errors",
                       static_cast<double>(pool_.ProtocolErrors() - protocol_errors));
        }
        reports.push_back(std::move(report));
    };
    if (options_.register_users && !OutOfTime()) {
        run(&LoadRun::Register);
    }
    if (options_.contacts > 0 && !OutOfTime()) {
        run(&LoadRun::Contacts);
    }
    if (options_.login_storm && !OutOfTime()) {
        run(&LoadRun::LoginStorm);
    }
    if (options_.reconnect_wave && !OutOfTime()) {
        run(&LoadRun::ReconnectWave);
    }
    if (options_.relay_senders > 0 && !OutOfTime()) {
        run(&LoadRun::Relay);
    }
    if (options_.idle_seconds >= 0 && !OutOfTime()) {
        run(&LoadRun::Idle);
    }
    if (options_.logout_storm && !OutOfTime()) {
        run(&LoadRun::Logout);
    }
    if (OutOfTime()) {
        clean_ = false;
        PhaseReport timeout{"run"};
        timeout.notes.push_back("overall timeout reached");
        reports.push_back(timeout);
    }
    if (options_.stop_server) {
        reports.push_back(StopServer());
    }
    return clean_;
}

int64_t LoadRun::PhaseDeadline() const {
    return std::min(NowNs() + SecondsToNs(options_.phase_timeout_seconds), run_deadline_ns_);
}

bool LoadRun::OutOfTime() const {
    return NowNs() >= run_deadline_ns_;
}

std::vector<int> LoadRun::FirstUsers(int count) const {
    std::vector<int> users(static_cast<size_t>(std::clamp(count, 0, options_.users)));
    for (size_t i = 0; i < users.size(); ++i) {
        users[i] = static_cast<int>(i);
    }
    return users;
}

void LoadRun::AddStep(PhaseReport& report, const char* name, const StepResult& step) {
    const std::string prefix = name;
    report.Add(prefix + "_done", step.done);
    report.Add(prefix + "_s", step.seconds);
    if (step.failed > 0 || step.unfinished > 0) {
        clean_ = false;
        report.Add(prefix + "_failed", step.failed);
        report.Add(prefix + "_unfinished", step.unfinished);
        if (!step.first_failure.empty()) {
            report.notes.push_back(prefix + ": first failure: " + step.first_failure);
        }
        if (step.unfinished > 0) {
            report.notes.push_back(prefix + ": phase timeout reached");
        }
    }
}

void LoadRun::LetServerSettle() {
    const int64_t limit = std::min(NowNs() + kSettleMaxNs, run_deadline_ns_);
    if (options_.server_pid <= 0) {
        pool_.Hold(std::min(NowNs() + kSecond, limit));
        return;
    }
    std::optional<double> previous = ReadCpuSeconds(options_.server_pid);
    while (NowNs() < limit) {
        pool_.Hold(std::min(NowNs() + kSettleSliceNs, limit));
        const std::optional<double> now = ReadCpuSeconds(options_.server_pid);
        if (!now || (previous && *now == *previous)) {
            return;
        }
        previous = now;
    }
}

PhaseReport LoadRun::Register() {
    PhaseReport report{"register"};
    const std::vector<int> users = FirstUsers(options_.users);
    const CpuMeter cpu(options_.server_pid);
    const StepResult step =
        pool_.RunStep(users, Task::kRegister, options_.window, true, PhaseDeadline());
    int created = 0;
    int known = 0;
    for (const int index : users) {
        const RegisterOutcome outcome = clients_[static_cast<size_t>(index)].Registration();
        created += outcome == RegisterOutcome::kCreated;
        known += outcome == RegisterOutcome::kAlreadyKnown;
    }
    report.Add("users", static_cast<double>(users.size()));
    report.Add("created", created);
    report.Add("already_known", known);
    AddStep(report, "register", step);
    cpu.Report(report, created, "server_cpu_per_created_ms", 1e3);
    pool_.CloseAll(PhaseDeadline());
    LetServerSettle();
    return report;
}

PhaseReport LoadRun::Contacts() {
    PhaseReport report{"contacts"};
    const std::vector<int> users = FirstUsers(options_.users);
    int asks = 0;
    for (const int index : users) {
        std::vector<std::string> logins;
        for (const int other : ContactsAskedBy(index, options_.contacts, options_.users)) {
            logins.push_back(clients_[static_cast<size_t>(other)].Login());
        }
        asks += static_cast<int>(logins.size());
        clients_[static_cast<size_t>(index)].SetContactsToAsk(std::move(logins));
    }
    const CpuMeter cpu(options_.server_pid);
    AddStep(report, "login",
            pool_.RunStep(users, Task::kGoOnline, options_.window, false, PhaseDeadline()));
    const StepResult step =
        pool_.RunStep(users, Task::kAskContacts, options_.window, false, PhaseDeadline());
    report.Add("requests", asks);
    AddStep(report, "accepted", step);
    cpu.Report(report, asks, "server_cpu_per_request_ms", 1e3);
    // Leaving costs the server one state broadcast per connection closed.
    const int64_t closing = NowNs();
    pool_.CloseAll(PhaseDeadline());
    LetServerSettle();
    report.Add("close_and_settle_s", static_cast<double>(NowNs() - closing) / 1e9);
    return report;
}

std::pair<int, int> LoadRun::AddLoginPercentiles(PhaseReport& report,
                                                 const std::vector<int>& users) const {
    LatencySamples connected;
    LatencySamples logged_in;
    LatencySamples served;
    int fewest = -1;
    int most = -1;
    for (const int index : users) {
        const LoadClient& client = clients_[static_cast<size_t>(index)];
        if (!client.Done()) {
            continue;
        }
        connected.Add(client.ConnectedNs() - client.StartedNs());
        logged_in.Add(client.LoginNs() - client.StartedNs());
        served.Add(client.StatesNs() - client.StartedNs());
        fewest = fewest < 0 ? client.BookEntries() : std::min(fewest, client.BookEntries());
        most = std::max(most, client.BookEntries());
    }
    AddPercentiles(report, "connected", connected);
    AddPercentiles(report, "login_ok", logged_in);
    AddPercentiles(report, "served", served);
    return {fewest, most};
}

PhaseReport LoadRun::LoginStorm() {
    PhaseReport report{"login"};
    if (pool_.OpenConnections() > 0) {
        pool_.CloseAll(PhaseDeadline());
        LetServerSettle();
    }
    const std::vector<int> users = FirstUsers(options_.users);
    const int64_t frames_before = pool_.FramesReceived();
    const int64_t lists_before = pool_.StateListsReceived();
    const CpuMeter cpu(options_.server_pid);
    const StepResult step =
        pool_.RunStep(users, Task::kStorm, options_.storm_window, false, PhaseDeadline());
    cpu.Report(report, step.done, "server_cpu_per_login_ms", 1e3);
    // The lists that followed the last first list are part of the storm's cost.
    LetServerSettle();
    const double lists = static_cast<double>(pool_.StateListsReceived() - lists_before);
    report.Add("state_lists_received", lists);
    if (step.done > 0) {
        report.Add("state_lists_per_login", lists / step.done);
    }
    report.Add("users", static_cast<double>(users.size()));
    report.Add("storm_window", options_.storm_window);
    AddStep(report, "served", step);

    const auto [fewest, most] = AddLoginPercentiles(report, users);
    report.Add("book_entries_min", fewest);
    report.Add("book_entries_max", most);
    report.Add("frames_received", static_cast<double>(pool_.FramesReceived() - frames_before));
    return report;
}

PhaseReport LoadRun::ReconnectWave() {
    PhaseReport report{"reconnect"};
    const std::vector<int> users = FirstUsers(options_.users);
    AddStep(report, "login",
            pool_.RunStep(users, Task::kGoOnline, options_.window, false, PhaseDeadline()));
    LetServerSettle();
    // Every connection ends at once, as when the server restarts; the server
    // then has nobody online, as a restarted one has.
    pool_.CloseAll(PhaseDeadline());
    LetServerSettle();

    // Each client's first attempt, drawn as the client draws it.
    std::vector<std::pair<int64_t, int>> attempts;
    for (const int index : users) {
        client::ReconnectPolicy policy(static_cast<std::uint64_t>(index));
        attempts.emplace_back(std::chrono::nanoseconds(policy.NextDelay()).count(), index);
    }
    std::sort(attempts.begin(), attempts.end());
    std::vector<int> order;
    std::vector<int64_t> after;
    for (const auto& [delay, index] : attempts) {
        order.push_back(index);
        after.push_back(delay);
    }
    const std::optional<int64_t> overflows = ReadListenOverflows();
    const int64_t connect_errors = pool_.ConnectErrors();
    const CpuMeter cpu(options_.server_pid);
    const StepResult step = pool_.RunStep(order, Task::kStorm, 0, false, PhaseDeadline(), after);
    cpu.Report(report, step.done, "server_cpu_per_login_ms", 1e3);
    report.Add("connect_errors", static_cast<double>(pool_.ConnectErrors() - connect_errors));
    if (const std::optional<int64_t> now = ReadListenOverflows(); now && overflows) {
        report.Add("listen_overflows", static_cast<double>(*now - *overflows));
    }
    AddStep(report, "served", step);
    AddLoginPercentiles(report, users);
    LetServerSettle();
    return report;
}

PhaseReport LoadRun::Relay() {
    PhaseReport report{"relay"};
    const int senders = std::min(options_.relay_senders, options_.users);
    const int involved = std::min(2 * senders, options_.users);
    const std::vector<int> users = FirstUsers(involved);
    AddStep(report, "login",
            pool_.RunStep(users, Task::kGoOnline, options_.window, false, PhaseDeadline()));

    relay_ = std::make_unique<RelayTracker>(clients_.size());
    for (const int index : users) {
        clients_[static_cast<size_t>(index)].SetRelay(relay_.get(), "", 0, 1, 0);
    }
    for (int i = 0; i < senders; ++i) {
        LoadClient& sender = clients_[static_cast<size_t>(i)];
        const int partner = RelayPartner(i, senders, options_.users);
        sender.SetRelay(relay_.get(), clients_[static_cast<size_t>(partner)].Login(),
                        options_.relay_messages, options_.relay_window, options_.message_bytes);
    }
    pool_.SetRelayTracker(relay_.get());
    if (options_.relay_rate > 0) {
        const auto interval = static_cast<int64_t>(senders / options_.relay_rate * 1e9);
        for (int i = 0; i < senders; ++i) {
            LoadClient& sender = clients_[static_cast<size_t>(i)];
            const int partner = RelayPartner(i, senders, options_.users);
            sender.SetRelay(relay_.get(), clients_[static_cast<size_t>(partner)].Login(),
                            options_.relay_messages, options_.relay_window, options_.message_bytes,
                            std::max<int64_t>(interval, 1));
        }
        pool_.SetPumpEveryTurn(true);
    }
    const std::vector<int> sending = FirstUsers(senders);
    const CpuMeter cpu(options_.server_pid);
    const StepResult step = pool_.RunStep(sending, Task::kRelay, 0, false, PhaseDeadline());
    pool_.SetPumpEveryTurn(false);
    const double delivered = static_cast<double>(relay_->Delivered());
    cpu.Report(report, delivered, "server_cpu_per_message_us", 1e6);
    if (options_.relay_rate > 0) {
        report.Add("rate_asked_per_s", options_.relay_rate);
    }

    report.Add("senders", senders);
    report.Add("messages_per_sender", options_.relay_messages);
    report.Add("window", options_.relay_window);
    report.Add("message_bytes", options_.message_bytes);
    report.Add("expected", static_cast<double>(senders) * options_.relay_messages);
    report.Add("delivered", delivered);
    if (relay_->Unreadable() > 0) {
        report.Add("unreadable", static_cast<double>(relay_->Unreadable()));
    }
    AddStep(report, "relay", step);
    report.Add("messages_per_s", step.seconds > 0 ? delivered / step.seconds : 0);
    LatencySamples latencies;
    latencies.Reserve(relay_->LatenciesNs().size());
    for (const int64_t latency : relay_->LatenciesNs()) {
        latencies.Add(latency);
    }
    const LatencySummary summary = latencies.Summarize();
    report.Add("latency_p50_us", summary.p50_us);
    report.Add("latency_p99_us", summary.p99_us);
    report.Add("latency_max_us", summary.max_us);
    return report;
}

PhaseReport LoadRun::Idle() {
    PhaseReport report{"idle"};
    const std::vector<int> users = FirstUsers(options_.users);
    int already = 0;
    for (const int index : users) {
        already += clients_[static_cast<size_t>(index)].Online();
    }
    const pid_t pid = options_.server_pid;
    // 0 when unknown (no pid, or unreadable).
    const uint64_t rss_before = pid > 0 ? ReadRssKiB(pid).value_or(0) : 0;
    const CpuMeter cpu(pid);
    const StepResult step =
        pool_.RunStep(users, Task::kGoOnline, options_.window, false, PhaseDeadline());
    cpu.Report(report, step.done - already, "server_cpu_per_login_ms", 1e3);
    report.Add("connections", static_cast<double>(users.size()));
    report.Add("already_online", already);
    AddStep(report, "login", step);

    const int64_t hold_start = NowNs();
    pool_.Hold(std::min(hold_start + SecondsToNs(options_.idle_seconds), run_deadline_ns_));
    report.Add("held_s", static_cast<double>(NowNs() - hold_start) / 1e9);
    int still_online = 0;
    for (const int index : users) {
        still_online += clients_[static_cast<size_t>(index)].Online();
    }
    report.Add("still_online", still_online);
    if (still_online < step.done) {
        clean_ = false;
        report.notes.push_back("some idle connections were dropped while held");
    }
    const uint64_t rss_after = pid > 0 ? ReadRssKiB(pid).value_or(0) : 0;
    if (rss_before > 0 && rss_after > 0) {
        report.Add("server_rss_before_kib", static_cast<double>(rss_before));
        report.Add("server_rss_after_kib", static_cast<double>(rss_after));
        const int added = still_online - already;
        if (added > 0) {
            report.Add("server_rss_per_connection_kib",
                       (static_cast<double>(rss_after) - static_cast<double>(rss_before)) / added);
        }
    }
    return report;
}

PhaseReport LoadRun::Logout() {
    PhaseReport report{"logout"};
    const std::vector<int> users = FirstUsers(options_.users);
    AddStep(report, "login",
            pool_.RunStep(users, Task::kGoOnline, options_.window, false, PhaseDeadline()));
    LetServerSettle();
    int online = 0;
    for (const int index : users) {
        online += clients_[static_cast<size_t>(index)].Online();
    }
    const CpuMeter cpu(options_.server_pid);
    const int64_t start = NowNs();
    pool_.CloseAll(PhaseDeadline());
    const double closed_s = static_cast<double>(NowNs() - start) / 1e9;
    // The server works through the closes after ours have completed.
    LetServerSettle();
    cpu.Report(report, online, "server_cpu_per_disconnection_us", 1e6);
    report.Add("disconnections", online);
    report.Add("closed_s", closed_s);
    report.Add("close_and_settle_s", static_cast<double>(NowNs() - start) / 1e9);
    return report;
}

PhaseReport LoadRun::StopServer() {
    PhaseReport report{"stop"};
    const pid_t pid = options_.server_pid;
    const int64_t start = NowNs();
    if (kill(pid, SIGTERM) != 0) {
        report.notes.push_back("could not signal the server");
        clean_ = false;
        return report;
    }
    // Our connections stay open meanwhile, so the server's shutdown is not
    // mixed with the work of their closing.
    const int64_t limit = start + kStopWaitNs;
    while (ProcessRunning(pid) && NowNs() < limit) {
        pool_.Hold(std::min(NowNs() + kSecond / 20, limit));
    }
    const bool stopped = !ProcessRunning(pid);
    report.Add("stopped", stopped ? 1 : 0);
    report.Add("stop_s", static_cast<double>(NowNs() - start) / 1e9);
    if (!stopped) {
        clean_ = false;
        report.notes.push_back("server still running after SIGTERM");
    }
    return report;
}

}  // namespace parlo::load
