// The X screen-saver extension's idle time. Kept apart: the X headers define
// macros that clash with Qt's names.
#include <QGuiApplication>

#include "client/ui/shell/idle_time_sources.h"

#if PARLO_HAVE_XSS
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#endif

namespace parlo::client {

std::optional<std::int64_t> XScreenSaverIdleTime() {
#if PARLO_HAVE_XSS
    const auto* x11 = qGuiApp == nullptr
                          ? nullptr
                          : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 == nullptr ? nullptr : x11->display();
    int event_base = 0;
    int error_base = 0;
    if (display == nullptr || !XScreenSaverQueryExtension(display, &event_base, &error_base)) {
        return std::nullopt;
    }
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (info == nullptr) {
        return std::nullopt;
    }
    std::optional<std::int64_t> idle;
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info) != 0) {
        idle = static_cast<std::int64_t>(info->idle);
    }
    XFree(info);
    return idle;
#else
    return std::nullopt;
#endif
}

}  // namespace parlo::client
