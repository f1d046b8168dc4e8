#include "shared_ui/verdana_font.h"

#include <QFontMetrics>
#include <QStringList>

namespace parlo {
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

QFont VerdanaFont(int cell_height, QFont::Weight weight, bool italic) {
    AddFallbacks();
    return FontOfCellHeight(kFamily, cell_height, weight, italic);
}

}  // namespace parlo
