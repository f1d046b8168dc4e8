#include "server/core/server_core.h"

#include <algorithm>
#include <array>
#include <string>

#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::server {

ServerCore::ServerCore(ServerOptions options, ServerEvents& events)
    : options_(std::move(options)),
      events_(events),
      log_(options_.directory / "Log.txt", options_.clock,
           [this](std::string_view line) { events_.OnLogLine(line); }),
      database_(options_.directory),
      presence_(options_.broadcast, options_.state_list_delay_ms, users_, online_, *this) {
    if (options_.log_flushed_per_turn) {
        log_.HoldUntilFlush();
    }
}

ServerCore::~ServerCore() = default;

std::string Quoted(std::string_view text) {
    if (text.size() <= kMaxQuotedBytes) {
        return std::string(text);
    }
    return std::string(CutUtf8(text, kMaxQuotedBytes)) + "… (" + std::to_string(text.size()) +
           " octets)";
}

bool ServerCore::Start() {
    if (database_.RemoveLeftoverTemporary()) {
        Log("UserDB.dat.tmp supprimé : reste d'une sauvegarde interrompue");
    }
    const auto result = database_.Load(users_, options_.clock());
    if (result.refused) {
        users_.Clear();
        start_refusal_ = "UserDB.dat illisible (" + result.reason +
                         ") : démarrage refusé, le fichier est laissé tel quel";
        Log(start_refusal_);
        return false;
    }
    running_ = true;
    if (!result.found) {
        return true;
    }
    for (const size_t block : result.report.refused) {
        Log("UserDB.dat : compte n°" + std::to_string(block) +
            " ignoré (enregistrement illisible)");
    }
    if (result.report.complete && !result.set_aside.empty()) {
        Log("UserDB.dat : copie mise de côté sous " + result.set_aside.filename().string());
    }
    if (!result.report.complete) {
        if (result.set_aside.empty()) {
            Log("UserDB.dat incomplet : seuls les comptes lus en entier sont chargés");
        } else {
            Log("UserDB.dat incomplet : copie mise de côté sous " +
                result.set_aside.filename().string() +
                ", seuls les comptes lus en entier sont chargés");
        }
    }
    Log("UserDB.dat chargé");
    return true;
}

void ServerCore::Log(std::string_view message) {
    log_.Write(message);
}

void ServerCore::Shutdown() {
    closing_save_failed_ = running_ && !SaveDatabase();
    running_ = false;  // the lists are cleared below: never save them again
    // Closing without the close procedure: no log line, no state broadcast.
    std::vector<Connection*> connections;
    connections.reserve(online_.Size());
    for (const auto& entry : online_.Entries()) {
        connections.push_back(entry->connection);
    }
    online_.Clear();
    presence_.Clear();
    holds_.clear();
    login_deadlines_.clear();
    for (Connection* connection : connections) {
        connection->Close();
    }
    users_.Clear();
    if (rows_.Size() > 0) {
        rows_.Clear();
        RowsChanged();
    }
    FlushLog();
}

// ---------------------------------------------------------------------------
// Connection events

void ServerCore::OnAccepted(Connection& connection, std::string_view ip, uint16_t port) {
    std::string replaced;
    if (OnlineEntry* stale = online_.Find(connection)) {
        Forget(*stale);  // a connection object reused by the adapter
        replaced = stale->login;
    }
    OnlineEntry& entry = online_.Add(connection, ip, port);
    presence_.StateChanged(replaced);
    entry.serial = ++next_serial_;
    if (options_.login_timeout_ms > 0) {
        login_deadlines_.push_back(
            {options_.steady_ms() + options_.login_timeout_ms, &connection, entry.serial});
    }
    presence_.Accepted(entry);
    Log(entry.computer + " (" + entry.ip + ") est accepté" +
        (connection.Encrypted() ? " (chiffré)" : ""));
}

void ServerCore::OnBytes(Connection& connection, std::string_view bytes) {
    FrameReader* reader = online_.ReaderOf(connection);
    if (reader == nullptr) {
        return;  // no entry: not read
    }
    reader->Feed(bytes);
    HandleFrames(connection);
}

void ServerCore::HandleFrames(Connection& connection) {
    const CommitAtEnd commit(*this);
    std::string_view payload;
    std::array<char, kMaxFrameBytes> text;  // a command is at most 8192 bytes
    while (true) {
        OnlineEntry* sender = online_.Find(connection);
        if (sender == nullptr || sender->held_until_ms != 0) {
            return;  // gone, or its frames wait
        }
        FrameReader* reader = online_.ReaderOf(connection);
        const FrameReader::Status status = reader->Next(payload);
        if (status == FrameReader::Status::kNeedMore) {
            return;
        }
        if (status == FrameReader::Status::kError) {
            Log(sender->computer + " (" + sender->ip +
                ") envoie des trames illisibles : connexion fermée");
            CloseEntry(*sender);
            return;
        }
        // A payload that does not uncompress matches no command.
        const int length = SharedCodec().Uncompress(payload, text);
        if (length < 0) {
            continue;
        }
        const std::string_view command(text.data(), static_cast<size_t>(length));
        const Flow flow = Dispatch(*sender, command, payload);
        if (flow == Flow::kHold) {
            return;
        }
        if (flow == Flow::kStopRead) {
            // The rest of this read is dropped; a partial frame at its end
            // stays, so the stream keeps its frame boundaries. (The handler
            // may have changed the online list: look the reader up again.)
            if (FrameReader* rest = online_.ReaderOf(connection)) {
                while (rest->Next(payload) == FrameReader::Status::kFrame) {
                }
            }
            return;
        }
    }
}

void ServerCore::OnClosed(Connection& connection) {
    RunCloseProcedure(connection);
}

void ServerCore::OnDrained(Connection& connection) {
    if (OnlineEntry* entry = online_.Find(connection); entry != nullptr && entry->replaying) {
        ContinueReplay(*entry);
    }
}

void ServerCore::RunCloseProcedure(const Connection& connection) {
    if (OnlineEntry* entry = online_.Find(connection)) {
        Log(entry->computer + " (" + entry->ip + ") a quitté le chat");
        if (rows_.RemoveFirst(entry->ip)) {
            RowsChanged();
        }
        Forget(*entry);
        const std::unique_ptr<OnlineEntry> gone = online_.Remove(connection);
        presence_.StateChanged(gone->login);
    }
    BroadcastStates();
}

void ServerCore::CloseEntry(const OnlineEntry& entry) {
    if (!online_.Contains(entry) || entry.connection == nullptr) {
        return;
    }
    Connection& connection = *entry.connection;
    RunCloseProcedure(connection);
    connection.Close();
}

void ServerCore::Evict(OnlineEntry& entry) {
    SendTo(entry, FormatWithText(keyword::kLogin, "Vous êtes connecté ailleurs..."));
    CloseEntry(entry);
}

// ---------------------------------------------------------------------------
// Dispatch in the server's keyword order

ServerCore::Flow ServerCore::Dispatch(OnlineEntry& sender, std::string_view command,
                                      std::string_view payload) {
    const auto keyword = RecognizeServerCommand(command);
    if (!keyword) {
        return Flow::kContinue;
    }
    // Registrations in a row share one save; anything else sees them saved
    // and answered first.
    if (*keyword != ServerKeyword::kAddNewUser) {
        CommitRegistrations();
    }
    switch (*keyword) {
        case ServerKeyword::kConnect:
            return HandleConnect(sender, command);
        case ServerKeyword::kAddNewUser:
            HandleAddNewUser(sender, command);
            break;
        case ServerKeyword::kAddressBook:
            return HandleAddressBook(sender);
        case ServerKeyword::kGetAllState:
            return HandleGetAllState(sender);
        case ServerKeyword::kDoAddAddressBook:
            HandleDoAddAddressBook(sender, command);
            break;
        case ServerKeyword::kMessage:
            HandleMessage(sender, command, payload);
            break;
        case ServerKeyword::kFindUser:
            HandleFindUser(sender, command);
            break;
        case ServerKeyword::kGetState:
            HandleGetState(sender, command);
            break;
        case ServerKeyword::kSetState:
            HandleSetState(sender, command);
            break;
        case ServerKeyword::kNoAddAddressBook:
            HandleNoAddAddressBook(sender, command);
            break;
        case ServerKeyword::kYesAddAddressBook:
            HandleYesAddAddressBook(sender, command);
            break;
        case ServerKeyword::kRemoveAddressBook:
            return HandleRemoveAddressBook(sender, command);
        case ServerKeyword::kInvite:
            HandleInvite(sender, command);
            break;
        case ServerKeyword::kLeave:
            HandleLeave(sender, command);
            break;
        case ServerKeyword::kWriting:
            HandleWriting(sender, command);
            break;
    }
    return Flow::kContinue;
}

ServerCore::Flow ServerCore::MissingAccount(const OnlineEntry& sender) {
    log_.WriteLines({"--> FindClientByConnection a trouvé une erreur",
                     sender.login + " connecté (" + sender.ip + ") mais pas dans la base !!!"});
    return Flow::kStopRead;
}

// ---------------------------------------------------------------------------
// Delivery

bool ServerCore::SendTo(const OnlineEntry& entry, std::string_view command) {
    scratch_.clear();
    if (!FrameCommand(scratch_, command)) {
        return false;
    }
    SendFrameBytes(entry, scratch_);
    return true;
}

bool ServerCore::FrameCommand(std::string& out, std::string_view command) {
    if (AppendCommandFrame(out, command)) {
        return true;
    }
    // Every answer that lists entries is cut to fit; reaching this means a
    // command no receiver could read: it is dropped, with one line.
    const std::string_view keyword = command.substr(0, command.find_first_of(":!"));
    Log("Commande " + std::string(CutUtf8(keyword, 32)) +
        " non envoyée : " + std::to_string(command.size()) + " octets, au-delà de 8192");
    return false;
}

void ServerCore::LogCut(size_t left_out, std::string_view what, const OnlineEntry& to) {
    if (left_out == 0) {
        return;
    }
    Log("Réponse " + std::string(what) + " à " + to.login +
        " coupée à 8192 octets : " + std::to_string(left_out) + " entrées laissées de côté");
}

void ServerCore::SendFrameBytes(const OnlineEntry& entry, std::string_view frame) {
    if (entry.connection != nullptr) {
        entry.connection->Send(frame);
    }
}

void ServerCore::SendOrStore(std::string_view login, std::string_view command) {
    // A connection still receiving its stored commands gets this one after
    // them, in order.
    if (const OnlineEntry* entry = online_.FindFirstByLogin(login);
        entry != nullptr && !entry->replaying) {
        SendTo(*entry, command);
        return;
    }
    const std::vector<Account*> accounts(users_.FindAllByLogin(login).begin(),
                                         users_.FindAllByLogin(login).end());
    for (Account* account : accounts) {
        StorePending(*account, command);
    }
}

bool ServerCore::StorePending(Account& account, std::string_view command) {
    switch (account.AppendPendingUnlessIdentical(command)) {
        case Account::PendingResult::kStored:
            pending_unsaved_ = true;
            break;
        case Account::PendingResult::kAlreadyPending:
            break;
        case Account::PendingResult::kFull: {
            std::string line = "Commande en attente refusée pour " + account.login + " : déjà " +
                               std::to_string(account.pending.size()) + " commandes en attente";
            if (account.pending.size() < Account::kMaxPending) {
                line += " (" + std::to_string(account.PendingBytes()) + " octets, au plus " +
                        std::to_string(Account::kMaxPendingBytes) + ")";
            }
            Log(line);
            return false;
        }
    }
    return true;
}

void ServerCore::SavePending() {
    if (pending_unsaved_) {
        pending_unsaved_ = false;  // one attempt: a failing save is not retried in a loop
        SaveDatabase();
    }
}

void ServerCore::SendStateList(const OnlineEntry& to, std::string_view list, size_t left_out) {
    LogCut(left_out, std::string(keyword::kSetState) + "!", to);
    SendTo(to, list);
}

void ServerCore::Forget(OnlineEntry& entry) {
    presence_.Forget(entry);
    if (entry.held_until_ms != 0) {
        holds_.erase({entry.held_until_ms, entry.connection});
        entry.held_until_ms = 0;
    }
}

bool ServerCore::Identify(OnlineEntry& entry, std::string_view record_text) {
    const std::string before = entry.login;
    if (!online_.SetRecordText(entry, record_text)) {
        return false;
    }
    presence_.StateChanged(before);
    presence_.StateChanged(entry.login);
    presence_.Rewatch(entry);
    return true;
}

// ---------------------------------------------------------------------------
// Accounts

bool ServerCore::SaveDatabase() {
    // Before Start or after Shutdown the user list does not hold the accounts.
    if (!running_) {
        Log("UserDB.dat non sauvé (Server arrêté) : modification annulée");
        return false;
    }
    switch (database_.Save(users_)) {
        case UserDatabaseFile::SaveResult::kSaved:
            pending_unsaved_ = false;
            Log("UserDB.dat sauvé");
            return true;
        case UserDatabaseFile::SaveResult::kAbandoned:
            Log("Données erronnées : Abandon sauvegarde");
            events_.OnSaveAbandoned();
            return false;
        case UserDatabaseFile::SaveResult::kFailed: {
            const std::time_t now = options_.clock();
            if (last_failure_logged_ && now - *last_failure_logged_ < kSaveFailureLogIntervalS) {
                ++failures_unlogged_;
                return false;
            }
            std::string line =
                "UserDB.dat non sauvé (" + database_.FailureReason() + ") : modification annulée";
            if (failures_unlogged_ > 0) {
                line += ", " + std::to_string(failures_unlogged_) + " autres échecs depuis";
            }
            last_failure_logged_ = now;
            failures_unlogged_ = 0;
            Log(line);
            return false;
        }
    }
    return false;
}

}  // namespace parlo::server
