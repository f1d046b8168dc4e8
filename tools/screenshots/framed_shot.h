// What every parlo-*-shots program shares: saving a window as the user sees
// it on the screen, with the frame and title its window manager gave it.
#pragma once

#include <QDir>
#include <QString>

#include <optional>

class QRect;
class QWidget;

namespace parlo::shots {

// How long a window may wait for the frame its window manager draws.
inline constexpr int kFrameWaitMs = 10000;

// Waits until `window` is shown and framed (a window manager runs in take.sh),
// lets pending paints reach the screen, then saves the screen region of the
// framed window as `dir`/`name`. Prints "saved PATH" or "FAILED PATH" (with
// the reason when no frame came within `frame_wait_ms`: a bare window is
// never saved); false when nothing was saved.
bool SaveFramed(QWidget& window, const QDir& dir, const QString& name,
                int frame_wait_ms = kFrameWaitMs);

// Saves what the screen shows in `area` as `dir`/`name`, printing "saved
// PATH" or "FAILED PATH"; false when nothing could be saved.
bool SaveScreenArea(const QRect& area, const QDir& dir, const QString& name);

// The pictures' directory of "<program> DIR", made when missing; nothing,
// after printing the usage, for any other command line.
std::optional<QDir> PicturesDirectory(int argc, char** argv);

}  // namespace parlo::shots
