// What every parlo-*-shots program shares: saving a window as the user sees
// it on the screen, with the frame and title its window manager gave it.
#pragma once

#include <QDir>
#include <QString>

#include <optional>

class QRect;
class QWidget;

namespace parlo::shots {

// Waits until `window` is shown and framed (a window manager runs in take.sh;
// without one the bare window is taken), lets pending paints reach the
// screen, then saves the screen region of the framed window as `dir`/`name`.
// Prints "saved PATH" or "FAILED PATH"; false when nothing could be saved.
bool SaveFramed(QWidget& window, const QDir& dir, const QString& name);

// Saves what the screen shows in `area` as `dir`/`name`, printing "saved
// PATH" or "FAILED PATH"; false when nothing could be saved.
bool SaveScreenArea(const QRect& area, const QDir& dir, const QString& name);

// The pictures' directory of "<program> DIR", made when missing; nothing,
// after printing the usage, for any other command line.
std::optional<QDir> PicturesDirectory(int argc, char** argv);

}  // namespace parlo::shots
