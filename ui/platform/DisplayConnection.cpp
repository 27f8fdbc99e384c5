#include "ui/platform/DisplayConnection.h"

#include <QGuiApplication>

#if QT_CONFIG(xcb)
#include <sys/socket.h>
#include <xcb/xcb.h>
#endif

namespace quillon {

int WidenDisplaySendBuffer()
{
#if QT_CONFIG(xcb)
    const auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return 0;
    }
    const int fd = xcb_get_file_descriptor(x11->connection());
    constexpr int kWanted = 1 << 20;  // a few seconds of repaints; the kernel may grant less
    int size = 0;
    socklen_t length = sizeof size;
    if (::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &length) != 0) {
        return 0;
    }
    if (size < kWanted) {
        // Best effort: a smaller buffer only costs wake-ups.
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kWanted, sizeof kWanted);
        length = sizeof size;
        ::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &length);
    }
    return size;
#else
    return 0;
#endif
}

}  // namespace quillon
