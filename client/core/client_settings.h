// What the client remembers between runs, the byte-list text form of the
// credential blobs, and the per-user INI file that holds them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

namespace parlo::client {

// Blobs never exceed the protocol's command limit.
inline constexpr size_t kMaxBlobBytes = 8192;

struct Credentials {
    std::string login_blob;     // zlib-compressed login, as "Connect" carries it
    std::string password_blob;  // zlib-compressed password
    std::string plain_login;    // the login blob uncompressed

    bool IsComplete() const { return !login_blob.empty() && !password_blob.empty(); }
};

// Desktop notices and the automatic "inactif".
struct AttentionSettings {
    static constexpr int kMinInactiveMinutes = 1;
    static constexpr int kMaxInactiveMinutes = 720;

    bool notify = true;          // "Sound"/"Notify"
    bool auto_inactive = false;  // "Options"/"AutoInactive"
    int inactive_minutes = 5;    // "Options"/"InactiveMinutes"

    bool operator==(const AttentionSettings&) const = default;
};

// Encrypted connections to the server's TLS port; off, the plain port as
// always.
struct EncryptionSettings {
    static constexpr int kDefaultPort = 7778;

    bool enabled = false;     // "Server"/"Encrypted"
    int port = kDefaultPort;  // "Server"/"EncryptedPort"

    bool operator==(const EncryptionSettings&) const = default;
};

struct ClientSettings {
    Credentials credentials;
    std::string server_address;  // IPv4, dotted
    int port = 0;
    bool sound = true;
    bool online_expanded = true;
    bool offline_expanded = true;
    // The main window's place and size, as the toolkit saves them; empty
    // until a run that showed the window has ended.
    std::string window_geometry;
    AttentionSettings attention;
    bool keep_history = true;  // the conversations' lines are kept on disk
    EncryptionSettings encryption;
    // The certificate fingerprint the user trusted, per server address
    // ("Certificates"/<address>).
    std::map<std::string, std::string> pinned_certificates;
};

// "0:120:255" for the bytes 0, 120, 255; the empty text for no bytes.
std::string FormatByteList(std::string_view bytes);
// Numbers up to the first empty field, each kept to its low 8 bits; none when
// the list holds more than kMaxBlobBytes numbers.
std::optional<std::string> ParseByteList(std::string_view text);

// Builds credentials from two blobs; none when the login blob does not
// uncompress (such a blob cannot name the user in any command).
std::optional<Credentials> MakeCredentials(std::string_view login_blob,
                                           std::string_view password_blob);
// Compresses a typed login or password; none when it cannot be compressed
// within the limit.
std::optional<std::string> CompressField(std::string_view text);
// The text a blob holds, up to a NUL as every command reads it; empty when
// the blob does not uncompress.
std::string UncompressField(std::string_view blob);

// $XDG_CONFIG_HOME/Parlomatic/Parlomatic.ini, or ~/.config/Parlomatic/Parlomatic.ini.
QString DefaultSettingsPath();

// The INI file, with the sections "Login", "Server", "Sound", "State",
// "Options" (the main window's geometry, the automatic inactive state) and
// "Certificates" (the servers' trusted certificates). The
// file is created readable and writable by its user only: it holds the
// credentials.
class SettingsStore {
  public:
    explicit SettingsStore(QString path = DefaultSettingsPath());

    // Reads the store over `settings`. An empty stored login leaves everything
    // as it was; a login that is no usable blob leaves the credentials empty.
    void Load(ClientSettings& settings) const;
    // Writes every value; false when the file could not be written.
    bool Save(const ClientSettings& settings) const;

    const QString& Path() const { return path_; }

  private:
    QString path_;
};

}  // namespace parlo::client
