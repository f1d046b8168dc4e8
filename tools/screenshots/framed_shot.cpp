#include "tools/screenshots/framed_shot.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstdio>

#include "tests/support/qt_wait.h"

namespace parlo::shots {

bool SaveFramed(QWidget& window, const QDir& dir, const QString& name) {
    using parlo::testing::Settle;
    using parlo::testing::WaitUntil;
    window.raise();
    window.activateWindow();
    WaitUntil(
        [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); });
    // The frame comes a moment after the window is mapped.
    WaitUntil([&] { return window.frameGeometry() != window.geometry(); }, 10000);
    Settle(300);

    const QString path = dir.filePath(name);
    QScreen* screen =
        window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    const QRect frame = window.frameGeometry();
    const QPixmap picture =
        screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const bool saved = !picture.isNull() && picture.save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toUtf8().constData());
    return saved;
}

}  // namespace parlo::shots
