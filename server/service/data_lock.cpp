#include "server/service/data_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace parlo::server {

std::optional<DataDirectoryLock> DataDirectoryLock::Take(const std::filesystem::path& directory,
                                                         std::string& refusal) {
    std::error_code error;
    std::filesystem::path shown = std::filesystem::absolute(directory, error).lexically_normal();
    if (error) {
        shown = directory;
    }
    if (!shown.has_filename()) {
        shown = shown.parent_path();  // "/srv/chat/" shown as "/srv/chat"
    }
    const std::filesystem::path file = directory / kLockFileName;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int cause = errno;
        // In a directory this server may not write to, no save of its can
        // replace anyone's files: it runs unlocked (its saves fail and say
        // so), as a read-only look at the accounts.
        if ((cause == EACCES || cause == EROFS) && ::access(directory.c_str(), W_OK) != 0) {
            return DataDirectoryLock(-1);
        }
        refusal = "Verrou " + (shown / kLockFileName).string() +
                  " impossible à ouvrir : " + std::strerror(cause);
        return std::nullopt;
    }
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int cause = errno;
        ::close(fd);
        refusal = cause == EWOULDBLOCK ? "Un autre Server utilise déjà " + shown.string()
                                       : "Verrou " + (shown / kLockFileName).string() +
                                             " impossible à prendre : " + std::strerror(cause);
        return std::nullopt;
    }
    return DataDirectoryLock(fd);
}

DataDirectoryLock::~DataDirectoryLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock; the file stays for the next run
    }
}

}  // namespace parlo::server
