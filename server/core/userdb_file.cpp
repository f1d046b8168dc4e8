#include "server/core/userdb_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <system_error>

namespace parlo::server {
namespace {

constexpr int kOldestVersion = 101;       // below: the file holds no account
constexpr int kAddressBookVersion = 102;  // address books appear
constexpr int kPendingVersion = 103;      // pending commands appear

// Bounds-checked reader of little-endian 32-bit integers and byte strings.
class ImageReader {
  public:
    explicit ImageReader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<int32_t> Int() {
        if (bytes_.size() - pos_ < 4) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value =
                (value << 8) | static_cast<unsigned char>(bytes_[pos_ + static_cast<size_t>(i)]);
        }
        pos_ += 4;
        return static_cast<int32_t>(value);
    }

    // A length (never negative) followed by that many bytes.
    std::optional<std::string_view> Bytes(int32_t length) {
        if (length < 0 || bytes_.size() - pos_ < static_cast<size_t>(length)) {
            return std::nullopt;
        }
        const std::string_view out = bytes_.substr(pos_, static_cast<size_t>(length));
        pos_ += static_cast<size_t>(length);
        return out;
    }

    std::optional<std::string_view> String() {
        const auto length = Int();
        return length ? Bytes(*length) : std::nullopt;
    }

    // A count, then that many strings appended to `out` (when given).
    bool StringList(std::vector<std::string>* out) {
        const auto count = Int();
        if (!count || *count < 0) {
            return false;
        }
        for (int32_t i = 0; i < *count; ++i) {
            const auto item = String();
            if (!item) {
                return false;
            }
            if (out != nullptr) {
                out->emplace_back(*item);
            }
        }
        return true;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

void PutInt(std::string& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
}

void PutString(std::string& out, std::string_view text) {
    PutInt(out, static_cast<int32_t>(text.size()));
    out.append(text);
}

// Flags of every open of the database files: a symbolic link put in place of
// one of them is never followed, so its target is neither read nor written.
constexpr int kOpenFlags = O_CLOEXEC | O_NOFOLLOW;
// The files hold password equivalents and stored messages.
constexpr mode_t kFileMode = 0600;

std::string Reason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

enum class ReadStatus { kRead, kMissing, kFailed };

// Reads a regular file whole, without following a symbolic link; `error`
// names the reason of kFailed.
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | kOpenFlags);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadStatus::kMissing;
        }
        error = errno == ELOOP ? std::string("lien symbolique") : Reason(errno);
        return ReadStatus::kFailed;
    }
    struct stat info {};
    ReadStatus status = ReadStatus::kRead;
    if (::fstat(fd, &info) != 0) {
        error = Reason(errno);
        status = ReadStatus::kFailed;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "c'est un répertoire" : "pas un fichier ordinaire";
        status = ReadStatus::kFailed;
    } else {
        out.clear();
        out.reserve(static_cast<size_t>(info.st_size));
        char buffer[1 << 16];
        while (true) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                error = Reason(errno);
                status = ReadStatus::kFailed;
                break;
            }
            if (n == 0) {
                break;
            }
            out.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return status;
}

}  // namespace

// Writes `bytes` to a new file at `path` (replacing a file, never following
// a link), flushed to disk before returning true; `error` says why not.
bool WriteDurably(const std::filesystem::path& path, std::string_view bytes, std::string& error) {
    ::unlink(path.c_str());  // a leftover, or a link someone put there
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, kFileMode);
    if (fd < 0) {
        error = Reason(errno);
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = Reason(errno);
            ::close(fd);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        error = Reason(errno);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        error = Reason(errno);
        return false;
    }
    return true;
}

// Renames `from` over `to`; the temporary is removed when that fails.
bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
             std::string& error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = Reason(errno);
        ::unlink(from.c_str());
        return false;
    }
    return true;
}

namespace {

std::string FileStamp(std::time_t now) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return stamp;
}

}  // namespace

DecodeReport DecodeUserDatabase(std::string_view bytes, RecordList& users) {
    DecodeReport report;
    ImageReader reader(bytes);
    const auto version = reader.Int();
    if (!version) {
        report.complete = false;
        return report;
    }
    report.version = *version;
    if (*version > kUserDbVersion) {
        report.unknown_version = true;
        return report;
    }
    if (*version < kOldestVersion) {
        // No account, as an old empty file says; anything else behind it is
        // data of a layout this program does not know.
        report.unknown_version = bytes.substr(4).find_first_not_of('\0') != std::string_view::npos;
        return report;
    }
    const auto count = reader.Int();
    if (!count || *count < 0) {
        report.complete = false;
        return report;
    }
    for (int32_t block = 1; block <= *count; ++block) {
        const auto text = reader.String();
        if (!text) {
            report.complete = false;
            return report;
        }
        std::unique_ptr<UserRecord> record;
        if (!text->empty()) {
            record = MakeRecord(*text);
            if (!record) {
                report.refused.push_back(static_cast<size_t>(block));
            }
        }
        bool lists_whole = true;
        if (*version >= kAddressBookVersion) {
            lists_whole = reader.StringList(record ? &record->address_book : nullptr);
        }
        if (lists_whole && *version >= kPendingVersion) {
            lists_whole = reader.StringList(record ? &record->pending : nullptr);
        }
        // A record read whole is kept even when its lists were cut short.
        if (record) {
            users.Append(std::move(record));
        }
        if (!lists_whole) {
            report.complete = false;
            return report;
        }
    }
    return report;
}

bool EncodeUserDatabase(const RecordList& users, std::string& out) {
    // One allocation for the whole image: a save at tens of thousands of
    // accounts must not spend its time growing the buffer.
    size_t size = 8;
    for (const auto& record : users.Records()) {
        size += 12 + record->record_text.size();
        for (const std::string& contact : record->address_book) {
            size += 4 + contact.size();
        }
        for (const std::string& command : record->pending) {
            size += 4 + command.size();
        }
    }
    out.clear();
    out.reserve(size);
    PutInt(out, kUserDbVersion);
    PutInt(out, static_cast<int32_t>(users.Size()));
    for (const auto& record : users.Records()) {
        if (!record->HasRecordText()) {
            return false;
        }
        PutString(out, record->record_text);
        PutInt(out, static_cast<int32_t>(record->address_book.size()));
        for (const std::string& contact : record->address_book) {
            PutString(out, contact);
        }
        PutInt(out, static_cast<int32_t>(record->pending.size()));
        for (const std::string& command : record->pending) {
            PutString(out, command);
        }
    }
    return true;
}

UserDatabaseFile::UserDatabaseFile(std::filesystem::path directory)
    : data_(directory / "UserDB.dat"),
      backup_(directory / "UserDB.bak"),
      temporary_(directory / "UserDB.dat.tmp"),
      backup_temporary_(directory / "UserDB.bak.tmp") {}

UserDatabaseFile::LoadResult UserDatabaseFile::Load(RecordList& users, std::time_t now) {
    LoadResult result;
    std::string bytes;
    switch (ReadWholeFile(data_, bytes, result.reason)) {
        case ReadStatus::kMissing:
            return result;
        case ReadStatus::kFailed:
            result.refused = true;
            return result;
        case ReadStatus::kRead:
            break;
    }
    result.found = true;
    users.Clear();
    result.report = DecodeUserDatabase(bytes, users);
    if (result.report.unknown_version) {
        result.refused = true;
        result.reason = "version " + std::to_string(result.report.version) + " inconnue";
        return result;
    }
    if (!result.report.complete || !result.report.refused.empty()) {
        // Keep the damaged file for the operator: the next save replaces
        // UserDB.dat with fewer accounts than it holds. UserDB.dat itself
        // stays until then, so a crash before that save loses nothing.
        result.set_aside = SetAside(now, bytes);
    }
    return result;
}

std::filesystem::path UserDatabaseFile::SetAside(std::time_t now, std::string_view bytes) const {
    std::string name = data_.filename().string();
    name.append(".").append(FileStamp(now)).append(".damaged");
    const std::filesystem::path aside = data_.parent_path() / name;
    std::string ignored;
    return WriteDurably(aside, bytes, ignored) ? aside : std::filesystem::path();
}

bool UserDatabaseFile::RemoveLeftoverTemporary() {
    std::error_code error;
    return std::filesystem::remove(temporary_, error) && !error;
}

UserDatabaseFile::SaveResult UserDatabaseFile::Save(const RecordList& users) {
    std::string image;
    if (!EncodeUserDatabase(users, image)) {
        return SaveResult::kAbandoned;  // UserDB.dat is left as it was
    }
    failure_.clear();
    if (!BackUp() || !WriteDurably(temporary_, image, failure_) ||
        !Replace(temporary_, data_, failure_)) {
        ::unlink(temporary_.c_str());
        return SaveResult::kFailed;
    }
    return SaveResult::kSaved;
}

bool UserDatabaseFile::BackUp() {
    // UserDB.dat is only ever replaced, never written in place: a second name
    // for its file is a copy of it. Where links are not possible, copy.
    ::unlink(backup_temporary_.c_str());
    if (::link(data_.c_str(), backup_temporary_.c_str()) != 0) {
        if (errno == ENOENT) {
            return true;  // no database yet: nothing to back up
        }
        std::string bytes;
        switch (ReadWholeFile(data_, bytes, failure_)) {
            case ReadStatus::kMissing:
                return true;
            case ReadStatus::kFailed:
                failure_ = "UserDB.dat : " + failure_;
                return false;
            case ReadStatus::kRead:
                break;
        }
        if (!WriteDurably(backup_temporary_, bytes, failure_)) {
            failure_ = "UserDB.bak : " + failure_;
            ::unlink(backup_temporary_.c_str());
            return false;
        }
    }
    if (!Replace(backup_temporary_, backup_, failure_)) {
        failure_ = "UserDB.bak : " + failure_;
        return false;
    }
    return true;
}

}  // namespace parlo::server
