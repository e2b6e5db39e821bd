#include "cli/FramesCommand.h"

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/PointDecoding.h"
#include "cli/FrameJson.h"
#include "cli/InfoCommand.h"
#include "cli/OptionParser.h"
#include "platform/SignalHandling.h"
#include "records/MetaTypes.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace hvk32 {

namespace {

const char* const kFramesUsage =
    "Usage: hvk32-cli frames --live [options]\n"
    "       hvk32-cli frames --pcap FILE [--count N] [--summary]\n"
    "\n"
    "Receives the scanner's data packets, or plays a capture file of them as the viewer's\n"
    "player does (without its pacing), and writes each frame to stdout as one JSON line\n"
    "(keys blockAzimuths, distances, intensities, azimuths, timestamps).\n"
    "\n"
    "Options:\n"
    "  --live              receive from the network\n"
    "  --pcap FILE         play a capture file instead; damage found in it goes to stderr\n"
    "  --data-port N       UDP data port (default 2368; --live only)\n"
    "  --multicast ADDR    multicast group to join (default 224.1.1.1; --live only)\n"
    "  --config NAME       HVK321 (single echo, default) or HVK322 (dual echo; --live only)\n"
    "  --echo 0|1|2        dual echo: 0 both echoes (default), 1 first, 2 second (--live only)\n"
    "  --count N           stop after N frames\n"
    "  --summary           one short line per frame instead of JSON\n";

struct FramesOptions {
    bool live = false;
    QString pcap;                // play this capture instead of receiving
    std::string liveOnlyOption; // the first option given that only --live uses
    int dataPort = 2368;
    std::string multicast = "224.1.1.1";
    QString config = singleEchoConfigName();
    int echo = 0;
    long count = 0; // 0: until interrupted
    bool summary = false;
};

// Returns 0 on success, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, FramesOptions& o)
{
    cli::OptionParser parser(cli::commandMessages("frames", kFramesUsage));
    // Remembers the first option given that only --live uses, then takes its value.
    auto liveOnly = [&o](const std::string& name, cli::OptionParser::Take take) {
        return [&o, name, take](const std::string& value) {
            if (o.liveOnlyOption.empty())
                o.liveOnlyOption = name;
            return take(value);
        };
    };
    parser.flag("--live", o.live)
        .flag("--summary", o.summary)
        .value("--pcap", [&o](const std::string& v) {
            o.pcap = QString::fromLocal8Bit(v.c_str());
            return !o.pcap.isEmpty();
        })
        .value("--data-port", liveOnly("--data-port", [&o](const std::string& v) {
            return cli::parseInteger(v, 0, 65535, o.dataPort);
        }))
        .value("--multicast", liveOnly("--multicast", [&o](const std::string& v) {
            o.multicast = v;
            return true;
        }))
        .value("--config", liveOnly("--config", [&o](const std::string& v) {
            o.config = QString::fromLatin1(v.c_str());
            return sensorConfigFromName(o.config) != SensorConfig::Unknown;
        }))
        .value("--echo", liveOnly("--echo", [&o](const std::string& v) { return cli::parseInteger(v, 0, 2, o.echo); }))
        .integer("--count", 1, 1L << 30, o.count);
    switch (parser.parse(argc, argv)) {
    case cli::OptionParser::Result::Help:
        std::fputs(kFramesUsage, stdout);
        return 1;
    case cli::OptionParser::Result::Error:
        return 2;
    case cli::OptionParser::Result::Run:
        break;
    }
    if (o.live == !o.pcap.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli frames: give either --live or --pcap FILE\n%s", kFramesUsage);
        return 2;
    }
    if (!o.pcap.isEmpty() && !o.liveOnlyOption.empty()) {
        std::fprintf(stderr, "hvk32-cli frames: %s applies to --live only\n", o.liveOnlyOption.c_str());
        return 2;
    }
    return 0;
}

// Writes one frame; false when stdout is gone.
bool writeFrame(const FramesOptions& options, long number, const LidarData& frame)
{
    if (options.summary) {
        std::printf("frame %ld: %s\n", number, frameSummary(frame).c_str());
    } else {
        std::ostringstream line;
        writeFrameJson(line, frame);
        const std::string text = line.str();
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return std::fflush(stdout) == 0;
}

// The frames the capture player emits for a file, in order, without its pacing.
int playCapture(const FramesOptions& options)
{
    CapturePlayerCore player;
    QString message;
    if (!player.open(options.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli frames: %s: %s\n", qPrintable(options.pcap), qPrintable(message));
        return 1;
    }
    player.start();
    long written = 0;
    while (!platform::stopSignalReceived() && !(options.count && written >= options.count)) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event == CapturePlayerCore::Event::Frame && !writeFrame(options, ++written, player.frame()))
            break; // the reader went away
    }
    reportCaptureDamage("frames", options.pcap, player.damage());
    if (!player.configurationReported())
        std::fprintf(stderr,
                     "hvk32-cli frames: %s: no device-info packet of a board version 2 or later, so no frame "
                     "was played\n",
                     qPrintable(options.pcap));
    return 0;
}

} // namespace

int runFramesCommand(int argc, char** argv)
{
    FramesOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    // A reader that goes away (frames piped into head) ends the run like a stop signal.
    platform::stopOnBrokenPipe();
    if (!options.pcap.isEmpty())
        return playCapture(options);

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    registerRecordMetaTypes();
    platform::watchStopSignal(&app, [&app](int) { app.quit(); });

    GetLidardataK32 receiver;
    receiver.setConfiguration(options.config);
    receiver.setPort(options.dataPort);
    receiver.setMulticastGroup(options.multicast);
    receiver.Receive(options.echo);

    long written = 0;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        if (options.count && written >= options.count)
            return;
        if (!writeFrame(options, ++written, frame))
            app.quit(); // the reader went away
        else if (options.count && written >= options.count)
            app.quit();
    });

    receiver.start(QThread::InheritPriority);
    std::fprintf(stderr, "hvk32-cli: listening for data packets on UDP port %d (multicast %s, %s, echo %d)\n",
                 options.dataPort, options.multicast.c_str(), qPrintable(options.config), options.echo);
    const int rc = app.exec();
    receiver.stopAndWait();
    std::fprintf(stderr, "hvk32-cli: received %llu datagrams (%llu not data packets), wrote %ld frames\n",
                 static_cast<unsigned long long>(receiver.datagramsReceived()),
                 static_cast<unsigned long long>(receiver.datagramsDropped()), written);
    return rc;
}

} // namespace hvk32
