// parlo-load-userdb: writes a UserDB.dat holding the accounts parlo-load
// would register (--register) and the address books its contact phase would
// build (--contacts K), without the hours the server takes to save the
// database after each of them. For large runs; see docs/load.md.
//   parlo-load-userdb [--users N] [--contacts K] [--prefix P] [--password W] DIRECTORY
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/userdb_file.h"
#include "tools/load/load_run.h"

namespace {

constexpr const char* kUsage =
    "Usage: parlo-load-userdb [--users N] [--contacts K] [--prefix P] [--password W] DIRECTORY\n"
    "Writes DIRECTORY/UserDB.dat with users P1..PN (default load1..load100, password\n"
    "motdepasse), each the contact of the K users after it and the K before it.\n";

bool ParseCount(std::string_view text, int& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0 && out <= 1000000;
}

}  // namespace

int main(int argc, char** argv) {
    int users = 100;
    int contacts = 0;
    std::string prefix = "load";
    std::string password = "motdepasse";
    std::string directory;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool valued =
            arg == "--users" || arg == "--contacts" || arg == "--prefix" || arg == "--password";
        if (valued && i + 1 < argc) {
            const std::string_view value = argv[++i];
            bool ok = true;
            if (arg == "--users") {
                ok = ParseCount(value, users) && users > 0;
            } else if (arg == "--contacts") {
                ok = ParseCount(value, contacts);
            } else if (arg == "--prefix") {
                prefix = value;
            } else {
                password = value;
            }
            if (!ok) {
                std::fprintf(stderr, "parlo-load-userdb: bad value for %s\n%s", argv[i - 1],
                             kUsage);
                return 2;
            }
        } else if (!valued && !arg.starts_with("--") && directory.empty()) {
            directory = arg;
        } else {
            std::fprintf(stderr, "%s", kUsage);
            return arg == "--help" ? 0 : 2;
        }
    }
    if (directory.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }

    using namespace parlo;
    server::RecordList accounts;
    std::string password_blob;
    if (!Compress(password, password_blob)) {
        return 1;
    }
    for (int index = 0; index < users; ++index) {
        const std::string login = load::UserLogin(prefix, index);
        std::string login_blob;
        if (!Compress(login, login_blob)) {
            return 1;
        }
        // The record parlo-load registers.
        auto account = server::MakeRecord(FormatRecordText(
            login_blob, password_blob, "Charge", std::to_string(index), login + "@load.invalid"));
        if (!account) {
            std::fprintf(stderr, "parlo-load-userdb: cannot build the record of %s\n",
                         login.c_str());
            return 1;
        }
        // Asked by the K before, asking the K after: both ways, as accepted.
        for (const int other : load::ContactsAskedBy(index, contacts, users)) {
            account->AppendContact(load::UserLogin(prefix, other));
        }
        for (int step = 1; step <= contacts && step < users; ++step) {
            const std::string asker = load::UserLogin(prefix, (index - step + users) % users);
            if (!account->HasContact(asker)) {
                account->AppendContact(asker);
            }
        }
        accounts.Append(std::move(account));
    }
    server::UserDatabaseFile file(directory);
    if (file.Save(accounts) != server::UserDatabaseFile::SaveResult::kSaved) {
        std::fprintf(stderr, "parlo-load-userdb: cannot write %s\n", file.DataPath().c_str());
        return 1;
    }
    std::printf("%d accounts written to %s\n", users, file.DataPath().c_str());
    return 0;
}
