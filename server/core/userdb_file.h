// UserDB.dat: reading versions 101 to 103, writing version 103, with the
// backup copy in UserDB.bak and an atomic replace of the file.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/userdb.h"

namespace parlo::server {

inline constexpr int kUserDbVersion = 103;

struct DecodeReport {
    int version = 0;
    bool complete = true;          // false: the data ended before the counts said
    bool unknown_version = false;  // a version this program cannot read, with data behind it
    std::vector<size_t> refused;   // 1-based numbers of blocks whose record text was refused
};

// Appends the accounts of a UserDB.dat image to `users`. A truncated image
// keeps every record whose record text was read whole. A version above 103,
// or below 101 with anything but zeros behind it, reads nothing and is
// reported as unknown: the file may hold accounts this program cannot see.
DecodeReport DecodeUserDatabase(std::string_view bytes, RecordList& users);
// The version-103 image of `users`; false when a record has no record text.
bool EncodeUserDatabase(const RecordList& users, std::string& out);

// Writes `bytes` to a new file at `path` with mode 0600 (replacing a file,
// never following a link), flushed to disk before returning true; `error`
// says why not.
bool WriteDurably(const std::filesystem::path& path, std::string_view bytes, std::string& error);
// Renames `from` over `to`; the temporary is removed when that fails.
bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
             std::string& error);

class UserDatabaseFile {
  public:
    explicit UserDatabaseFile(std::filesystem::path directory);

    const std::filesystem::path& DataPath() const { return data_; }
    const std::filesystem::path& BackupPath() const { return backup_; }

    struct LoadResult {
        bool found = false;  // UserDB.dat existed and was read
        // UserDB.dat exists but could not be read (not a regular file, a
        // symbolic link, no permission, an I/O error), or has an unknown
        // version: nothing is loaded and nothing may be written over it.
        bool refused = false;
        std::string reason;  // why, when refused
        DecodeReport report;
        std::filesystem::path set_aside;  // where a damaged file was moved (empty: not moved)
    };
    // Replaces `users` with the file's accounts. A file that ends before its
    // counts say, or holds records that cannot be read, is copied aside
    // with a time stamp taken from `now`. Never
    // throws.
    LoadResult Load(RecordList& users, std::time_t now);

    // Removes a UserDB.dat.tmp left by a save that a crash interrupted (the
    // rename never happened, so UserDB.dat is the last whole save). True
    // when there was one and it is gone.
    bool RemoveLeftoverTemporary();

    enum class SaveResult { kSaved, kAbandoned, kFailed };
    // Backs UserDB.dat up as UserDB.bak (a temporary name renamed over the
    // backup), writes a temporary file, flushes it to disk and renames it
    // over UserDB.dat; every file is created 0600 and no symbolic link is
    // followed. A record without record text abandons the save and leaves
    // UserDB.dat as it was. After kFailed, FailureReason says why.
    SaveResult Save(const RecordList& users);
    const std::string& FailureReason() const { return failure_; }

  private:
    // UserDB.dat's bytes as UserDB.bak; false (FailureReason set) when that
    // failed. No UserDB.dat yet is not a failure.
    bool BackUp();
    // Writes `bytes` (UserDB.dat as read) beside it under a stamped name;
    // empty when that failed.
    std::filesystem::path SetAside(std::time_t now, std::string_view bytes) const;

    std::filesystem::path data_;
    std::filesystem::path backup_;
    std::filesystem::path temporary_;
    std::filesystem::path backup_temporary_;
    std::string failure_;
};

}  // namespace parlo::server
