#include "client/core/client_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

#include "client/core/qt_text.h"
#include "protocol/codec.h"
#include "protocol/commands.h"
#include "protocol/field_string.h"

namespace parlo::client {

namespace {

constexpr auto kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
// The main window's geometry, in base 64.
constexpr const char* kGeometryKey = "Options/WindowGeometry";
constexpr const char* kPinsGroup = "Certificates";

// A stored flag counts as set only when it is exactly 1.
bool ReadFlag(const QSettings& store, const char* key, bool current) {
    const QVariant value = store.value(key);
    if (!value.isValid()) {
        return current;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number == 1;
}

int ReadInt(const QSettings& store, const char* key, int current) {
    const QVariant value = store.value(key);
    if (!value.isValid()) {
        return current;
    }
    // Digits that are no number read as 0, as the settings dialog does.
    return value.toInt();
}

// A NUL ends the text as every command sees it.
bool UncompressText(std::string_view blob, std::string& text) {
    if (blob.empty() || !Uncompress(blob, text)) {
        return false;
    }
    text.resize(std::string_view(text.c_str()).size());
    return true;
}

// Keys are server addresses, values fingerprints.
void LoadPins(QSettings& store, std::map<std::string, std::string>& pins) {
    store.beginGroup(kPinsGroup);
    for (const QString& address : store.childKeys()) {
        pins[Utf8(address)] = Utf8(store.value(address).toString());
    }
    store.endGroup();
}

void SavePins(const std::map<std::string, std::string>& pins, QSettings& store) {
    store.remove(kPinsGroup);
    store.beginGroup(kPinsGroup);
    for (const auto& [address, fingerprint] : pins) {
        store.setValue(Q(address), Q(fingerprint));
    }
    store.endGroup();
}

}  // namespace

std::string FormatByteList(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 4);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            out.push_back(':');
        }
        out += std::to_string(static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

std::optional<std::string> ParseByteList(std::string_view text) {
    std::string bytes;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(':', pos), text.size());
        const std::string_view field = text.substr(pos, end - pos);
        if (field.empty()) {
            break;
        }
        if (bytes.size() == kMaxBlobBytes) {
            return std::nullopt;
        }
        // atoi-like: leading digits, anything else reads as 0.
        FieldString number(std::string(field).c_str());
        bytes.push_back(static_cast<char>(number.ToInt() & 0xff));
        pos = end + 1;
    }
    return bytes;
}

std::optional<Credentials> MakeCredentials(std::string_view login_blob,
                                           std::string_view password_blob) {
    std::string plain;
    if (login_blob.size() > kMaxBlobBytes || password_blob.size() > kMaxBlobBytes ||
        !UncompressText(login_blob, plain)) {
        return std::nullopt;
    }
    return Credentials{std::string(login_blob), std::string(password_blob), std::move(plain)};
}

std::string UncompressField(std::string_view blob) {
    std::string text;
    if (!UncompressText(blob, text)) {
        return {};
    }
    return text;
}

std::optional<std::string> CompressField(std::string_view text) {
    std::string blob;
    if (text.size() >= kMaxBlobBytes || !Compress(text, blob) || blob.size() > kMaxBlobBytes) {
        return std::nullopt;
    }
    return blob;
}

QString DefaultSettingsPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/Parlomatic/Parlomatic.ini");
}

SettingsStore::SettingsStore(QString path) : path_(std::move(path)) {}

void SettingsStore::Load(ClientSettings& settings) const {
    QSettings store(path_, QSettings::IniFormat);
    // The window's place does not depend on an account.
    const QByteArray geometry =
        QByteArray::fromBase64(store.value(kGeometryKey).toString().toLatin1());
    if (!geometry.isEmpty()) {
        settings.window_geometry = geometry.toStdString();
    }
    LoadPins(store, settings.pinned_certificates);
    const std::string login_text = Utf8(store.value("Login/Login", QString()).toString());
    const std::string password_text = Utf8(store.value("Login/Password", QString()).toString());
    if (login_text.empty()) {
        return;
    }
    settings.credentials = {};
    const auto login_blob = ParseByteList(login_text);
    const auto password_blob = ParseByteList(password_text);
    if (login_blob && password_blob) {
        if (auto credentials = MakeCredentials(*login_blob, *password_blob)) {
            settings.credentials = std::move(*credentials);
        }
    }
    settings.server_address = Utf8(store.value("Server/IP", Q(settings.server_address)).toString());
    settings.port = ReadInt(store, "Server/Port", settings.port);
    settings.sound = ReadFlag(store, "Sound/Play", settings.sound);
    settings.online_expanded = ReadFlag(store, "State/OnLine", settings.online_expanded);
    settings.offline_expanded = ReadFlag(store, "State/OffLine", settings.offline_expanded);
    AttentionSettings& attention = settings.attention;
    attention.notify = ReadFlag(store, "Sound/Notify", attention.notify);
    attention.auto_inactive = ReadFlag(store, "Options/AutoInactive", attention.auto_inactive);
    const int minutes = ReadInt(store, "Options/InactiveMinutes", attention.inactive_minutes);
    attention.inactive_minutes = std::clamp(minutes, AttentionSettings::kMinInactiveMinutes,
                                            AttentionSettings::kMaxInactiveMinutes);
    if (attention.inactive_minutes != minutes) {
        qWarning("Options/InactiveMinutes %d is out of range: %d minutes are used", minutes,
                 attention.inactive_minutes);
    }
    settings.keep_history = ReadFlag(store, "Options/KeepHistory", settings.keep_history);
    EncryptionSettings& encryption = settings.encryption;
    encryption.enabled = ReadFlag(store, "Server/Encrypted", encryption.enabled);
    encryption.port = ReadInt(store, "Server/EncryptedPort", encryption.port);
}

bool SettingsStore::Save(const ClientSettings& settings) const {
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    // Create the file private before any credential is written into it.
    QFile file(path_);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        file.close();
    }
    file.setPermissions(kOwnerOnly);
    {
        QSettings store(path_, QSettings::IniFormat);
        store.setValue("Login/Login", Q(FormatByteList(settings.credentials.login_blob)));
        store.setValue("Login/Password", Q(FormatByteList(settings.credentials.password_blob)));
        store.setValue("Server/IP", Q(settings.server_address));
        store.setValue("Server/Port", settings.port);
        store.setValue("Sound/Play", settings.sound ? 1 : 0);
        store.setValue("State/OnLine", settings.online_expanded ? 1 : 0);
        store.setValue("State/OffLine", settings.offline_expanded ? 1 : 0);
        if (!settings.window_geometry.empty()) {
            store.setValue(kGeometryKey,
                           QString::fromLatin1(
                               QByteArray::fromStdString(settings.window_geometry).toBase64()));
        }
        store.setValue("Sound/Notify", settings.attention.notify ? 1 : 0);
        store.setValue("Options/AutoInactive", settings.attention.auto_inactive ? 1 : 0);
        store.setValue("Options/InactiveMinutes", settings.attention.inactive_minutes);
        store.setValue("Options/KeepHistory", settings.keep_history ? 1 : 0);
        store.setValue("Server/Encrypted", settings.encryption.enabled ? 1 : 0);
        store.setValue("Server/EncryptedPort", settings.encryption.port);
        SavePins(settings.pinned_certificates, store);
        store.sync();
        if (store.status() != QSettings::NoError) {
            return false;
        }
    }
    return QFile::setPermissions(path_, kOwnerOnly);
}

}  // namespace parlo::client
