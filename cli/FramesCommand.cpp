#include "cli/FramesCommand.h"

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "acquisition/LostSinceLastFrame.h"
#include "acquisition/PointDecoding.h"
#include "cli/FrameJson.h"
#include "cli/FrameRange.h"
#include "cli/InfoCommand.h"
#include "cli/StandardOutput.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "platform/UdpSocket.h"
#include "records/MetaTypes.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace hvk32 {

namespace {

constexpr int kStatsIntervalMs = 1000;

const char* const kFramesUsage =
    "Usage: hvk32-cli frames --live [options]\n"
    "       hvk32-cli frames --pcap FILE [--from N] [--to M] [--start S] [--duration D]\n"
    "                        [--count N] [--summary]\n"
    "\n"
    "Receives the scanner's data packets, or plays a capture file of them as the viewer's\n"
    "player does (without its pacing), and writes each frame to stdout as one JSON line\n"
    "(keys blockAzimuths, distances, intensities, azimuths, timestamps, and lostPackets: the\n"
    "data packets found missing in the stream since the previous frame). A frame after a gap,\n"
    "a silence of more than a second not counted in lostPackets, also has gapPackets (the data\n"
    "packets the gap would have held) and gapSeconds.\n"
    "\n"
    "Options:\n"
    "  --live              receive from the network\n"
    "  --pcap FILE         play a capture file instead; damage found in it goes to stderr\n"
    "  --data-port N       UDP data port (default 2368; --live only)\n"
    "  --telemetry-port N  UDP device-info port (default 2369; --live only): the echo mode is\n"
    "                      taken from the first device-info packet there, unless --config\n"
    "  --multicast ADDR    multicast group to join (default 224.1.1.1; --live only)\n"
    "  --config NAME       HVK321 (single echo) or HVK322 (dual echo), instead of what the\n"
    "                      device reports (--live only)\n"
    "  --echo 0|1|2        dual echo: 0 both echoes (default), 1 first, 2 second (--live only)\n"
    "  --from N            start at frame N of the capture (numbered from 1 as the viewer's\n"
    "                      counter numbers them), found through a frame index\n"
    "  --to M              end after frame M of the capture\n"
    "  --start S           instead of --from: start at the first frame that starts S seconds\n"
    "                      or more after the capture's first record\n"
    "  --duration D        instead of --to: end with the last frame that starts within D\n"
    "                      seconds of the start\n"
    "  --count N           stop after N frames\n"
    "  --summary           one short line per frame instead of JSON\n"
    "  --stats             once a second, the data packets received, lost and dropped by the\n"
    "                      system's receive buffer (--live only; on stderr unless --summary)\n";

struct FramesOptions {
    bool live = false;
    QString pcap;                // play this capture instead of receiving
    std::string liveOnlyOption; // the first option given that only --live uses
    int dataPort = 2368;
    int telemetryPort = 2369;
    bool configGiven = false; // else the device's device-info packets tell
    std::string multicast = "224.1.1.1";
    QString config = singleEchoConfigName();
    int echo = 0;
    long count = 0; // 0: until interrupted
    bool summary = false;
    bool stats = false;
    FrameRange range; // --pcap only
};

// Returns 0 on success, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, FramesOptions& o)
{
    platform::OptionParser parser(platform::commandMessages("frames", kFramesUsage));
    // Remembers the first option given that only --live uses, then takes its value.
    auto liveOnly = [&o](const std::string& name, platform::OptionParser::Take take) {
        return [&o, name, take](const std::string& value) {
            if (o.liveOnlyOption.empty())
                o.liveOnlyOption = name;
            return take(value);
        };
    };
    parser.flag("--live", o.live)
        .flag("--summary", o.summary)
        .flag("--stats", [&o] {
            o.stats = true;
            if (o.liveOnlyOption.empty())
                o.liveOnlyOption = "--stats";
        })
        .value("--pcap", [&o](const std::string& v) {
            o.pcap = QString::fromLocal8Bit(v.c_str());
            return !o.pcap.isEmpty();
        })
        .value("--data-port", liveOnly("--data-port", [&o](const std::string& v) {
            return platform::parseInteger(v, 1, 65535, o.dataPort);
        }))
        .value("--telemetry-port", liveOnly("--telemetry-port", [&o](const std::string& v) {
            return platform::parseInteger(v, 1, 65535, o.telemetryPort);
        }))
        .value("--multicast", liveOnly("--multicast", [&o](const std::string& v) {
            o.multicast = v;
            return platform::isMulticastAddress(v);
        }), platform::multicastComplaint("--multicast"))
        .value("--config", liveOnly("--config", [&o](const std::string& v) {
            o.config = QString::fromLatin1(v.c_str());
            o.configGiven = true;
            return sensorConfigFromName(o.config) != SensorConfig::Unknown;
        }))
        .value("--echo", liveOnly("--echo", [&o](const std::string& v) { return platform::parseInteger(v, 0, 2, o.echo); }))
        .integer("--count", 1, 1L << 30, o.count);
    addFrameRangeOptions(parser, o.range);
    if (const int rc = parser.parseCommand(argc, argv, kFramesUsage))
        return rc;
    if (o.live == !o.pcap.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli frames: give either --live or --pcap FILE\n%s", kFramesUsage);
        return 2;
    }
    if (!o.pcap.isEmpty() && !o.liveOnlyOption.empty()) {
        std::fprintf(stderr, "hvk32-cli frames: %s applies to --live only\n", o.liveOnlyOption.c_str());
        return 2;
    }
    if (o.live && o.range.given()) {
        std::fputs("hvk32-cli frames: --from, --to, --start and --duration apply to --pcap only\n", stderr);
        return 2;
    }
    return checkFrameRange("frames", o.range) ? 0 : 2;
}

// Writes one frame with the packets lost since the previous one and the gaps before it, as
// `health` has them; false when stdout is gone.
bool writeFrame(cli::StandardOutput& out, const FramesOptions& options, long number, const LidarData& frame,
                LostSinceLastFrame& since, const StreamHealth& health)
{
    const std::uint64_t lost = since.take(health);
    const LostSinceLastFrame::Gaps gaps = since.takeGaps(health);
    if (options.summary) {
        if (gaps.count == 0)
            return out.print("frame %ld: %s, lost %llu\n", number, frameSummary(frame).c_str(),
                             static_cast<unsigned long long>(lost));
        return out.print("frame %ld: %s, lost %llu, after a gap of %.3f s (%llu packets)\n", number,
                         frameSummary(frame).c_str(), static_cast<unsigned long long>(lost), gaps.seconds(),
                         static_cast<unsigned long long>(gaps.packets));
    }
    std::ostringstream line;
    writeFrameJson(line, frame, lost, gaps.packets, gaps.seconds());
    return out.write(line.str());
}

// One line a second while receiving: the data packets received, lost and dropped by the
// system in that second, then since the start.
class StatsLine {
public:
    std::string take(const StreamHealth& health, std::uint64_t receiveDrops)
    {
        const std::uint64_t received = health.packets, lost = health.lostPackets;
        char text[320];
        std::snprintf(text, sizeof text,
                      "stats: packets %llu, lost %llu (%.2f %%), receive drops %llu; since the start: packets "
                      "%llu, lost %llu (%.2f %%), receive drops %llu\n",
                      static_cast<unsigned long long>(received - last_.packets),
                      static_cast<unsigned long long>(lost > last_.lostPackets ? lost - last_.lostPackets : 0),
                      percent(lost > last_.lostPackets ? lost - last_.lostPackets : 0,
                              health.expectedPackets() - std::min(health.expectedPackets(), last_.expectedPackets())),
                      static_cast<unsigned long long>(receiveDrops - lastDrops_),
                      static_cast<unsigned long long>(received), static_cast<unsigned long long>(lost),
                      health.lostPercent(), static_cast<unsigned long long>(receiveDrops));
        last_ = health;
        lastDrops_ = receiveDrops;
        return text;
    }

private:
    static double percent(std::uint64_t part, std::uint64_t whole)
    {
        return whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
    }

    StreamHealth last_;
    std::uint64_t lastDrops_ = 0;
};

// The frames the capture player emits for a file, in order, without its pacing.
int playCapture(const FramesOptions& options, cli::StandardOutput& out)
{
    if (!captureIsAFile("frames", options.pcap))
        return 1;
    CapturePlayerCore player;
    QString message;
    if (!player.open(options.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli frames: %s: %s\n", qPrintable(options.pcap), qPrintable(message));
        return 1;
    }
    FrameRange range = options.range;
    if (!startAtFrame("frames", player, options.pcap, range))
        return 1;
    long written = 0;
    LostSinceLastFrame lost;
    while (!platform::stopSignalReceived() && !(options.count && written >= options.count)) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event != CapturePlayerCore::Event::Frame)
            continue;
        if (range.isPast(player.frameCounter()))
            break;
        ++written;
        if (!writeFrame(out, options, player.frameCounter(), player.frame(), lost, player.streamHealth()))
            break; // the reader went away
    }
    reportCaptureDamage("frames", options.pcap, player.damage());
    // Only a capture read to its end shows that it holds no frame.
    if (written == 0 && !platform::stopSignalReceived()) {
        std::fprintf(stderr, "hvk32-cli frames: %s: no frame to play: %s\n", qPrintable(options.pcap),
                     qPrintable(capturefile::describeNoFrame(player.recordCounts())));
        return 1;
    }
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
    cli::StandardOutput out("frames");
    if (!options.pcap.isEmpty())
        return out.finish(playCapture(options, out));

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    registerRecordMetaTypes();
    platform::watchStopSignal(&app, [&app](int) { app.quit(); });

    GetLidardataK32 receiver;
    receiver.setPort(options.dataPort);
    receiver.setMulticastGroup(options.multicast);
    receiver.Receive(options.echo);
    QString config = options.config;
    const auto startReceiving = [&] {
        receiver.setConfiguration(config);
        receiver.start(QThread::InheritPriority);
        std::fprintf(stderr, "hvk32-cli: listening for data packets on UDP port %d (multicast %s, %s, echo %d)\n",
                     options.dataPort, options.multicast.c_str(), qPrintable(config), options.echo);
    };

    // As the window does: data are received once the first device-info packet of a usable
    // device (board version 2 or later) tells the echo mode.
    GetSetK32 deviceInfo;
    QObject::connect(&deviceInfo, &GetSetK32::SendLidarStatusToSettingUI, &app,
                     [&](SettingData*, std::vector<int> status) {
                         if (receiver.isRunning() || !isUsableDevice(status))
                             return;
                         config = echoConfigurationOf(status[StatusEchoMode]);
                         std::fprintf(stderr, "hvk32-cli: the device reports %s, the %s layout\n",
                                      config == dualEchoConfigName() ? "dual echo" : "single echo",
                                      degreeModeOf(status[StatusAngleModeCode]) ? "0.33-degree" : "1-degree");
                         startReceiving();
                     });
    if (options.configGiven) {
        startReceiving();
    } else {
        deviceInfo.setPort(options.telemetryPort);
        deviceInfo.setMulticastGroup(options.multicast);
        deviceInfo.start(QThread::InheritPriority);
        std::fprintf(stderr,
                     "hvk32-cli: listening for the device's device-info packets on UDP port %d (multicast %s) to "
                     "learn its echo mode\n",
                     options.telemetryPort, options.multicast.c_str());
    }

    long written = 0;
    LostSinceLastFrame lost;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        if (options.count && written >= options.count)
            return;
        if (!writeFrame(out, options, ++written, frame, lost, receiver.streamHealth()))
            app.quit(); // the reader went away
        else if (options.count && written >= options.count)
            app.quit();
    });

    QTimer statsTimer;
    StatsLine stats;
    if (options.stats) {
        QObject::connect(&statsTimer, &QTimer::timeout, &app, [&] {
            const std::string line = stats.take(receiver.streamHealth(), receiver.receiveDrops());
            if (!options.summary)
                std::fputs(line.c_str(), stderr);
            else if (!out.write(line))
                app.quit();
        });
        statsTimer.start(kStatsIntervalMs);
    }

    const int rc = app.exec();
    deviceInfo.stopAndWait();
    receiver.stopAndWait();
    const StreamHealth health = receiver.streamHealth();
    std::fprintf(stderr,
                 "hvk32-cli: received %llu datagrams (%llu not data packets), wrote %ld frames; lost %llu data "
                 "packets (%.2f %%), receive drops %llu\n",
                 static_cast<unsigned long long>(receiver.datagramsReceived()),
                 static_cast<unsigned long long>(receiver.datagramsDropped()), written,
                 static_cast<unsigned long long>(health.lostPackets), health.lostPercent(),
                 static_cast<unsigned long long>(receiver.receiveDrops()));
    if (receiver.receiveDrops() > 0 && receiver.receiveBufferLimited())
        std::fprintf(stderr,
                     "hvk32-cli: the system granted a receive buffer of %d KiB of the %d KiB asked for; to keep up with "
                     "bursts, raise its limit: sudo sysctl -w net.core.rmem_max=%d\n",
                     receiver.receiveBufferBytes() / 1024, UdpReceiverThread::kReceiveBufferBytes / 1024,
                     UdpReceiverThread::kReceiveBufferBytes);
    return out.finish(rc);
}

} // namespace hvk32
