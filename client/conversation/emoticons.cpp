#include "client/conversation/emoticons.h"

#include <QPainter>
#include <array>

namespace parlo::client {

QPixmap EmoticonPicture(int bitmap) {
    if (!((bitmap >= 142 && bitmap <= 156) || bitmap == 159)) {
        return {};
    }
    // Plain placeholder face until the artwork lands.
    QPixmap picture(kEmoticonSize, kEmoticonSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(255, 210, 40));
    painter.setPen(QColor(120, 80, 0));
    painter.drawEllipse(1, 1, kEmoticonSize - 3, kEmoticonSize - 3);
    return picture;
}

std::span<const EmoticonMenuItem> EmoticonMenuItems() {
    static constexpr std::array<EmoticonMenuItem, 16> kItems{{
        {":)", 142},
        {":D", 151},
        {";)", 154},
        {":O", 152},
        {":P", 153},
        {":$", 145},
        {":A", 148},
        {":'(", 144},
        {":(", 155},
        {":|", 143},
        {":S", 156},
        {":@", 147},
        {":8", 146},
        {"(C)", 159},
        {"(K)", 150},
        {"(L)", 149},
    }};
    return kItems;
}

}  // namespace parlo::client
