// Encrypted connections: the server's certificate is judged by the
// fingerprint pinned for its address at the first connection, since office
// servers sign their own.
#include "client/core/session.h"

namespace parlo::client {

namespace {

// "AB:" per byte: a SHA-256 fingerprint is shown on two lines of 16 bytes,
// so that its box stays narrow.
constexpr size_t kFingerprintLineChars = 16 * 3;

std::string FingerprintLines(std::string_view fingerprint) {
    std::string lines(fingerprint);
    if (lines.size() > kFingerprintLineChars) {
        lines[kFingerprintLineChars - 1] = '\n';
    }
    return lines;
}

}  // namespace

int Session::ConnectPort() const {
    return settings_.encryption.enabled ? settings_.encryption.port : settings_.port;
}

void Session::OnLinkCertificate(std::string_view fingerprint) {
    const std::string address = settings_.server_address;
    const auto pinned = settings_.pinned_certificates.find(address);
    if (pinned == settings_.pinned_certificates.end()) {
        AskTrust(address, std::string(fingerprint));
        return;
    }
    if (pinned->second == fingerprint) {
        link_->TrustCertificate();
        return;
    }
    const std::string server = address + ":" + std::to_string(ConnectPort());
    qWarning("the certificate of %s changed: the connection is refused", server.c_str());
    const std::string text = std::string(texts::kCertificateChanged) + server +
                             " a changé : la connexion est refusée et rien n'a été envoyé.\n\n"
                             "Empreinte SHA-256 acceptée auparavant :\n" +
                             FingerprintLines(pinned->second) +
                             "\n\nEmpreinte SHA-256 présentée :\n" + FingerprintLines(fingerprint);
    RefuseCertificate();
    ShowBox(text, texts::kEncryptedConnection, BoxIcon::kInformation);
}

void Session::AskTrust(const std::string& address, const std::string& fingerprint) {
    const std::string text =
        "Première connexion chiffrée au serveur " + address + ":" + std::to_string(ConnectPort()) +
        ".\nEmpreinte SHA-256 de son certificat :\n" + FingerprintLines(fingerprint) +
        "\n\nComparez-la avec celle que donne l'administrateur.\n" +
        std::string(texts::kTrustServer);
    const std::uint64_t generation = link_generation_;
    ShowBox(text, texts::kEncryptedConnection, BoxIcon::kQuestion, BoxButtons::kYesNo,
            [this, generation, address, fingerprint](BoxAnswer answer) {
                if (!link_ || generation != link_generation_) {
                    return;  // that attempt is over
                }
                if (answer != BoxAnswer::kYes) {
                    RefuseCertificate();
                    return;
                }
                settings_.pinned_certificates[address] = fingerprint;
                SaveSettings();
                link_->TrustCertificate();
            });
}

void Session::RefuseCertificate() {
    reconnection_.Cancel();
    testing_connection_ = false;
    DropLink();
    ShowContactsOffline();
    connection_problem_ =
        std::string(texts::kServerUnreachable) + std::string(texts::kCertificateRefused);
    SetOwnState(kStateOffline);
}

}  // namespace parlo::client
