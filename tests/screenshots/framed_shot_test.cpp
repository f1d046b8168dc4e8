#include "tools/screenshots/framed_shot.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace parlo::shots {
namespace {

QImage Rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

// The picture is the screen's region of the framed window: the frame around,
// the window's own pixels at their place inside it.
TEST(FramedShot, SavesTheWindowInsideItsFrame) {
    QDialog window;
    window.setWindowTitle(QStringLiteral("Cadre"));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x20, 0x80, 0x40));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.resize(160, 90);
    window.show();

    QTemporaryDir dir;
    ASSERT_TRUE(SaveFramed(window, QDir(dir.path()), QStringLiteral("cadre.png")));
    const QImage picture(QDir(dir.path()).filePath(QStringLiteral("cadre.png")));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), window.frameGeometry().size());
    EXPECT_GT(picture.width(), window.width());  // the test display draws frames too
    const QPoint inside = window.geometry().topLeft() - window.frameGeometry().topLeft();
    EXPECT_TRUE(Rgb(picture.copy(QRect(inside, window.size()))) == Rgb(window.grab().toImage()));
    EXPECT_FALSE(SaveFramed(window, QDir(dir.filePath(QStringLiteral("absent"))),
                            QStringLiteral("cadre.png")));
}

}  // namespace
}  // namespace parlo::shots
