#include "server/core/userdb_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
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

bool ReadWholeFile(const std::filesystem::path& path, std::string& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Writes `bytes` to `path`, flushed to disk before returning true.
bool WriteDurably(const std::filesystem::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    size_t written = 0;
    bool ok = true;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

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
    if (*version < kOldestVersion) {
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
    out.clear();
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
      temporary_(directory / "UserDB.dat.tmp") {}

UserDatabaseFile::LoadResult UserDatabaseFile::Load(RecordList& users, std::time_t now) {
    LoadResult result;
    std::string bytes;
    if (!ReadWholeFile(data_, bytes)) {
        std::error_code error;
        if (std::filesystem::exists(data_, error)) {
            result.unreadable = true;
            result.set_aside = SetAside(now);
        }
        return result;
    }
    result.found = true;
    users.Clear();
    result.report = DecodeUserDatabase(bytes, users);
    if (!result.report.complete) {
        // Keep the damaged file for the operator: the next save must not
        // overwrite what could not be read.
        result.set_aside = SetAside(now);
    }
    return result;
}

std::filesystem::path UserDatabaseFile::SetAside(std::time_t now) const {
    std::string name = data_.filename().string();
    name.append(".").append(FileStamp(now)).append(".damaged");
    const std::filesystem::path aside = data_.parent_path() / name;
    std::error_code error;
    std::filesystem::rename(data_, aside, error);
    if (!error) {
        return aside;
    }
    if (std::filesystem::copy_file(data_, aside, error) && !error) {
        return aside;
    }
    return {};
}

bool UserDatabaseFile::RemoveLeftoverTemporary() {
    std::error_code error;
    return std::filesystem::remove(temporary_, error) && !error;
}

UserDatabaseFile::SaveResult UserDatabaseFile::Save(const RecordList& users) {
    std::error_code ignored;
    std::filesystem::copy_file(data_, backup_, std::filesystem::copy_options::overwrite_existing,
                               ignored);
    std::string image;
    if (!EncodeUserDatabase(users, image)) {
        std::filesystem::copy_file(backup_, data_,
                                   std::filesystem::copy_options::overwrite_existing, ignored);
        return SaveResult::kAbandoned;
    }
    if (!WriteDurably(temporary_, image)) {
        std::filesystem::remove(temporary_, ignored);
        return SaveResult::kFailed;
    }
    std::error_code error;
    std::filesystem::rename(temporary_, data_, error);
    if (error) {
        std::filesystem::remove(temporary_, ignored);
        return SaveResult::kFailed;
    }
    return SaveResult::kSaved;
}

}  // namespace parlo::server
