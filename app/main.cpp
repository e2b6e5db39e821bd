// hvk32: the viewer. Starts idle; --connect connects to the device at start-up.

#include "app/manwindow.h"

#include <QApplication>
#include <QScreen>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: hvk32 [--connect]\n"
    "\n"
    "  --connect   connect to the device at start-up with the ports shown in the window\n"
    "  --help      show this text\n";

// Qt would abort with a long message when there is no display; say it in one line instead.
bool haveDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 && std::strncmp(platform, "wayland", 7) != 0)
        return true; // offscreen, vnc, ...: no display server needed
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv)
{
    bool connectAtStart = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--connect")) {
            connectAtStart = true;
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!haveDisplay()) {
        std::fputs("hvk32: no display found (DISPLAY is not set); run it on a desktop, or under xvfb-run\n", stderr);
        return 1;
    }

    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    manwindow window;
    // Without a window manager the maximized state is not applied: fit the screen instead.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.resize(window.size().boundedTo(screen->availableGeometry().size()));
    window.show();
    if (connectAtStart)
        window.onConnectLidar();
    return app.exec();
}
