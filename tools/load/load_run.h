// The phases of a parlo-load run, in their fixed order, each producing its
// figures: registration, contacts, login storm, relay, idle connections.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/load/client_pool.h"
#include "tools/load/load_client.h"
#include "tools/load/options.h"
#include "tools/load/process_probe.h"
#include "tools/load/report.h"

namespace parlo::load {

// "prefix1" .. "prefixN" for users 0 .. N-1.
std::string UserLogin(const std::string& prefix, int index);
// The users that user `index` asks to be contacts: the next `k`, wrapping
// around, never itself and never twice.
std::vector<int> ContactsAskedBy(int index, int k, int users);
// The partner of relay sender `index`: the matching user of the second half
// when there are enough users, else the next user.
int RelayPartner(int index, int senders, int users);

class LoadRun {
  public:
    explicit LoadRun(const LoadOptions& options);

    bool Ready() const { return pool_.Ready(); }
    // Runs the phases asked for; true when every step finished without failure.
    bool Run(std::vector<PhaseReport>& reports);

  private:
    // Server CPU time between two readings, when a server pid is known.
    class CpuMeter {
      public:
        explicit CpuMeter(pid_t pid);
        void Report(PhaseReport& report, double per_units, const char* per_key,
                    double unit_scale) const;
        // The server's reads, writes and sleeps per unit, as "server_<what>_per_<unit>".
        void ReportCalls(PhaseReport& report, double per_units, std::string_view unit) const;

      private:
        pid_t pid_;
        std::optional<double> start_;
        std::optional<CallCounts> calls_;
    };

    PhaseReport Register();
    PhaseReport Contacts();
    PhaseReport LoginStorm();
    PhaseReport ReconnectWave();
    PhaseReport Relay();
    PhaseReport Idle();
    PhaseReport Logout();
    PhaseReport StopServer();

    int64_t PhaseDeadline() const;
    bool OutOfTime() const;
    // Waits until the server's CPU time stops growing (it has caught up with
    // the work our last actions caused), at most a few seconds.
    void LetServerSettle();
    void AddStep(PhaseReport& report, const char* name, const StepResult& step);
    std::vector<int> FirstUsers(int count) const;
    // Connected, "Login:OK" and first state list, from each user's start, of
    // the users that finished; returns the fewest and most address-book
    // entries they received (-1 when none finished).
    std::pair<int, int> AddLoginPercentiles(PhaseReport& report,
                                            const std::vector<int>& users) const;

    const LoadOptions& options_;
    std::vector<LoadClient> clients_;
    ClientPool pool_;
    std::unique_ptr<RelayTracker> relay_;  // outlives the clients' use of it
    int64_t run_deadline_ns_;
    bool clean_ = true;
};

}  // namespace parlo::load
