// One server per data directory: an exclusive flock on UserDB.lock beside
// UserDB.dat, held for the whole run, so that two servers never overwrite
// each other's saves.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace parlo::server {

inline constexpr char kLockFileName[] = "UserDB.lock";

class DataDirectoryLock {
  public:
    // Takes the lock of `directory`; on failure returns nothing and sets
    // `refusal` to a French line ("Un autre Server utilise déjà DIR" when
    // another process holds it). In a directory this process may not write
    // to, where none of its saves can succeed, it holds no lock.
    static std::optional<DataDirectoryLock> Take(const std::filesystem::path& directory,
                                                 std::string& refusal);

    DataDirectoryLock(DataDirectoryLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    DataDirectoryLock& operator=(DataDirectoryLock&&) = delete;
    DataDirectoryLock(const DataDirectoryLock&) = delete;
    DataDirectoryLock& operator=(const DataDirectoryLock&) = delete;
    ~DataDirectoryLock();

  private:
    explicit DataDirectoryLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace parlo::server
