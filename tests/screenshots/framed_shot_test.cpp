#include "tools/screenshots/framed_shot.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace parlo::shots {
namespace {

// The test display draws no frames: the picture tool must then say so and
// save nothing rather than a bare window (the framed pictures themselves are
// taken, and looked at, under take.sh's window manager).
TEST(FramedShot, AWindowThatGetsNoFrameIsNotSaved) {
    QDialog window;
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
