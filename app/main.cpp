// hvk32: the viewer. Starts idle; --connect connects to the device at start-up, and a capture
// named on the command line opens on the "Offline" tab (--play plays it).

#include "app/Language.h"
#include "app/manwindow.h"
#include "platform/SignalHandling.h"
#include "records/ProgramVersion.h"
#include "view/LibraryMessages.h"

#include <QApplication>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: hvk32 [--connect] [--data-port N] [--telemetry-port N] [--multicast ADDR]\n"
    "             [--engineering] [--device-address ADDR] [--quit-after SECONDS] [--stats]\n"
    "             [--language LANG] [--verbose]\n"
    "       hvk32 [options] CAPTURE.pcap [--play]\n"
    "\n"
    "  CAPTURE.pcap          open this capture on the \"Offline\" tab, index it and show its\n"
    "                        first frame\n"
    "  --play                play the capture from the start at once\n"
    "  --connect             connect to the device at start-up with the ports shown in the window\n"
    "  --data-port N         fill in the data port (default 2368)\n"
    "  --telemetry-port N    fill in the telemetry port (default 2369)\n"
    "  --multicast ADDR      fill in the multicast group (default 224.1.1.1)\n"
    "  --engineering         show the advanced tools the window keeps hidden (advanced settings,\n"
    "                        modes, vertical angles, angle adjustments, display angle, help)\n"
    "  --device-address ADDR where the vertical-angle table and the factory reset go by default\n"
    "                        (the device's factory address 192.168.1.200; 127.0.0.2 for hvk32-sim)\n"
    "  --quit-after SECONDS  close the window after this many seconds\n"
    "  --stats               on exit, print the frames the device sent, drawn and skipped, and its\n"
    "                        frame rate measured on arrival\n"
    "  --language LANG       show the window in another language: en (English); the\n"
    "                        HVK32_LANGUAGE environment variable does the same\n"
    "  --verbose             also print the 3-D libraries' warnings and notes\n"
    "  --version             print the program's version\n"
    "  --help                show this text\n";

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

// Stop signals are caught before main() runs: the program's own initialisers run after every
// library's, so a SIGINT or SIGTERM that arrives once main() has begun closes the window once it is
// up instead of killing the program.
[[maybe_unused]] const bool stopSignalsCaught = hvk32::platform::installStopSignalHandling();

} // namespace

int main(int argc, char** argv)
{
    bool connectAtStart = false;
    bool printStats = false;
    bool engineering = false;
    double quitAfterSeconds = 0;
    bool verbose = false;
    bool play = false;
    QString capture;
    QString dataPort, telemetryPort, multicast, deviceAddress;
    QString language = QString::fromLocal8Bit(qgetenv("HVK32_LANGUAGE"));
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--connect")) {
            connectAtStart = true;
        } else if (!std::strcmp(argv[i], "--data-port") && i + 1 < argc) {
            dataPort = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--telemetry-port") && i + 1 < argc) {
            telemetryPort = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--device-address") && i + 1 < argc) {
            deviceAddress = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--multicast") && i + 1 < argc) {
            multicast = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--engineering")) {
            engineering = true;
        } else if (!std::strcmp(argv[i], "--language") && i + 1 < argc) {
            language = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--verbose")) {
            verbose = true;
        } else if (!std::strcmp(argv[i], "--play")) {
            play = true;
        } else if (argv[i][0] != '-' && capture.isEmpty()) {
            capture = QString::fromLocal8Bit(argv[i]);
        } else if (!std::strcmp(argv[i], "--stats")) {
            printStats = true;
        } else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) {
            char* end = nullptr;
            quitAfterSeconds = std::strtod(argv[++i], &end);
            if (!end || *end || quitAfterSeconds <= 0) {
                std::fprintf(stderr, "hvk32: bad value '%s' for --quit-after\n%s", argv[i], kUsage);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--version")) {
            std::puts(hvk32::programVersionLine("hvk32").c_str());
            return 0;
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "hvk32: unknown option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (play && capture.isEmpty()) {
        std::fprintf(stderr, "hvk32: --play needs a capture file to play\n%s", kUsage);
        return 2;
    }
    if (connectAtStart && !capture.isEmpty()) {
        std::fprintf(stderr, "hvk32: give a capture file or --connect, not both\n%s", kUsage);
        return 2;
    }
    if (!haveDisplay()) {
        std::fputs("hvk32: no display found (DISPLAY is not set); run it on a desktop, or under xvfb-run\n", stderr);
        return 1;
    }

    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    hvk32::routeLibraryMessages(verbose);
    QString languageError;
    if (!hvk32::installLanguage(app, language, &languageError)) {
        std::fprintf(stderr, "hvk32: %s\n", qPrintable(languageError));
        return 2;
    }
    manwindow window;
    // Without a window manager the maximized state is not applied: fit the screen instead.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.resize(window.size().boundedTo(screen->availableGeometry().size()));
    window.setConnectionFields(dataPort, telemetryPort, multicast);
    window.setEngineeringMode(engineering);
    if (!deviceAddress.isEmpty())
        window.setFixedDeviceAddress(deviceAddress);
    window.show();
    // SIGINT and SIGTERM close the window as the user would (receivers, player, recording
    // and export stopped in order), then leave the event loop even if a dialog is open.
    hvk32::platform::watchStopSignal(&window, [&app](int) {
        QApplication::closeAllWindows();
        app.quit();
    });
    if (connectAtStart)
        window.onConnectLidar();
    QString problem;
    if (!capture.isEmpty() && !window.openCaptureFromShell(capture, play, &problem)) {
        std::fprintf(stderr, "hvk32: %s cannot be played: %s\n", qPrintable(capture), qPrintable(problem));
        return 1;
    }
    if (quitAfterSeconds > 0)
        QTimer::singleShot(static_cast<int>(quitAfterSeconds * 1000), &window, &QWidget::close);
    const int rc = app.exec();
    if (printStats)
        std::printf("frames sent %llu, drawn %llu, skipped %llu, device rate %.1f Hz\n",
                    static_cast<unsigned long long>(window.framesReceived()),
                    static_cast<unsigned long long>(window.framesDrawn()),
                    static_cast<unsigned long long>(window.framesSkipped()), window.deviceFrameRate());
    return rc;
}
