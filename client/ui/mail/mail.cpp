#include "client/ui/mail/mail.h"

#include <QByteArray>
#include <QDesktopServices>

#include "client/core/qt_text.h"

namespace parlo::client {

QUrl MailToUrl(std::string_view address) {
    const QByteArray raw(address.data(), static_cast<qsizetype>(address.size()));
    // Only the address's own "@" stays as it is.
    const QByteArray encoded = QByteArray("mailto:") + raw.toPercentEncoding("@");
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

bool OpenMailProgram(std::string_view address) {
    return QDesktopServices::openUrl(MailToUrl(address));
}

QString MailUnavailableText(std::string_view address) {
    if (address.empty()) {
        return QStringLiteral("Aucun logiciel de messagerie n'a pu ouvrir un nouveau message.");
    }
    return QStringLiteral(
               "Aucun logiciel de messagerie n'a pu ouvrir un nouveau message "
               "pour %1.")
        .arg(Q(address));
}

}  // namespace parlo::client
