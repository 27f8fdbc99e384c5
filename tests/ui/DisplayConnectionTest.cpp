// The X connection's send buffer, on a real X server when there is one (CI runs the
// tests under Xvfb); elsewhere the call must do nothing.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "ui/platform/DisplayConnection.h"

namespace quillon {
namespace {

TEST(DisplayConnection, TheSendBufferToTheXServerHoldsSecondsOfRepaints)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        EXPECT_EQ(WidenDisplaySendBuffer(), 0);
        GTEST_SKIP() << "no X server (DISPLAY unset)";
    }
    const int size = WidenDisplaySendBuffer();
    EXPECT_GE(size, 1 << 20);
    EXPECT_EQ(WidenDisplaySendBuffer(), size);  // already wide: left alone
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // On the screen when there is one; test discovery never looks for it.
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    qputenv("QT_QPA_PLATFORM", !listing && !qEnvironmentVariableIsEmpty("DISPLAY") ? "xcb" : "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
