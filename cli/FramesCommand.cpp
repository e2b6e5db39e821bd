#include "cli/FramesCommand.h"

#include "acquisition/GetLidardataK32.h"
#include "acquisition/PointDecoding.h"
#include "cli/FrameJson.h"
#include "records/MetaTypes.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace hvk32 {

namespace {

const char* const kFramesUsage =
    "Usage: hvk32-cli frames --live [options]\n"
    "\n"
    "Receives the scanner's data packets and writes each revolution frame to stdout as one\n"
    "JSON line (keys blockAzimuths, distances, intensities, azimuths, timestamps).\n"
    "\n"
    "Options:\n"
    "  --live              receive from the network (required)\n"
    "  --data-port N       UDP data port (default 2368)\n"
    "  --multicast ADDR    multicast group to join (default 224.1.1.1)\n"
    "  --config NAME       HVK321 (single echo, default) or HVK322 (dual echo)\n"
    "  --echo 0|1|2        dual echo: 0 both echoes (default), 1 first, 2 second\n"
    "  --count N           stop after N frames\n"
    "  --summary           one short line per frame instead of JSON\n";

struct FramesOptions {
    bool live = false;
    int dataPort = 2368;
    std::string multicast = "224.1.1.1";
    QString config = singleEchoConfigName();
    int echo = 0;
    long count = 0; // 0: until interrupted
    bool summary = false;
};

std::atomic<bool> interrupted{false};

void onSignal(int)
{
    interrupted = true;
}

bool parseInt(const char* text, long low, long high, long& out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || end == text || v < low || v > high)
        return false;
    out = v;
    return true;
}

// Returns 0 on success, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, FramesOptions& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        auto needValue = [&]() {
            if (!value)
                std::fprintf(stderr, "hvk32-cli frames: %s needs a value\n", arg.c_str());
            return value != nullptr;
        };
        auto bad = [&]() {
            std::fprintf(stderr, "hvk32-cli frames: bad value '%s' for %s\n", value, arg.c_str());
            return 2;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kFramesUsage, stdout);
            return 1;
        } else if (arg == "--live") {
            o.live = true;
        } else if (arg == "--summary") {
            o.summary = true;
        } else if (arg == "--data-port") {
            if (!needValue()) return 2;
            if (!parseInt(value, 0, 65535, n)) return bad();
            o.dataPort = static_cast<int>(n);
            ++i;
        } else if (arg == "--multicast") {
            if (!needValue()) return 2;
            o.multicast = value;
            ++i;
        } else if (arg == "--config") {
            if (!needValue()) return 2;
            o.config = QString::fromLatin1(value);
            if (sensorConfigFromName(o.config) == SensorConfig::Unknown) return bad();
            ++i;
        } else if (arg == "--echo") {
            if (!needValue()) return 2;
            if (!parseInt(value, 0, 2, n)) return bad();
            o.echo = static_cast<int>(n);
            ++i;
        } else if (arg == "--count") {
            if (!needValue()) return 2;
            if (!parseInt(value, 1, 1L << 30, n)) return bad();
            o.count = n;
            ++i;
        } else {
            std::fprintf(stderr, "hvk32-cli frames: unknown option '%s'\n%s", arg.c_str(), kFramesUsage);
            return 2;
        }
    }
    if (!o.live) {
        std::fprintf(stderr, "hvk32-cli frames: --live is required\n%s", kFramesUsage);
        return 2;
    }
    return 0;
}

} // namespace

int runFramesCommand(int argc, char** argv)
{
    FramesOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    registerRecordMetaTypes();
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, onSignal);

    GetLidardataK32 receiver;
    receiver.setConfiguration(options.config);
    receiver.setPort(options.dataPort);
    receiver.setMulticastGroup(options.multicast);
    receiver.Receive(options.echo);

    long written = 0;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        if (options.count && written >= options.count)
            return;
        ++written;
        if (options.summary) {
            std::printf("frame %ld: %s\n", written, frameSummary(frame).c_str());
        } else {
            std::ostringstream line;
            writeFrameJson(line, frame);
            const std::string text = line.str();
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        if (std::fflush(stdout) != 0)
            interrupted = true; // the reader went away
        if (options.count && written >= options.count)
            app.quit();
    });

    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &app, [&]() {
        if (interrupted)
            app.quit();
    });
    interruptPoll.start(50);

    receiver.start(QThread::InheritPriority);
    std::fprintf(stderr, "hvk32-cli: listening for data packets on UDP port %d (multicast %s, %s, echo %d)\n",
                 options.dataPort, options.multicast.c_str(), qPrintable(options.config), options.echo);
    const int rc = app.exec();
    receiver.stopAndWait();
    return rc;
}

} // namespace hvk32
