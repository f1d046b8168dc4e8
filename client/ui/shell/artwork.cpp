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

// `name` at `ratio`: the drawing at its own size for 1, else the one at
// twice the size, scaled to the device pixels the ratio asks for.
QPixmap AtRatio(const QString& name, qreal ratio) {
    if (ratio <= 1.0) {
        return Load(name);
    }
    const QPixmap one = Load(name);
    QPixmap picture = Load(name + QStringLiteral("@2x"));
    const QSize device = (QSizeF(one.size()) * ratio).toSize();
    if (picture.size() != device) {
        picture = picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture.setDevicePixelRatio(ratio);
    return picture;
}

}  // namespace

QIcon OwnIcon(OwnPicture picture, bool unread) {
    QIcon icon;
    const QString variant = unread ? QStringLiteral("-unread") : QString();
    for (const int size : {16, 32, 64}) {
        icon.addPixmap(
            Load(QStringLiteral("state-%1%2-%3").arg(OwnName(picture), variant).arg(size)));
    }
    return icon;
}

QIcon ProgramIcon() {
    return OwnIcon(OwnPicture::kOnline);
}

QPixmap PresencePixmap(PresencePicture picture, qreal pixel_ratio) {
    switch (picture) {
        case PresencePicture::kOnline:
            return AtRatio(QStringLiteral("presence-online"), pixel_ratio);
        case PresencePicture::kOffline:
            return AtRatio(QStringLiteral("presence-offline"), pixel_ratio);
        case PresencePicture::kAway:
            break;
    }
    return AtRatio(QStringLiteral("presence-away"), pixel_ratio);
}

QPixmap TogglePixmap(bool expanded, qreal pixel_ratio) {
    return AtRatio(
        expanded ? QStringLiteral("toggle-expanded") : QStringLiteral("toggle-collapsed"),
        pixel_ratio);
}

QPixmap LogoPixmap(qreal pixel_ratio) {
    return AtRatio(QStringLiteral("logo"), pixel_ratio);
}

}  // namespace parlo::client
