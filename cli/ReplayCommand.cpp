#include "cli/ReplayCommand.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "acquisition/ReplayPacing.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace hvk32 {

namespace {

const char* const kReplayUsage =
    "Usage: hvk32-cli replay --pcap FILE [options]\n"
    "\n"
    "Sends the scanner datagrams of a capture as the device sent them: data packets to the\n"
    "data port, device-info packets to the telemetry port, paced by the capture's record\n"
    "times, so the viewer or any other receiver sees a live device. Other records are\n"
    "skipped. Only loopback addresses (127.0.0.0/8) and multicast groups (sent through the\n"
    "loopback interface) are taken as destinations. Ctrl-C or SIGTERM ends the replay with\n"
    "its summary.\n"
    "\n"
    "Options:\n"
    "  --pcap FILE          the capture to send\n"
    "  --host ADDR          destination: a loopback address or a multicast group\n"
    "                       (default 127.0.0.1)\n"
    "  --data-port N        destination port of data packets (default 2368)\n"
    "  --telemetry-port N   destination port of device-info packets (default 2369)\n"
    "  --speed X            play X times as fast as recorded, 0.01..100 (default 1)\n"
    "  --rate max           send as fast as possible, without pacing (a receiver may drop)\n"
    "  --loop               start again at the end of the file, until interrupted\n"
    "\n"
    "Exit status: 0 sent (or interrupted), 1 the capture cannot be read or nothing could be\n"
    "sent, 2 for a bad argument.\n";

constexpr const char* kMulticastInterface = "127.0.0.1";
constexpr auto kBurstWindow = std::chrono::milliseconds(2); // datagrams this close leave together
constexpr double kMinSpeed = 0.01;
constexpr double kMaxSpeed = 100;

struct ReplayOptions {
    QString pcap;
    std::string host = "127.0.0.1";
    int dataPort = 2368;
    int telemetryPort = 2369;
    double speed = 1;
    bool maxRate = false;
    bool speedGiven = false;
    bool loop = false;
};

// Returns 0 to run, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, ReplayOptions& o)
{
    platform::OptionParser parser(platform::commandMessages("replay", kReplayUsage));
    parser
        .value("--pcap", [&o](const std::string& v) {
            o.pcap = QString::fromLocal8Bit(v.c_str());
            return !o.pcap.isEmpty();
        })
        .text("--host", o.host)
        .integer("--data-port", 1, 65535, o.dataPort)
        .integer("--telemetry-port", 1, 65535, o.telemetryPort)
        .value(
            "--speed",
            [&o](const std::string& v) {
                o.speedGiven = true;
                return platform::parseFiniteNumber(v, o.speed) && o.speed >= kMinSpeed && o.speed <= kMaxSpeed;
            },
            [](const std::string& v) { return "--speed needs a factor 0.01..100, not '" + v + "'"; })
        .value(
            "--rate",
            [&o](const std::string& v) {
                o.maxRate = v == "max";
                return o.maxRate;
            },
            [](const std::string& v) { return "--rate takes only 'max', not '" + v + "' (use --speed to pace)"; })
        .flag("--loop", o.loop);
    if (const int rc = parser.parseCommand(argc, argv, kReplayUsage))
        return rc;
    if (o.pcap.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli replay: --pcap FILE is required\n%s", kReplayUsage);
        return 2;
    }
    if (o.maxRate && o.speedGiven) {
        std::fputs("hvk32-cli replay: give --speed or --rate max, not both\n", stderr);
        return 2;
    }
    if (!platform::isValidIpv4(o.host)) {
        std::fprintf(stderr, "hvk32-cli replay: --host '%s' is not an IPv4 address\n", o.host.c_str());
        return 2;
    }
    if (!platform::isLoopbackAddress(o.host) && !platform::isMulticastAddress(o.host)) {
        std::fprintf(stderr,
                     "hvk32-cli replay: refusing to send to %s: only loopback (127.0.0.0/8) or multicast group "
                     "destinations are allowed\n",
                     o.host.c_str());
        return 2;
    }
    return 0;
}

using Clock = std::chrono::steady_clock;

// Waits until `when` (less the burst window); false when a stop signal came first.
bool waitUntil(Clock::time_point when)
{
    for (;;) {
        const auto left = when - Clock::now();
        if (left <= kBurstWindow)
            return !platform::stopSignalReceived();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left - kBurstWindow).count();
        if (platform::waitForStopSignal(static_cast<int>(std::max<long long>(1, ms))))
            return false;
    }
}

struct ReplayCounts {
    std::uint64_t data = 0, deviceInfo = 0, skipped = 0, failed = 0;
    long passes = 0;
};

int replay(const ReplayOptions& o)
{
    if (!captureIsAFile("replay", o.pcap))
        return 1;
    capturefile::CaptureReader reader;
    QString message;
    if (!reader.open(o.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli replay: %s: %s\n", qPrintable(o.pcap), qPrintable(message));
        return 1;
    }
    platform::UdpSocket socket;
    if (!socket.open()) {
        std::fputs("hvk32-cli replay: cannot open a UDP socket\n", stderr);
        return 1;
    }
    if (platform::isMulticastAddress(o.host)
        && !(socket.setMulticastInterface(kMulticastInterface) && socket.setMulticastLoop(true))) {
        std::fprintf(stderr, "hvk32-cli replay: cannot send multicast through %s\n", kMulticastInterface);
        return 1;
    }
    char pace[48];
    if (o.maxRate)
        std::snprintf(pace, sizeof pace, "as fast as possible");
    else
        std::snprintf(pace, sizeof pace, "at %gx the recorded pace", o.speed);
    std::fprintf(stderr, "hvk32-cli replay: sending %s to %s, data port %d, telemetry port %d, %s%s\n",
                 qPrintable(o.pcap), o.host.c_str(), o.dataPort, o.telemetryPort, pace, o.loop ? ", looped" : "");

    const double seconds = 1e-6; // a microsecond; nanosecond files divide by 1000 more
    const double fractionUnit = reader.format().nanoseconds ? seconds / 1000 : seconds;
    ReplayPacing pacing(o.maxRate ? 0 : o.speed);
    ReplayCounts counts;
    capturefile::ScannerRecord record{};
    const Clock::time_point start = Clock::now();
    bool stopped = false;
    while (!stopped) {
        ++counts.passes;
        bool any = false;
        for (;;) {
            const auto read = reader.next(record);
            if (read == capturefile::CaptureReader::Read::End)
                break;
            if (read == capturefile::CaptureReader::Read::Skipped) {
                ++counts.skipped;
                continue;
            }
            const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
            const PayloadKind kind = payloadKindOf(payload);
            if (kind == PayloadKind::Other) {
                ++counts.skipped;
                continue;
            }
            const capturefile::RecordHeader& header = reader.lastHeader();
            const double time = header.seconds + header.fraction * fractionUnit;
            if (!waitUntil(start + std::chrono::microseconds(pacing.dueMicros(time)))) {
                stopped = true;
                break;
            }
            const bool data = kind == PayloadKind::Data;
            const long sent = socket.sendTo(payload, capturefile::kScannerPayloadSize, o.host,
                                            static_cast<std::uint16_t>(data ? o.dataPort : o.telemetryPort));
            if (sent < 0) {
                if (counts.failed++ == 0)
                    std::fprintf(stderr, "hvk32-cli replay: sending to %s failed\n", o.host.c_str());
                continue;
            }
            any = true;
            ++(data ? counts.data : counts.deviceInfo);
        }
        if (stopped || !o.loop || !any || platform::stopSignalReceived())
            break;
        if (!reader.rewind()) {
            std::fprintf(stderr, "hvk32-cli replay: %s cannot be read again\n", qPrintable(o.pcap));
            break;
        }
        pacing.restart();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    reportCaptureDamage("replay", o.pcap, reader.damage());
    if (platform::stopSignalReceived())
        std::fputs("hvk32-cli replay: interrupted\n", stderr);
    std::fprintf(stderr,
                 "hvk32-cli replay: sent %s data and %s device-info packets in %.1f s (%ld pass%s), %s records "
                 "skipped, %s sends failed\n",
                 grouped(counts.data).c_str(), grouped(counts.deviceInfo).c_str(), elapsed, counts.passes,
                 counts.passes == 1 ? "" : "es", grouped(counts.skipped).c_str(), grouped(counts.failed).c_str());
    return counts.data + counts.deviceInfo > 0 || (counts.failed == 0 && platform::stopSignalReceived()) ? 0 : 1;
}

} // namespace

int runReplayCommand(int argc, char** argv)
{
    ReplayOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    return replay(options);
}

} // namespace hvk32
