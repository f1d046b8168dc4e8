#include "tools/screenshots/framed_shot.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/qt_wait.h"

namespace parlo::shots {

bool SaveFramed(QWidget& window, const QDir& dir, const QString& name, int frame_wait_ms) {
    using parlo::testing::Settle;
    using parlo::testing::WaitUntil;
    window.raise();
    window.activateWindow();
    WaitUntil(
        [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); });
    // The frame comes a moment after the window is mapped.
    if (!WaitUntil([&] { return window.frameGeometry() != window.geometry(); }, frame_wait_ms)) {
        std::printf("FAILED %s (no window frame within %d ms: is a window manager running?)\n",
                    dir.filePath(name).toUtf8().constData(), frame_wait_ms);
        return false;
    }
    Settle(300);

    return SaveScreenArea(window.frameGeometry(), dir, name);
}

bool SaveScreenArea(const QRect& area, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(
        0, area.x(), area.y(), area.width(), area.height());
    const bool saved = !picture.isNull() && picture.save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toUtf8().constData());
    return saved;
}

std::optional<QDir> PicturesDirectory(int argc, char** argv) {
    if (argc != 2) {
        const std::string program =
            argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "parlo-shots";
        std::fprintf(stderr, "usage: %s DIR\n", program.c_str());
        return std::nullopt;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    return out;
}

}  // namespace parlo::shots
