#include "client/shell/fonts.h"

#include <QFontMetrics>
#include <QStringList>

namespace parlo::client {
namespace {

const QString kFamily = QStringLiteral("Verdana");

void AddFallbacks() {
    static const bool added = [] {
        QFont::insertSubstitutions(
            kFamily, QStringList{QStringLiteral("Veranda"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)added;
}

}  // namespace

QFont FontOfCellHeight(const QString& family, int cell_height, QFont::Weight weight, bool italic) {
    QFont font(family);
    font.setWeight(weight);
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int size = cell_height; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cell_height) {
            break;
        }
    }
    return font;
}

ContactListFonts ContactListFonts::Make() {
    AddFallbacks();
    return {
        .title = FontOfCellHeight(kFamily, 18, QFont::Bold, false),
        .state = FontOfCellHeight(kFamily, 16, QFont::Normal, true),
        .header = FontOfCellHeight(kFamily, 16, QFont::Bold, false),
        .names = FontOfCellHeight(kFamily, 16, QFont::Normal, false),
        .status = FontOfCellHeight(kFamily, 10, QFont::Normal, true),
    };
}

}  // namespace parlo::client
