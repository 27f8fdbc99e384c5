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
