// hvk32: the viewer. Starts idle; --connect connects to the device at start-up, and a capture
// named on the command line opens on the "Offline" tab (--play plays it).

#include "app/Language.h"
#include "app/LibraryMessages.h"
#include "app/manwindow.h"
#include "device/AddressChecks.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "version/ProgramVersion.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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

constexpr double kLongestQuitAfterSeconds = 2e6;

// The options as given; the language starts from HVK32_LANGUAGE.
struct ViewerOptions {
    bool connectAtStart = false;
    bool printStats = false;
    bool engineering = false;
    double quitAfterSeconds = 0;
    bool verbose = false;
    bool play = false;
    bool version = false;
    QString capture;
    QString dataPort, telemetryPort, multicast, deviceAddress, language;
};

hvk32::platform::OptionParser::Take keep(QString& target)
{
    return [&target](const std::string& value) {
        target = QString::fromLocal8Bit(value.c_str());
        return true;
    };
}

// A UDP port the window can listen on: 1..65535, kept as typed into its field.
hvk32::platform::OptionParser::Take keepPort(QString& target)
{
    return [&target](const std::string& value) {
        int port = 0;
        if (!hvk32::platform::parseInteger(value, 1, 65535, port))
            return false;
        target = QString::number(port);
        return true;
    };
}

// A dotted IPv4 address: four numbers of 0..255.
hvk32::platform::OptionParser::Take keepAddress(QString& target)
{
    return [&target](const std::string& value) {
        const QString address = QString::fromLocal8Bit(value.c_str());
        if (address.isEmpty() || hvk32::addresschecks::isIncomplete(address))
            return false;
        target = address;
        return true;
    };
}

hvk32::platform::OptionParser::Complaint complaint(const char* option, const char* expected)
{
    return [option, expected](const std::string& value) {
        return std::string(option) + " takes " + expected + ", not '" + value + "'";
    };
}

// A missing value reads as an unknown option; the usage follows every complaint.
hvk32::platform::OptionParser optionsParser(ViewerOptions& o)
{
    hvk32::platform::OptionMessages messages;
    messages.unknown = [](const std::string& argument) {
        std::fprintf(stderr, "hvk32: unknown option '%s'\n%s", argument.c_str(), kUsage);
    };
    messages.missingValue = messages.unknown;
    messages.badValue = [](const std::string& option, const std::string& value) {
        std::fprintf(stderr, "hvk32: bad value '%s' for %s\n%s", value.c_str(), option.c_str(), kUsage);
    };
    messages.refused = [](const std::string& complaint) { std::fprintf(stderr, "hvk32: %s\n%s", complaint.c_str(), kUsage); };
    hvk32::platform::OptionParser parser(messages);
    parser.valuesApart()
        .flag("--connect", o.connectAtStart)
        .value("--data-port", keepPort(o.dataPort), complaint("--data-port", "a port number from 1 to 65535"))
        .value("--telemetry-port", keepPort(o.telemetryPort),
               complaint("--telemetry-port", "a port number from 1 to 65535"))
        .value("--device-address", keepAddress(o.deviceAddress),
               complaint("--device-address", "an IPv4 address such as 192.168.1.200"))
        .value("--multicast", keepAddress(o.multicast), complaint("--multicast", "an IPv4 address such as 224.1.1.1"))
        .flag("--engineering", o.engineering)
        .value("--language", keep(o.language))
        .flag("--verbose", o.verbose)
        .flag("--play", o.play)
        .flag("--stats", o.printStats)
        .value("--quit-after",
               [&o](const std::string& value) {
                   // The timer takes whole milliseconds in an int: about 24 days at most.
                   return hvk32::platform::parseFiniteNumber(value, o.quitAfterSeconds) && o.quitAfterSeconds > 0 &&
                          o.quitAfterSeconds <= kLongestQuitAfterSeconds;
               },
               complaint("--quit-after", "a number of seconds above 0 and up to 2000000"))
        .flag("--version", o.version)
        // The first argument without a dash is the capture; a second one is not taken.
        .positional([&o](const std::string& value) {
            if (!o.capture.isEmpty())
                return false;
            o.capture = QString::fromLocal8Bit(value.c_str());
            return true;
        });
    return parser;
}

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
    ViewerOptions o;
    o.language = QString::fromLocal8Bit(qgetenv("HVK32_LANGUAGE"));
    const int parsed = optionsParser(o).parseCommand(argc, argv, kUsage);
    if (parsed != 0)
        return parsed == hvk32::platform::OptionParser::kHelpShown ? 0 : parsed;
    if (o.version) {
        std::puts(hvk32::programVersionLine("hvk32").c_str());
        return 0;
    }
    if (o.play && o.capture.isEmpty()) {
        std::fprintf(stderr, "hvk32: --play needs a capture file to play\n%s", kUsage);
        return 2;
    }
    if (o.connectAtStart && !o.capture.isEmpty()) {
        std::fprintf(stderr, "hvk32: give a capture file or --connect, not both\n%s", kUsage);
        return 2;
    }
    if (!haveDisplay()) {
        std::fputs("hvk32: no display found (DISPLAY is not set); run it on a desktop, or under xvfb-run\n", stderr);
        return 1;
    }

    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    hvk32::routeLibraryMessages(o.verbose);
    QString languageError;
    if (!hvk32::installLanguage(app, o.language, &languageError)) {
        std::fprintf(stderr, "hvk32: %s\n", qPrintable(languageError));
        return 2;
    }
    manwindow window;
    // The view's settings (point size, background, legend) in the user's configuration folder.
    window.rememberViewSettings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                            QStringLiteral("HVK32"), QStringLiteral("hvk32")));
    // Without a window manager the maximized state is not applied: fit the screen instead.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.resize(window.size().boundedTo(screen->availableGeometry().size()));
    window.setConnectionFields(o.dataPort, o.telemetryPort, o.multicast);
    window.setEngineeringMode(o.engineering);
    if (!o.deviceAddress.isEmpty())
        window.setFixedDeviceAddress(o.deviceAddress);
    window.show();
    // SIGINT and SIGTERM close the window as the user would (receivers, player, recording
    // and export stopped in order), then leave the event loop even if a dialog is open.
    hvk32::platform::watchStopSignal(&window, [&app](int) {
        QApplication::closeAllWindows();
        app.quit();
    });
    if (o.connectAtStart)
        window.onConnectLidar();
    QString problem;
    if (!o.capture.isEmpty() && !window.openCaptureFromShell(o.capture, o.play, &problem)) {
        std::fprintf(stderr, "hvk32: %s cannot be played: %s\n", qPrintable(o.capture), qPrintable(problem));
        return 1;
    }
    if (o.quitAfterSeconds > 0)
        QTimer::singleShot(static_cast<int>(o.quitAfterSeconds * 1000), &window, &QWidget::close);
    const int rc = app.exec();
    if (o.printStats)
        std::printf("frames sent %llu, drawn %llu, skipped %llu, device rate %.1f Hz\n",
                    static_cast<unsigned long long>(window.framesReceived()),
                    static_cast<unsigned long long>(window.framesDrawn()),
                    static_cast<unsigned long long>(window.framesSkipped()), window.deviceFrameRate());
    return rc;
}
