#include "client/ui/shell/artwork.h"

#include <QString>

// The resources live in this static library: registered on first use.
static void RegisterArtwork() {
    Q_INIT_RESOURCE(artwork);
}

namespace parlo::client {
namespace {

QString OwnName(OwnPicture picture) {
    switch (picture) {
        case OwnPicture::kOnline:
            return QStringLiteral("online");
        case OwnPicture::kOffline:
            return QStringLiteral("offline");
        case OwnPicture::kAway:
            return QStringLiteral("away");
        case OwnPicture::kNeutral:
            break;
    }
    return QStringLiteral("neutral");
}

QPixmap Load(const QString& name) {
    static const bool registered = (RegisterArtwork(), true);
    (void)registered;
    return QPixmap(QStringLiteral(":/parlomatic/") + name + QStringLiteral(".png"));
}

}  // namespace

QIcon OwnIcon(OwnPicture picture, bool unread) {
    QIcon icon;
    const QString variant = unread ? QStringLiteral("-unread") : QString();
    for (const int size : {16, 32}) {
        icon.addPixmap(
            Load(QStringLiteral("state-%1%2-%3").arg(OwnName(picture), variant).arg(size)));
    }
    return icon;
}

QIcon ProgramIcon() {
    return OwnIcon(OwnPicture::kOnline);
}

QPixmap PresencePixmap(PresencePicture picture) {
    switch (picture) {
        case PresencePicture::kOnline:
            return Load(QStringLiteral("presence-online"));
        case PresencePicture::kOffline:
            return Load(QStringLiteral("presence-offline"));
        case PresencePicture::kAway:
            break;
    }
    return Load(QStringLiteral("presence-away"));
}

QPixmap TogglePixmap(bool expanded) {
    return Load(expanded ? QStringLiteral("toggle-expanded") : QStringLiteral("toggle-collapsed"));
}

QPixmap LogoPixmap() {
    return Load(QStringLiteral("logo"));
}

}  // namespace parlo::client
