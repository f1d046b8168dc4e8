#include "tools/screenshots/framed_shot.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace parlo::shots {
namespace {

// A window that gets no frame (here a frameless one; under take.sh, any
// window when the window manager is missing) is never saved bare: the
// picture tool says so and saves nothing.
TEST(FramedShot, AWindowThatGetsNoFrameIsNotSaved) {
    QDialog window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.resize(160, 90);
    window.show();
    QTemporaryDir dir;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(SaveFramed(window, QDir(dir.path()), QStringLiteral("cadre.png"), 200));
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("FAILED ", 0), 0u) << printed;
    EXPECT_NE(printed.find("no window frame"), std::string::npos) << printed;
    EXPECT_FALSE(QDir(dir.path()).exists(QStringLiteral("cadre.png")));
}

}  // namespace
}  // namespace parlo::shots
