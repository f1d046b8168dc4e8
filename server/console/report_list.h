// The console's report-style lists: headed columns of fixed widths, whole
// rows selected, no tree decoration.
#pragma once

#include <QStringList>

#include <span>

class QTreeWidget;

namespace parlo::server {

struct ReportColumn {
    const char* heading;
    int width;  // pixels
};

// Sets up `list` with `columns`. The list is at least as wide as its columns
// (and its vertical scroll bar, always shown so that it never takes width
// from them): at that width every column has its own width, and only when
// the window is widened does the last column grow into the extra space.
void SetUpReportList(QTreeWidget& list, std::span<const ReportColumn> columns);

}  // namespace parlo::server
