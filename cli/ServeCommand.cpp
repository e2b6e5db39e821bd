#include "cli/ServeCommand.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoJson.h"
#include "acquisition/ReplayPacing.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "convert/FrameReader.h"
#include "foxglove/FoxgloveServer.h"
#include "foxglove/PointsMessage.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "platform/UdpSocket.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace hvk32 {

namespace {

const char* const kServeUsage =
    "Usage: hvk32-cli serve --live [options]\n"
    "       hvk32-cli serve --pcap FILE [--speed X] [--loop] [options]\n"
    "\n"
    "Serves the scanner's frames to Foxglove (and any client of Foxglove's WebSocket protocol,\n"
    "foxglove.websocket.v1) as they are received, or as a capture plays at its recorded pace.\n"
    "In Foxglove: Open connection -> Foxglove WebSocket -> ws://127.0.0.1:8765. Channels:\n"
    "/hvk32/points (sensor_msgs/msg/PointCloud2 in CDR, the points and frame ID of the MCAP\n"
    "export, stamped with the frame's capture time), /hvk32/device_info (JSON, one message per\n"
    "device-info packet; a new subscriber gets the last one at once) and /hvk32/health (JSON,\n"
    "once a second: packets received, lost, duplicated, out of order, receive drops, frames sent,\n"
    "frames dropped for slow clients, the device's frame rate). A client that reads slowly loses\n"
    "its oldest frames, not the newest. Ctrl-C or SIGTERM closes every connection and prints a\n"
    "summary.\n"
    "\n"
    "Options:\n"
    "  --live              receive from the network\n"
    "  --pcap FILE         serve a capture file instead, paced by its record times\n"
    "  --data-port N       UDP data port (default 2368; --live only)\n"
    "  --telemetry-port N  UDP device-info port (default 2369; --live only): the echo mode is\n"
    "                      taken from the first device-info packet there\n"
    "  --multicast ADDR    multicast group to join (default 224.1.1.1; --live only)\n"
    "  --speed X           play X times as fast as recorded, 0.01..100 (default 1; --pcap only)\n"
    "  --loop              start again at the end of the capture, until interrupted (--pcap only)\n"
    "  --address ADDR      IPv4 address to listen on (default 127.0.0.1, this computer only).\n"
    "                      Any other address (0.0.0.0: every interface) lets everyone who can\n"
    "                      reach this computer on that port watch the scanner's points and\n"
    "                      device info, without a password and unencrypted\n"
    "  --port N            TCP port to listen on (default 8765; 0: a free port, printed)\n"
    "  --max-clients N     clients served at once, 1..1000 (default 16); more are closed with\n"
    "                      a reason\n"
    "\n"
    "Exit status: 0 served until interrupted (or the capture ended), 1 the capture cannot be\n"
    "read or the address cannot be listened on, 2 for a bad argument.\n";

constexpr double kMinSpeed = 0.01;
constexpr double kMaxSpeed = 100;

struct ServeOptions {
    bool live = false;
    QString pcap;
    std::string liveOnlyOption; // the first option given that only --live uses
    std::string pcapOnlyOption; // and that only --pcap uses
    int dataPort = 2368;
    int telemetryPort = 2369;
    std::string multicast = "224.1.1.1";
    double speed = 1;
    bool loop = false;
    foxglove::ServerOptions server;
};

// Returns 0 to run, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, ServeOptions& o)
{
    platform::OptionParser parser(platform::commandMessages("serve", kServeUsage));
    const auto only = [](std::string& first, const std::string& name, platform::OptionParser::Take take) {
        return [&first, name, take](const std::string& value) {
            if (first.empty())
                first = name;
            return take(value);
        };
    };
    int port = o.server.port;
    parser.flag("--live", o.live)
        .value("--pcap", [&o](const std::string& v) {
            o.pcap = QString::fromLocal8Bit(v.c_str());
            return !o.pcap.isEmpty();
        })
        .value("--data-port", only(o.liveOnlyOption, "--data-port", [&o](const std::string& v) {
            return platform::parseInteger(v, 1, 65535, o.dataPort);
        }))
        .value("--telemetry-port", only(o.liveOnlyOption, "--telemetry-port", [&o](const std::string& v) {
            return platform::parseInteger(v, 1, 65535, o.telemetryPort);
        }))
        .value("--multicast", only(o.liveOnlyOption, "--multicast", [&o](const std::string& v) {
            o.multicast = v;
            return platform::isMulticastAddress(v);
        }), platform::multicastComplaint("--multicast"))
        .value(
            "--speed", only(o.pcapOnlyOption, "--speed", [&o](const std::string& v) {
                return platform::parseFiniteNumber(v, o.speed) && o.speed >= kMinSpeed && o.speed <= kMaxSpeed;
            }),
            [](const std::string& v) { return "--speed needs a factor 0.01..100, not '" + v + "'"; })
        .flag("--loop", [&o] {
            o.loop = true;
            if (o.pcapOnlyOption.empty())
                o.pcapOnlyOption = "--loop";
        })
        .text("--address", o.server.address)
        .integer("--port", 0, 65535, port)
        .integer("--max-clients", 1, 1000, o.server.maxClients);
    if (const int rc = parser.parseCommand(argc, argv, kServeUsage))
        return rc;
    o.server.port = static_cast<std::uint16_t>(port);
    if (o.live == !o.pcap.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli serve: give either --live or --pcap FILE\n%s", kServeUsage);
        return 2;
    }
    if (!o.pcap.isEmpty() && !o.liveOnlyOption.empty()) {
        std::fprintf(stderr, "hvk32-cli serve: %s applies to --live only\n", o.liveOnlyOption.c_str());
        return 2;
    }
    if (o.live && !o.pcapOnlyOption.empty()) {
        std::fprintf(stderr, "hvk32-cli serve: %s applies to --pcap only\n", o.pcapOnlyOption.c_str());
        return 2;
    }
    if (!platform::isValidIpv4(o.server.address)) {
        std::fprintf(stderr, "hvk32-cli serve: --address '%s' is not an IPv4 address\n", o.server.address.c_str());
        return 2;
    }
    return 0;
}

bool startServer(foxglove::Server& server, const ServeOptions& o, foxglove::Server::HealthSource health)
{
    std::string error;
    if (!server.start(o.server, std::move(health), &error)) {
        std::fprintf(stderr, "hvk32-cli serve: %s\n", error.c_str());
        return false;
    }
    if (!platform::isLoopbackAddress(o.server.address))
        std::fprintf(stderr,
                     "hvk32-cli serve: listening on %s, not loopback: everyone who can reach this computer on port "
                     "%u can watch the scanner's points and device info\n",
                     o.server.address.c_str(), server.port());
    std::fprintf(stderr, "hvk32-cli serve: serving ws://%s:%u (Foxglove: Open connection -> Foxglove WebSocket)\n",
                 o.server.address.c_str(), server.port());
    std::fflush(stderr);
    return true;
}

void printSummary(const foxglove::ServerSummary& s)
{
    std::fprintf(stderr,
                 "hvk32-cli serve: %s client%s (%s refused), %s messages and %s bytes sent, %s frames published, %s "
                 "frames dropped for slow clients\n",
                 grouped(s.clients).c_str(), s.clients == 1 ? "" : "s", grouped(s.refusedClients).c_str(), grouped(s.messagesSent).c_str(),
                 grouped(s.bytesSent).c_str(), grouped(s.framesPublished).c_str(), grouped(s.framesDropped).c_str());
}

foxglove::HealthCounts countsOf(const StreamHealth& health, std::uint64_t receiveDrops)
{
    foxglove::HealthCounts c;
    c.stream = live::healthOf(health, receiveDrops);
    return c;
}

using Clock = std::chrono::steady_clock;

// Waits until `when`; false when a stop signal came first.
bool waitUntil(Clock::time_point when)
{
    for (;;) {
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero())
            return !platform::stopSignalReceived();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (platform::waitForStopSignal(static_cast<int>(std::max<long long>(1, ms))))
            return false;
    }
}

// The capture's device-info packets, read beside the player and published up to a frame's time.
class DeviceInfos {
public:
    bool open(const QString& path, QString* message) { return reader_.open(path, message); }
    bool nanoseconds() const { return reader_.format().nanoseconds; }
    bool rewind()
    {
        held_ = false;
        return reader_.rewind();
    }

    void publishUpTo(std::uint64_t timeNs, foxglove::Server& server)
    {
        for (;;) {
            if (!held_ && !readNext())
                return;
            if (heldTime_ > timeNs)
                return;
            server.publishDeviceInfo(heldJson_, heldTime_);
            held_ = false;
        }
    }

private:
    bool readNext()
    {
        for (;;) {
            const std::uint8_t* record = nullptr;
            const auto read = reader_.next(&record);
            if (read == capturefile::CaptureReader::Read::End)
                return false;
            if (read != capturefile::CaptureReader::Read::Scanner)
                continue;
            const std::uint8_t* payload = record + capturefile::kPayloadOffset;
            if (payloadKindOf(payload) != PayloadKind::DeviceInfo)
                continue;
            const capturefile::RecordHeader& h = reader_.lastHeader();
            heldTime_ = std::uint64_t(h.seconds) * 1000000000u + std::uint64_t(h.fraction) * (nanoseconds() ? 1u : 1000u);
            heldJson_ = deviceInfoJson(payload).toStdString();
            held_ = true;
            return true;
        }
    }

    capturefile::CaptureReader reader_;
    bool held_ = false;
    std::uint64_t heldTime_ = 0;
    std::string heldJson_;
};

int servePcap(const ServeOptions& o)
{
    if (!captureIsAFile("serve", o.pcap))
        return 1;
    CapturePlayerCore player;
    DeviceInfos infos;
    QString message;
    if (!player.open(o.pcap, &message) || !infos.open(o.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli serve: %s: %s\n", qPrintable(o.pcap), qPrintable(message));
        return 1;
    }
    std::mutex healthMutex;
    foxglove::HealthCounts health;
    foxglove::Server server;
    if (!startServer(server, o, [&] {
            std::lock_guard<std::mutex> lock(healthMutex);
            return health;
        }))
        return 1;
    std::fprintf(stderr, "hvk32-cli serve: playing %s at %gx the recorded pace%s\n", qPrintable(o.pcap), o.speed,
                 o.loop ? ", looped" : "");

    foxglove::PointsMessage points;
    ReplayPacing pacing(o.speed);
    const Clock::time_point start = Clock::now();
    long served = 0;
    bool stopped = false;
    while (!stopped) {
        long pass = 0;
        player.start();
        while (player.nextFrame()) {
            const std::uint64_t time = foxglove::captureTimeNs(player.frameTime(), infos.nanoseconds());
            infos.publishUpTo(time, server);
            if (!waitUntil(start + std::chrono::microseconds(pacing.dueMicros(static_cast<double>(time) / 1e9)))) {
                stopped = true;
                break;
            }
            server.publishPoints(points.encode(player.frame(), playedFrameSnapshot(player), time), time);
            ++pass;
            std::lock_guard<std::mutex> lock(healthMutex);
            health = countsOf(player.streamHealth(), 0);
        }
        served += pass;
        if (stopped || !o.loop || pass == 0 || platform::stopSignalReceived())
            break;
        if (!infos.rewind()) {
            std::fprintf(stderr, "hvk32-cli serve: %s cannot be read again\n", qPrintable(o.pcap));
            break;
        }
        pacing.restart();
    }
    reportCaptureDamage("serve", o.pcap, player.damage());
    if (served == 0 && !platform::stopSignalReceived())
        std::fprintf(stderr, "hvk32-cli serve: %s: no frame to play: %s\n", qPrintable(o.pcap),
                     qPrintable(capturefile::describeNoFrame(player.recordCounts())));
    else if (!platform::stopSignalReceived())
        std::fputs("hvk32-cli serve: the capture ended\n", stderr);
    server.stop();
    printSummary(server.summary());
    return served == 0 && !platform::stopSignalReceived() ? 1 : 0;
}

std::uint64_t nowNs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

int serveLive(const ServeOptions& o, char* program)
{
    int qtArgc = 1;
    char* qtArgv[] = {program, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    registerRecordMetaTypes();
    platform::watchStopSignal(&app, [&app](int) { app.quit(); });

    GetLidardataK32 receiver;
    GetSetK32 deviceInfo;
    foxglove::Server server;
    if (!startServer(server, o, [&receiver] { return countsOf(receiver.streamHealth(), receiver.receiveDrops()); }))
        return 1;

    receiver.setPort(o.dataPort);
    receiver.setMulticastGroup(o.multicast);
    receiver.Receive(0);
    int degreeMode = 0;
    // As the window does: data are received once the first device-info packet of a usable
    // device (board version 2 or later) tells the echo mode.
    QObject::connect(&deviceInfo, &GetSetK32::SendLidarStatusToSettingUI, &app,
                     [&](SettingData*, std::vector<int> status) {
                         if (!isUsableDevice(status))
                             return;
                         degreeMode = degreeModeOf(status[StatusAngleModeCode]);
                         if (receiver.isRunning())
                             return;
                         const QString config = echoConfigurationOf(status[StatusEchoMode]);
                         receiver.setConfiguration(config);
                         receiver.start(QThread::InheritPriority);
                         std::fprintf(stderr,
                                      "hvk32-cli serve: the device reports %s; receiving data packets on UDP port %d\n",
                                      config == dualEchoConfigName() ? "dual echo" : "single echo", o.dataPort);
                     });
    QObject::connect(&deviceInfo, &GetSetK32::SendDataDifo, &app, [&](const u_char* raw) {
        server.publishDeviceInfo(deviceInfoJson(raw).toStdString(), nowNs());
    });
    foxglove::PointsMessage points;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        const std::uint64_t time = nowNs();
        server.publishPoints(
            points.encode(frame, ConversionSnapshot::ofDevice(degreeMode, 1, publishedOffsetAngles()), time), time);
    });
    deviceInfo.setPort(o.telemetryPort);
    deviceInfo.setMulticastGroup(o.multicast);
    deviceInfo.start(QThread::InheritPriority);
    std::fprintf(stderr,
                 "hvk32-cli serve: listening for the device's device-info packets on UDP port %d (multicast %s)\n",
                 o.telemetryPort, o.multicast.c_str());

    const int rc = app.exec();
    deviceInfo.stopAndWait();
    receiver.stopAndWait();
    server.stop();
    const StreamHealth health = receiver.streamHealth();
    std::fprintf(stderr, "hvk32-cli serve: received %s data packets; lost %s (%.2f %%), receive drops %s\n",
                 grouped(health.packets).c_str(), grouped(health.lostPackets).c_str(), health.lostPercent(),
                 grouped(receiver.receiveDrops()).c_str());
    printSummary(server.summary());
    return rc;
}

} // namespace

int runServeCommand(int argc, char** argv)
{
    ServeOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    return options.live ? serveLive(options, argv[0]) : servePcap(options);
}

} // namespace hvk32
