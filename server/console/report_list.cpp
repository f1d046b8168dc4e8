#include "server/console/report_list.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

namespace parlo::server {

void SetUpReportList(QTreeWidget& list, std::span<const ReportColumn> columns) {
    QStringList headings;
    int total = 0;
    for (const ReportColumn& column : columns) {
        headings << QString::fromUtf8(column.heading);
        total += column.width;
    }
    list.setColumnCount(static_cast<int>(columns.size()));
    list.setHeaderLabels(headings);
    for (size_t i = 0; i < columns.size(); ++i) {
        list.setColumnWidth(static_cast<int>(i), columns[i].width);
    }
    // The stretched last section never gets narrower than the width it was
    // given, only wider.
    list.header()->setStretchLastSection(true);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list.setRootIsDecorated(false);
    list.setUniformRowHeights(true);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    const int bar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    list.setMinimumWidth(total + bar + 2 * list.frameWidth());
}

}  // namespace parlo::server
