// "Verdana" at the classic font heights, as both programs draw their painted
// views. Where the system has no Verdana, "Veranda" (Debian's
// fonts-arkpandora, drawn to Verdana's metrics) takes its place, so texts keep
// their widths.
#pragma once

#include <QFont>

namespace parlo {

// A font whose line height (ascent + descent) is at most `cell_height`
// pixels, as the classic font heights count them.
QFont FontOfCellHeight(const QString& family, int cell_height, QFont::Weight weight, bool italic);

// FontOfCellHeight for "Verdana", with its fallbacks registered.
QFont VerdanaFont(int cell_height, QFont::Weight weight, bool italic = false);

}  // namespace parlo
