// The changes-only state broadcast against the full one: the same random
// sequence of logins, state changes, address-book changes, administration
// edits and disconnections goes through two cores, one per mode. After every
// step each connection must hold the same last list in both, and the lists it
// received must be the same once repeats of what it already had are dropped.
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "server/core/administration.h"
#include "server/core/watch_index.h"
#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

bool IsStateList(std::string_view command) {
    return command.starts_with("SetState!");
}

// One core with its connections, in one broadcast mode.
class Side {
  public:
    explicit Side(BroadcastMode mode) {
        ServerOptions options;
        options.directory = dir_;
        options.clock = [] { return kNineFiveSeven; };
        options.broadcast = mode;
        core_ = std::make_unique<ServerCore>(std::move(options), events_);
        core_->Start();
    }
    ~Side() { core_.reset(); }  // before its directory goes
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    ServerCore& Core() { return *core_; }
    size_t Count() const { return connections_.size(); }
    bool Open(size_t i) const { return !connections_[i]->closed && !gone_[i]; }
    bool LoggedIn(size_t i) const {
        const UserRecord* entry = core_->Online().Find(*connections_[i]);
        return entry != nullptr && entry->HasLogin();
    }

    void Accept() {
        connections_.push_back(std::make_unique<FakeConnection>());
        gone_.push_back(false);
        core_->OnAccepted(*connections_.back(), "10.0.0." + std::to_string(Count()), 4000);
    }
    void Send(size_t i, std::string_view command) {
        std::string frame;
        ASSERT_TRUE(AppendCommandFrame(frame, command));
        core_->OnBytes(*connections_[i], frame);
    }
    void Close(size_t i) {
        gone_[i] = true;
        core_->OnClosed(*connections_[i]);
    }
    // What connection i received during the last step.
    std::vector<std::string> Take(size_t i) { return connections_[i]->Take(); }

  private:
    parlo::testing::ScratchDirectory scratch_;
    const std::filesystem::path& dir_ = scratch_.Path();
    RecordingEvents events_;
    std::unique_ptr<ServerCore> core_;
    std::vector<std::unique_ptr<FakeConnection>> connections_;
    std::vector<bool> gone_;
};

// `lists` without the entries equal to the one before them (starting from
// `last`), which is advanced to the last list seen.
std::vector<std::string> WithoutRepeats(const std::vector<std::string>& lists, std::string& last) {
    std::vector<std::string> out;
    for (const std::string& list : lists) {
        if (list != last) {
            out.push_back(list);
            last = list;
        }
    }
    return out;
}

class Equivalence : public ::testing::TestWithParam<unsigned> {
  protected:
    static constexpr int kLogins = 7;
    static std::string LoginOf(int n) {
        std::string login(1, n % 2 ? 'U' : 'u');  // both letter cases
        return login.append(std::to_string(n));
    }

    // Runs `step` on both sides, then compares what every connection got.
    template <typename Step>
    void Both(Step step) {
        step(full_);
        step(changes_);
        ASSERT_EQ(full_.Count(), changes_.Count());
        last_full_.resize(full_.Count());
        last_changes_.resize(full_.Count());
        for (size_t i = 0; i < full_.Count(); ++i) {
            std::vector<std::string> full_lists, changes_lists, full_other, changes_other;
            for (std::string& command : full_.Take(i)) {
                (IsStateList(command) ? full_lists : full_other).push_back(std::move(command));
            }
            for (std::string& command : changes_.Take(i)) {
                (IsStateList(command) ? changes_lists : changes_other)
                    .push_back(std::move(command));
            }
            ASSERT_EQ(full_other, changes_other) << "connection " << i << " at step " << steps_;
            ASSERT_EQ(WithoutRepeats(full_lists, last_full_[i]),
                      WithoutRepeats(changes_lists, last_changes_[i]))
                << "connection " << i << " at step " << steps_;
            ASSERT_EQ(last_full_[i], last_changes_[i]);
        }
        ++steps_;
    }

    // A random connection still open on the server's side (and logged in,
    // when asked and there is one), or none.
    std::optional<size_t> AnyOpen(bool logged_in) {
        std::vector<size_t> open;
        for (size_t i = 0; i < full_.Count(); ++i) {
            if (full_.Open(i) && (!logged_in || full_.LoggedIn(i))) {
                open.push_back(i);
            }
        }
        if (open.empty()) {
            return logged_in ? AnyOpen(false) : std::nullopt;
        }
        return open[Pick(open.size())];
    }
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
    std::string AnyLogin() { return LoginOf(static_cast<int>(Pick(kLogins))); }

    AccountFields FieldsOf(const std::string& login, std::string first) {
        return {.login = login,
                .password = "pw",
                .first_name = std::move(first),
                .last_name = "Nom",
                .email = login + "@lan"};
    }
    // The row the administration list shows for `login`, if that account exists.
    std::optional<AccountFields> RowOf(Side& side, const std::string& login) {
        for (const AccountFields& row : AccountRows(side.Core())) {
            if (row.login == login) {
                return row;
            }
        }
        return std::nullopt;
    }

    void RandomStep() {
        // Weights: logins, state changes and book changes come often.
        static constexpr int kWeights[] = {1, 2, 3, 4, 2, 4, 1, 1, 1};
        std::discrete_distribution<int> kinds(std::begin(kWeights), std::end(kWeights));
        int kind = kinds(random_);
        const std::optional<size_t> who = AnyOpen(kind == 3 || kind == 5);
        if (!who || (kind != 1 && full_.Count() < 3)) {
            kind = 0;
        }
        if (kind == 0) {
            Both([](Side& s) { s.Accept(); });
            return;
        }
        const size_t i = *who;
        const std::string login = AnyLogin();
        switch (kind) {
            case 1: {
                const bool create = Pick(3) == 0;
                const std::string password = Pick(8) ? "pw" : "faux";
                Both([&](Side& s) {
                    s.Send(i, create ? FormatAddNewUser(Record(login))
                                     : FormatConnect("PC", Blob(login), Blob(password)));
                });
                break;
            }
            case 2: {
                Both([&](Side& s) { s.Send(i, "GetAllState"); });
                break;
            }
            case 3: {
                const std::string code = std::to_string(Pick(6));
                Both([&](Side& s) { s.Send(i, "SetState:x:" + code); });
                break;
            }
            case 4:
                Both([&](Side& s) { s.Send(i, "GetAllState"); });
                break;
            case 5:
                Both([&](Side& s) { s.Send(i, "YesAddAddressBook:" + login); });
                break;
            case 6:
                Both([&](Side& s) { s.Send(i, "RemoveAddressBook:" + login); });
                break;
            case 7:
                Both([&](Side& s) { s.Close(i); });
                break;
            case 8: {
                const size_t edit = Pick(3);
                const std::string first = "P" + std::to_string(Pick(3));
                const std::string renamed = AnyLogin();
                Both([&](Side& s) {
                    const std::optional<AccountFields> row = RowOf(s, login);
                    if (edit == 0 || !row) {
                        AddAccount(s.Core(), FieldsOf(login, first));
                    } else if (edit == 1) {
                        ModifyAccount(s.Core(), *row, FieldsOf(renamed, first));
                    } else {
                        DeleteAccount(s.Core(), *row);
                    }
                });
                break;
            }
        }
    }

    std::mt19937 random_{GetParam()};
    Side full_{BroadcastMode::kFull};
    Side changes_{BroadcastMode::kChanges};
    std::vector<std::string> last_full_;
    std::vector<std::string> last_changes_;
    int steps_ = 0;
};

TEST_P(Equivalence, ChangesBroadcastShowsWhatTheFullBroadcastShows) {
    for (int step = 0; step < 400 && !HasFatalFailure(); ++step) {
        RandomStep();
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Equivalence, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));

TEST(WatchIndexTest, RegistrationsFollowTheBookWithCaseAsideAndRepeats) {
    WatchIndex index;
    UserRecord ann;
    UserRecord bob;
    const std::vector<std::string> ann_book = {"Cid", "dan", "CID"};  // a book read from a file
    index.Watch(ann, ann_book);
    index.Watch(bob, std::vector<std::string>{"cid"});
    EXPECT_EQ(index.Watchers("cid").size(), 3u) << "one per occurrence";
    EXPECT_EQ(index.Watchers("DAN").size(), 1u);
    EXPECT_TRUE(index.Watchers("eve").empty());

    // Watching again replaces the registrations; unwatching removes them all.
    index.Watch(ann, std::vector<std::string>{"eve"});
    EXPECT_EQ(index.Watchers("cid").size(), 1u);
    EXPECT_TRUE(index.Watchers("dan").empty());
    EXPECT_EQ(index.Watchers("Eve").front(), &ann);
    index.Unwatch(bob);
    EXPECT_TRUE(index.Watchers("cid").empty());
    EXPECT_TRUE(bob.watched.empty());
    index.Unwatch(bob);  // twice is harmless
}

}  // namespace
}  // namespace parlo::server::testing
