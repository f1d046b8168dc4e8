#!/bin/sh
# The client's layering, checked on its sources: no nested event loop anywhere
# in the client (boxes and dialogs are opened and answered later), and no Qt
# Gui or Widgets header in the core. An SQL statement the history runs
# (`if (query.exec(`) is no event loop. Usage: check_layers.sh SOURCE_DIR
src=${1:?source directory}
status=0

nested=$(grep -rnE '(\.|->)exec\(|QEventLoop|processEvents|waitFor(Connected|ReadyRead|BytesWritten|Disconnected)' \
    "$src/client" | grep -v 'QApplication::exec()' | grep -vE '^[^:]*/client/history/[^:]*:[0-9]+: *if \(query\.exec\(')
if [ -n "$nested" ]; then
    echo "nested event loop in the client:"
    echo "$nested"
    status=1
fi

gui=$(grep -rnE '#include <(QtGui|QtWidgets)/|#include <Q(Application|GuiApplication|Widget|Dialog|MessageBox|Painter|Color|Font|FontMetrics|Pixmap|Icon|Image|Action|Menu|Screen|Window)>' \
    "$src/client/core")
if [ -n "$gui" ]; then
    echo "Qt Gui or Widgets in the client core:"
    echo "$gui"
    status=1
fi
exit $status
