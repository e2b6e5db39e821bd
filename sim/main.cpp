// hvk32-sim: the substitute scanner. Sends a device-info packet once a second and data
// packets of a synthetic scene at a real device's rate, to loopback or to a multicast group
// on the loopback interface, or writes the same stream into a capture file. While it sends,
// it takes configuration datagrams like a device and reports the new settings.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "platform/UdpSocket.h"
#include "version/ProgramVersion.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ClockText.h"
#include "sim/GroundTruth.h"
#include "sim/PacketImpairment.h"
#include "sim/ScannerStream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace hvk32;
using namespace hvk32::sim;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::uint16_t kDeviceOwnPort = 2368;      // the port the device sends from and listens on
constexpr const char* kFallbackAddress = "127.0.0.1";
constexpr const char* kMulticastInterface = "127.0.0.1";
constexpr double kMaxSeconds = 1e9;                 // keeps stream times far from overflow
constexpr double kMaxRangeNoise = 10.0;             // [m]
constexpr auto kBurstWindow = std::chrono::milliseconds(2); // packets this close are sent at once
constexpr int kListenTimeoutMs = 100;       // how soon a listening thread sees that it should stop
constexpr auto kStopPoll = std::chrono::milliseconds(100);  // how soon the send loop sees a stop signal
constexpr std::size_t kInboxLimit = 64;     // datagrams waiting to be applied; more are dropped
constexpr int kFirstMulticastFirmware = 3;  // older firmware takes configuration on the multicast path

struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t dataPort = 2368;
    std::uint16_t telemetryPort = 2369;
    std::string deviceIp = "127.0.0.2";
    ScannerSettings scanner;
    std::optional<double> seconds;
    std::string pcapFile;
    long packetRate = 0; // data packets a second when sending; 0: the device's own rate
    bool quiet = false;
    bool version = false;
    double lossPercent = 0.0, duplicatePercent = 0.0, reorderPercent = 0.0; // of the data packets
    std::string trajectoryFile;
    bool driveLoop = false;
    std::string groundTruthFile;
};

const char* const kUsage =
    "Usage: hvk32-sim [options]\n"
    "Substitute HVK32 scanner: sends device-info packets once a second and data packets of a\n"
    "synthetic scene at the device's rate, to loopback or a multicast group, or into a capture file.\n"
    "\n"
    "  --host ADDR            destination, a loopback address or a multicast group (default 127.0.0.1)\n"
    "  --data-port N          destination port of data packets (default 2368)\n"
    "  --telemetry-port N     destination port of device-info packets (default 2369)\n"
    "  --device-ip ADDR       loopback address the device reports and sends from, port 2368\n"
    "                         (default 127.0.0.2)\n"
    "  --rpm 300|600|1200     motor speed (default 600)\n"
    "  --echo single|dual     echo mode (default single)\n"
    "  --layout 1|0.33        vertical angle layout in degrees (default 1)\n"
    "  --scene hall|town      what the scanner sees (default hall): a hall around the scanner, or\n"
    "                         a town on flat ground, streets 16 m wide every 100 m, blocks of\n"
    "                         buildings, lamp posts, parked cars and trees; without a trajectory\n"
    "                         the scanner stands still 1.8 m above the crossing at (0, 0)\n"
    "  --seed N               places the town's things and draws the range noise, so the same\n"
    "                         options give the same capture (default 1)\n"
    "  --range-noise M        Gaussian range noise of M metres (default 0.01 in the town, 0 in\n"
    "                         the hall)\n"
    "  --trajectory FILE      move the scanner along the poses of a TUM file: lines of\n"
    "                         t x y z qx qy qz qw, t in seconds from the start of the stream, the\n"
    "                         pose of the scanner's x/y/z frame (the exports' frame) in the scene,\n"
    "                         interpolated linearly and by slerp; every firing is cast from the\n"
    "                         pose at its own time; before the first and after the last pose the\n"
    "                         scanner stands at that pose\n"
    "  --drive loop           drive a built-in loop of about 1.2 km through the town (needs\n"
    "                         --scene town): four turns at 10 m/s, the scanner upright 1.8 m\n"
    "                         above the road, starting over at the end\n"
    "  --ground-truth FILE    write the scanner's true pose as TUM lines 200 times a second, the\n"
    "                         time in seconds since 1970 of the device clock, as the capture's\n"
    "                         record times\n"
    "  --board-version X.Y    board version reported (default 2.1)\n"
    "  --firmware X.Y.Z       firmware version reported (default 3.0.0); below 3, configuration\n"
    "                         datagrams are also taken on the multicast host group at the\n"
    "                         telemetry port\n"
    "  --seconds N            stop after N seconds of stream time (default: run until interrupted)\n"
    "  --pcap FILE            write the stream into a capture file instead of sending (needs --seconds)\n"
    "  --start-time TIME      start the device clock at this local time, ISO 8601\n"
    "                         (2026-03-05T10:00:00); record times and packet time stamps follow\n"
    "                         from it, so a capture made twice is the same byte for byte\n"
    "                         (default: the local time at start)\n"
    "  --loss P               drop P percent of the data packets (default 0)\n"
    "  --duplicate P          send P percent of the data packets twice (default 0)\n"
    "  --reorder P            send P percent of the data packets after the next one (default 0);\n"
    "                         the packets spoiled are drawn from a fixed seed, the same every run\n"
    "  --packet-rate N        send N data packets a second instead of the device's rate (a load\n"
    "                         test: 9800 fills a 100 Mbit link); not with --pcap\n"
    "  --quiet                print errors only\n"
    "  --version              print the program's version\n"
    "  --help                 show this text\n"
    "\n"
    "While sending, configuration datagrams to the device address at port 2368 are applied and\n"
    "reported in the next device-info packets; destinations stay loopback or multicast.\n";

bool usageError(const std::string& message)
{
    std::cerr << "hvk32-sim: " << message << "\n(see hvk32-sim --help)\n";
    return false;
}

// "X.Y" or "X.Y.Z": a major number 0..255, then parts of one nibble each (0..15).
bool parseVersion(const std::string& text, std::size_t parts, std::vector<int>& out)
{
    std::istringstream in(text);
    std::string part;
    out.clear();
    while (std::getline(in, part, '.')) {
        int value = 0;
        if (!platform::parseInteger(part, 0, out.empty() ? 255 : 15, value))
            return false;
        out.push_back(value);
    }
    return out.size() == parts && text.back() != '.';
}

// A fixed complaint, whatever the value.
platform::OptionParser::Complaint says(const std::string& message)
{
    return [message](const std::string&) { return message; };
}

platform::OptionParser::Take port(std::uint16_t& out)
{
    return [&out](const std::string& value) {
        int n = 0;
        if (!platform::parseInteger(value, 1, 65535, n))
            return false;
        out = static_cast<std::uint16_t>(n);
        return true;
    };
}

// A percentage 0..100 of the data packets.
platform::OptionParser::Take percent(double& out)
{
    return [&out](const std::string& value) {
        double n = 0.0;
        if (!platform::parseFiniteNumber(value, n) || n < 0.0 || n > 100.0)
            return false;
        out = n;
        return true;
    };
}

platform::OptionParser::Complaint percentComplaint(const std::string& name)
{
    return [name](const std::string& value) { return name + " needs a percentage 0..100, not \"" + value + "\""; };
}

platform::OptionParser::Complaint portComplaint(const std::string& name)
{
    return [name](const std::string& value) { return name + " needs a port number 1..65535, not \"" + value + "\""; };
}

platform::OptionParser optionsParser(Options& o)
{
    platform::OptionMessages messages;
    messages.refused = [](const std::string& complaint) { usageError(complaint); };
    messages.missingValue = [](const std::string& option) { usageError(option + " needs a value"); };
    messages.badValue = [](const std::string& option, const std::string& value) {
        usageError("bad value \"" + value + "\" for " + option);
    };
    messages.unknown = [](const std::string& argument) {
        usageError(argument.rfind("--", 0) == 0 ? "unknown option " + argument : "unexpected argument " + argument);
    };
    platform::OptionParser parser(messages);
    parser.flag("--quiet", o.quiet)
        .flag("--version", o.version)
        .text("--host", o.host)
        .value("--data-port", port(o.dataPort), portComplaint("--data-port"))
        .value("--telemetry-port", port(o.telemetryPort), portComplaint("--telemetry-port"))
        .text("--device-ip", o.deviceIp)
        .value(
            "--rpm",
            [&o](const std::string& value) {
                int rpm = 0;
                if (!platform::parseInteger(value, 0, 100000, rpm) || (rpm != 300 && rpm != 600 && rpm != 1200))
                    return false;
                o.scanner.rpm = rpm;
                return true;
            },
            says("--rpm must be 300, 600 or 1200"))
        .value(
            "--echo",
            [&o](const std::string& value) {
                if (value != "single" && value != "dual")
                    return false;
                o.scanner.echo = value == "dual" ? EchoMode::Dual : EchoMode::Single;
                return true;
            },
            says("--echo must be single or dual"))
        .value(
            "--layout",
            [&o](const std::string& value) {
                if (value != "1" && value != "0.33")
                    return false;
                o.scanner.layout = value == "0.33" ? Layout::ThirdDegree : Layout::OneDegree;
                return true;
            },
            says("--layout must be 1 or 0.33"))
        .value(
            "--scene",
            [&o](const std::string& value) {
                if (value != "hall" && value != "town")
                    return false;
                o.scanner.scene = value == "town" ? SceneKind::Town : SceneKind::Hall;
                return true;
            },
            says("--scene must be hall or town"))
        .value(
            "--seed",
            [&o](const std::string& value) {
                long seed = 0;
                if (!platform::parseInteger(value, 0, std::numeric_limits<long>::max(), seed))
                    return false;
                o.scanner.seed = static_cast<std::uint64_t>(seed);
                return true;
            },
            says("--seed needs a whole number 0 or more"))
        .value(
            "--range-noise",
            [&o](const std::string& value) {
                double metres = 0.0;
                if (!platform::parseFiniteNumber(value, metres) || metres < 0.0 || metres > kMaxRangeNoise)
                    return false;
                o.scanner.rangeNoise = metres;
                return true;
            },
            says("--range-noise needs a number of metres, 0 to 10"))
        .value(
            "--trajectory",
            [&o](const std::string& value) {
                o.trajectoryFile = value;
                return !value.empty();
            },
            says("--trajectory needs a file name"))
        .value(
            "--drive",
            [&o](const std::string& value) {
                o.driveLoop = value == "loop";
                return o.driveLoop;
            },
            says("--drive must be loop"))
        .value(
            "--ground-truth",
            [&o](const std::string& value) {
                o.groundTruthFile = value;
                return !value.empty();
            },
            says("--ground-truth needs a file name"))
        .value(
            "--board-version",
            [&o](const std::string& value) {
                std::vector<int> v;
                if (!parseVersion(value, 2, v))
                    return false;
                o.scanner.boardMajor = v[0];
                o.scanner.boardMinor = v[1];
                return true;
            },
            says("--board-version must be X.Y (X 0..255, Y 0..15)"))
        .value(
            "--firmware",
            [&o](const std::string& value) {
                std::vector<int> v;
                if (!parseVersion(value, 3, v))
                    return false;
                o.scanner.firmwareMajor = v[0];
                o.scanner.firmwareMinor = v[1];
                o.scanner.firmwarePatch = v[2];
                return true;
            },
            says("--firmware must be X.Y.Z (X 0..255, Y and Z 0..15)"))
        .value(
            "--seconds",
            [&o](const std::string& value) {
                double seconds = 0.0;
                if (!platform::parseFiniteNumber(value, seconds) || !(seconds > 0.0) || seconds > kMaxSeconds)
                    return false;
                o.seconds = seconds;
                return true;
            },
            says("--seconds needs a positive number of seconds"))
        .value(
            "--pcap",
            [&o](const std::string& value) {
                o.pcapFile = value;
                return !value.empty();
            },
            says("--pcap needs a file name"))
        .value(
            "--start-time",
            [&o](const std::string& value) {
                ClockTime start;
                if (!parseClockText(value, start))
                    return false;
                o.scanner.clockStart = start;
                return true;
            },
            [](const std::string& value) {
                return "--start-time needs a date and time such as 2026-03-05T10:00:00 (years "
                    + std::to_string(devinfo::kClockYearBase) + ".." + std::to_string(devinfo::kClockYearLast)
                    + "), not \"" + value + "\"";
            })
        .value("--loss", percent(o.lossPercent), percentComplaint("--loss"))
        .value("--duplicate", percent(o.duplicatePercent), percentComplaint("--duplicate"))
        .value("--reorder", percent(o.reorderPercent), percentComplaint("--reorder"))
        .value(
            "--packet-rate", [&o](const std::string& value) { return platform::parseInteger(value, 1, 1000000, o.packetRate); },
            says("--packet-rate needs a number of packets a second, 1..1000000"));
    return parser;
}

// Destinations are loopback or multicast only; the device address must be local loopback,
// since the viewer sends its configuration packets to the address the device reports.
bool checkAddresses(const Options& o)
{
    if (!platform::isValidIpv4(o.host))
        return usageError("--host \"" + o.host + "\" is not an IPv4 address");
    if (!platform::isLoopbackAddress(o.host) && !platform::isMulticastAddress(o.host))
        return usageError("refusing to send to " + o.host
                          + ": only loopback (127.0.0.0/8) or multicast group destinations are allowed");
    if (!platform::isLoopbackAddress(o.deviceIp))
        return usageError("--device-ip must be a loopback address (127.0.0.0/8), not \"" + o.deviceIp + "\"");
    if (!o.pcapFile.empty() && !o.seconds)
        return usageError("--pcap needs --seconds");
    if (o.lossPercent + o.duplicatePercent + o.reorderPercent > 100.0)
        return usageError("--loss, --duplicate and --reorder add up to more than 100 percent");
    if (!o.pcapFile.empty() && o.packetRate)
        return usageError("--packet-rate applies to sending, not to --pcap");
    if (o.driveLoop && o.scanner.scene != SceneKind::Town)
        return usageError("--drive loop drives through the town: add --scene town");
    if (o.driveLoop && !o.trajectoryFile.empty())
        return usageError("--drive and --trajectory both move the scanner: give one of them");
    return true;
}

// The scanner's motion: the built-in drive or the poses of a trajectory file.
bool loadMotion(Options& o)
{
    if (o.driveLoop)
        o.scanner.trajectory = std::make_shared<Trajectory>(loopDrive());
    if (o.trajectoryFile.empty())
        return true;
    std::ifstream in(o.trajectoryFile);
    if (!in)
        return usageError("cannot read the trajectory file " + o.trajectoryFile);
    std::vector<TimedPose> poses;
    std::string error;
    if (!Trajectory::readTum(in, poses, error))
        return usageError("trajectory file " + o.trajectoryFile + ": " + error);
    o.scanner.trajectory = std::make_shared<Trajectory>(std::move(poses));
    return true;
}

using Parsed = platform::OptionParser::Result;

Parsed parseArguments(int argc, char** argv, Options& o)
{
    const Parsed parsed = optionsParser(o).parse(argc, argv);
    if (parsed != Parsed::Run || o.version)
        return parsed;
    if (!checkAddresses(o) || !loadMotion(o))
        return Parsed::Error;
    o.scanner.deviceIp = o.deviceIp;
    o.scanner.hostIp = o.host;
    o.scanner.dataPort = o.dataPort;
    o.scanner.telemetryPort = o.telemetryPort;
    return Parsed::Run;
}

struct Counts {
    std::uint64_t data = 0;
    std::uint64_t deviceInfo = 0;
};

// Hands out the stream in time order: a device-info packet at every whole second from 0,
// the data packets in between, until `limitMicros` or a stop signal. `send` gets the due
// time, whether the packet is a device-info packet, and the bytes; false from it ends the run.
using PacketSink = std::function<bool(std::uint64_t due, bool deviceInfo, const std::uint8_t* packet)>;

// The true poses, when asked for, are written up to each packet's time as it goes.
bool runStream(ScannerStream& stream, std::uint64_t limitMicros, PacketImpairment& impairment, const PacketSink& send,
               Counts& counts, GroundTruthWriter* truth)
{
    std::uint8_t data[datapacket::kPacketSize];
    std::uint8_t info[datapacket::kPacketSize];
    std::uint64_t nextInfo = 0;
    std::uint64_t dataDue = stream.nextDataPacket(data);
    std::uint64_t reached = 0; // stream time the run got to
    while (!platform::stopSignalReceived()) {
        const bool infoFirst = nextInfo <= dataDue;
        const std::uint64_t due = infoFirst ? nextInfo : dataDue;
        if (due >= limitMicros) {
            reached = limitMicros;
            break;
        }
        reached = due;
        if (truth)
            truth->writeBefore(due);
        if (infoFirst) {
            stream.deviceInfoPacket(nextInfo, info);
            if (!send(due, true, info))
                return false;
            ++counts.deviceInfo;
            nextInfo += kMicrosPerSecond;
        } else {
            if (!impairment.pass(data, [&](const std::uint8_t* p) { return send(due, false, p); }))
                return false;
            ++counts.data;
            dataDue = stream.nextDataPacket(data);
        }
    }
    if (truth)
        truth->writeBefore(reached);
    return impairment.flush([&](const std::uint8_t* p) { return send(dataDue, false, p); });
}

PacketImpairment impairmentOf(const Options& o)
{
    return PacketImpairment(o.lossPercent, o.duplicatePercent, o.reorderPercent);
}

// What the impairment did to the data packets, for the closing line; empty when it did nothing.
std::string impairmentReport(const PacketImpairment& impairment)
{
    if (!impairment.active())
        return {};
    return " (of the data packets " + std::to_string(impairment.dropped()) + " dropped, "
        + std::to_string(impairment.duplicated()) + " duplicated, " + std::to_string(impairment.reordered())
        + " reordered)";
}

std::string describe(const ScannerStream& stream)
{
    const ScannerSettings& s = stream.settings();
    std::ostringstream text;
    text << s.rpm << " rpm, " << (s.echo == EchoMode::Dual ? "dual" : "single") << " echo, "
         << (s.layout == Layout::ThirdDegree ? "0.33" : "1") << "-degree layout, " << stream.dataPacketsPerSecond()
         << " data packets/s";
    if (s.scene == SceneKind::Town)
        text << ", town of seed " << s.seed;
    if (stream.rangeNoise() > 0.0)
        text << ", range noise " << stream.rangeNoise() << " m";
    if (s.trajectory)
        text << ", moving";
    return text.str();
}

std::uint64_t limitOf(const Options& o)
{
    return o.seconds ? static_cast<std::uint64_t>(*o.seconds * kMicrosPerSecond)
                     : std::numeric_limits<std::uint64_t>::max();
}

// The ground-truth file of a run, when one is asked for.
class TruthFile {
public:
    TruthFile(const std::string& path, const ScannerStream& stream) : path_(path), stream_(stream) {}

    bool open()
    {
        if (path_.empty())
            return true;
        file_.open(path_, std::ios::trunc);
        if (!file_) {
            std::cerr << "hvk32-sim: cannot create " << path_ << "\n";
            return false;
        }
        writer_ = std::make_unique<GroundTruthWriter>(file_, stream_);
        return true;
    }
    GroundTruthWriter* writer() { return writer_.get(); }
    void flush()
    {
        if (writer_)
            file_.flush();
    }
    bool close()
    {
        if (!writer_)
            return true;
        file_.close();
        if (!file_) {
            std::cerr << "hvk32-sim: writing " << path_ << " failed\n";
            return false;
        }
        return true;
    }

private:
    std::string path_;
    const ScannerStream& stream_;
    std::ofstream file_;
    std::unique_ptr<GroundTruthWriter> writer_;
};

int runCapture(const Options& o, ScannerStream& stream)
{
    std::ofstream file(o.pcapFile, std::ios::binary | std::ios::trunc);
    if (!file) {
        std::cerr << "hvk32-sim: cannot create " << o.pcapFile << "\n";
        return kExitFailure;
    }
    CaptureFileWriter writer(file);
    if (!o.quiet)
        std::cerr << "hvk32-sim: writing " << *o.seconds << " s to " << o.pcapFile << ": data " << o.deviceIp
                  << ":" << kDeviceOwnPort << " -> " << o.host << ":" << o.dataPort << ", device info -> " << o.host
                  << ":" << o.telemetryPort << " (" << describe(stream) << ")\n";
    Counts counts;
    PacketImpairment impairment = impairmentOf(o);
    TruthFile truth(o.groundTruthFile, stream);
    if (!truth.open())
        return kExitFailure;
    const bool written = runStream(stream, limitOf(o), impairment, [&](std::uint64_t due, bool deviceInfo, const std::uint8_t* p) {
        return writer.writeUdpRecord(stream.clockEpochMicros(due), o.deviceIp, kDeviceOwnPort, o.host,
                                     deviceInfo ? o.telemetryPort : o.dataPort, p, datapacket::kPacketSize);
    }, counts, truth.writer());
    file.close();
    if (!written || !file) {
        std::cerr << "hvk32-sim: writing " << o.pcapFile << " failed\n";
        return kExitFailure;
    }
    if (!truth.close())
        return kExitFailure;
    if (!o.quiet)
        std::cerr << "hvk32-sim: wrote " << counts.data << " data and " << counts.deviceInfo
                  << " device-info packets" << impairmentReport(impairment) << "\n";
    return kExitOk;
}

using Clock = std::chrono::steady_clock;

// A datagram that reached the device, with its sender.
struct Received {
    std::vector<std::uint8_t> bytes;
    std::string from;
};

// Datagrams handed from the listening threads to the send loop.
class Inbox {
public:
    void push(Received datagram)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.size() >= kInboxLimit)
                return;
            queue_.push_back(std::move(datagram));
        }
        ready_.notify_one();
    }

    // Waits until `deadline` at most; true with the oldest datagram in `out`.
    bool pop(Clock::time_point deadline, Received& out)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ready_.wait_until(lock, deadline, [this] { return !queue_.empty(); }))
            return false;
        return take(out);
    }

    // The oldest datagram, without waiting.
    bool tryPop(Received& out)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return !queue_.empty() && take(out);
    }

private:
    bool take(Received& out)
    {
        out = std::move(queue_.front());
        queue_.pop_front();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Received> queue_;
};

// Receives on one socket in a thread of its own until destroyed. The device's own data and
// device-info packets (looped back by a multicast group, or sent to itself) are skipped.
class Listener {
public:
    Listener(platform::UdpSocket& socket, Inbox& inbox) : socket_(socket), inbox_(inbox)
    {
        socket_.setReceiveTimeout(kListenTimeoutMs);
        thread_ = std::thread([this] { run(); });
    }
    ~Listener()
    {
        stop_ = true;
        thread_.join();
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

private:
    void run()
    {
        // One byte more than a packet, so that a longer datagram shows as one.
        std::uint8_t buffer[datapacket::kPacketSize + 1];
        while (!stop_) {
            std::string address;
            std::uint16_t port = 0;
            const long n = socket_.receive(buffer, sizeof buffer, &address, &port);
            if (n < 0)
                continue;
            const auto length = static_cast<std::size_t>(n);
            if (datapacket::isDataPacket(buffer, length) || devinfo::isDeviceInfoPacket(buffer, length))
                continue;
            inbox_.push({std::vector<std::uint8_t>(buffer, buffer + length), address + ":" + std::to_string(port)});
        }
    }

    platform::UdpSocket& socket_;
    Inbox& inbox_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The device on the network: its socket at the device address and port 2368, which sends
// the stream and takes configuration datagrams, and for old firmware a second socket on the
// multicast host group at the device-info port, where the tool sends them to such devices.
// Settings are applied as asked, but packets only ever go to loopback or a multicast group
// on loopback, and the device socket only ever binds a loopback address.
class LiveDevice {
public:
    LiveDevice(const Options& o, ScannerStream& stream)
        : quiet_(o.quiet), stream_(stream), deviceAddress_(o.deviceIp), hostAddress_(o.host), sendHost_(o.host)
    {
    }
    ~LiveDevice()
    {
        // Listeners stop before their sockets close.
        groupListener_.reset();
        deviceListener_.reset();
    }

    bool open()
    {
        if (bindDevice(deviceAddress_, device_)) {
            from_ = deviceAddress_ + ":" + std::to_string(kDeviceOwnPort);
        } else {
            if (!device_.open() || !device_.bind(kFallbackAddress, 0)) {
                std::cerr << "hvk32-sim: cannot open a UDP socket\n";
                return false;
            }
            from_ = std::string(kFallbackAddress) + ":" + std::to_string(device_.localPort());
            std::cerr << "hvk32-sim: note: cannot bind " << deviceAddress_ << ":" << kDeviceOwnPort
                      << ", sending from " << from_ << " instead; configuration datagrams to the device address "
                      << "do not arrive\n";
        }
        multicastSend_ = enableMulticastSend(device_);
        if (platform::isMulticastAddress(sendHost_) && !multicastSend_) {
            std::cerr << "hvk32-sim: cannot send multicast through " << kMulticastInterface << "\n";
            return false;
        }
        deviceListener_ = std::make_unique<Listener>(device_, inbox_);
        followMulticastPath();
        return true;
    }

    const std::string& from() const { return from_; }
    void start(Clock::time_point start) { start_ = start; }
    std::uint64_t failures() const { return failures_; }

    void send(const std::uint8_t* packet, bool deviceInfo)
    {
        const ScannerSettings& s = stream_.settings();
        const std::uint16_t port = deviceInfo ? s.telemetryPort : s.dataPort;
        if (device_.sendTo(packet, datapacket::kPacketSize, sendHost_, port) < 0 && failures_++ == 0)
            std::cerr << "hvk32-sim: sending to " << sendHost_ << ":" << port << " failed\n";
    }

    // Waits until `when`, applying the configuration datagrams that arrive meanwhile; false
    // as soon as one was applied (or a stop was asked for), so the caller plans again.
    bool waitUntil(Clock::time_point when)
    {
        for (;;) {
            Received datagram;
            while (inbox_.tryPop(datagram))
                if (apply(datagram))
                    return false;
            if (platform::stopSignalReceived())
                return false;
            const Clock::time_point now = Clock::now();
            if (when <= now + kBurstWindow)
                return true;
            if (inbox_.pop(std::min(when, now + kStopPoll), datagram) && apply(datagram))
                return false;
        }
    }

private:
    // Binds `socket` to address:2368 beside a receiver of the same port on any address.
    static bool bindDevice(const std::string& address, platform::UdpSocket& socket)
    {
        return socket.open() && socket.setReuseAddress(true) && socket.bind(address, kDeviceOwnPort);
    }

    static bool enableMulticastSend(platform::UdpSocket& socket)
    {
        return socket.setMulticastInterface(kMulticastInterface) && socket.setMulticastLoop(true);
    }

    std::uint64_t streamMicros() const
    {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
        return elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0;
    }

    bool apply(const Received& datagram)
    {
        const ConfigResult result = stream_.applyConfiguration(datagram.bytes.data(), datagram.bytes.size(),
                                                               streamMicros());
        if (!result.accepted()) {
            std::cerr << "hvk32-sim: refused a datagram from " << datagram.from << ": " << describe(result.rejection)
                      << "\n";
            return false;
        }
        followDeviceAddress();
        followHost();
        followMulticastPath();
        if (!quiet_) {
            const ScannerSettings& s = stream_.settings();
            std::cerr << "hvk32-sim: applied a " << describe(result.kind) << " from " << datagram.from << ": "
                      << describe(stream_) << ", motor " << motorText() << ", data to " << sendHost_ << ":"
                      << s.dataPort << ", device info to " << sendHost_ << ":" << s.telemetryPort << "\n";
        }
        return true;
    }

    const char* motorText() const
    {
        switch (stream_.settings().motorState) {
        case MotorState::Run: return "running";
        case MotorState::Stop: return "stopped";
        case MotorState::OutputRate: return "in output-rate mode";
        }
        return "running";
    }

    // A new loopback device address moves the device's socket there; any other is only reported.
    void followDeviceAddress()
    {
        if (stream_.refusedDeviceIp() != refusedDeviceIp_) {
            refusedDeviceIp_ = stream_.refusedDeviceIp();
            std::cerr << "hvk32-sim: device address " << refusedDeviceIp_
                      << " is not loopback: the simulator keeps reporting and listening at " << from_ << "\n";
        }
        const std::string& wanted = stream_.settings().deviceIp;
        if (wanted == deviceAddress_)
            return;
        deviceAddress_ = wanted;
        platform::UdpSocket moved;
        if (!bindDevice(wanted, moved)) {
            std::cerr << "hvk32-sim: cannot bind " << wanted << ":" << kDeviceOwnPort << ": still at " << from_ << "\n";
            return;
        }
        deviceListener_.reset();
        device_ = std::move(moved);
        multicastSend_ = enableMulticastSend(device_);
        deviceListener_ = std::make_unique<Listener>(device_, inbox_);
        from_ = wanted + ":" + std::to_string(kDeviceOwnPort);
        if (!quiet_)
            std::cerr << "hvk32-sim: device now at " << from_ << "\n";
    }

    // A new host address is sent to when it is loopback or a multicast group; any other is
    // only reported, and the stream stays where it was.
    void followHost()
    {
        const std::string& wanted = stream_.settings().hostIp;
        if (wanted == hostAddress_)
            return;
        hostAddress_ = wanted;
        const bool allowed = platform::isLoopbackAddress(wanted)
            || (platform::isMulticastAddress(wanted) && multicastSend_);
        if (!allowed) {
            std::cerr << "hvk32-sim: not sending to host address " << wanted
                      << " (only loopback or a multicast group on loopback): still sending to " << sendHost_ << "\n";
            return;
        }
        sendHost_ = wanted;
    }

    // Firmware below 3 is configured through the multicast host group at the device-info port.
    void followMulticastPath()
    {
        const ScannerSettings& s = stream_.settings();
        const bool wanted = s.firmwareMajor < kFirstMulticastFirmware && platform::isMulticastAddress(s.hostIp);
        const std::string group = wanted ? s.hostIp : std::string();
        const std::uint16_t port = wanted ? s.telemetryPort : 0;
        if (group == groupAddress_ && port == groupPort_)
            return;
        groupListener_.reset();
        groupSocket_.close();
        groupAddress_ = group;
        groupPort_ = port;
        if (!wanted)
            return;
        if (!(groupSocket_.open() && groupSocket_.setReuseAddress(true) && groupSocket_.bind(group, port)
              && groupSocket_.joinMulticast(group, kMulticastInterface))) {
            std::cerr << "hvk32-sim: cannot listen on " << group << ":" << port << " through " << kMulticastInterface
                      << "\n";
            groupSocket_.close();
            return;
        }
        groupListener_ = std::make_unique<Listener>(groupSocket_, inbox_);
        if (!quiet_)
            std::cerr << "hvk32-sim: taking configuration datagrams on " << group << ":" << port << "\n";
    }

    const bool quiet_;
    ScannerStream& stream_;
    Clock::time_point start_ = Clock::now();
    Inbox inbox_;
    platform::UdpSocket device_;
    platform::UdpSocket groupSocket_;
    std::unique_ptr<Listener> deviceListener_;
    std::unique_ptr<Listener> groupListener_;
    std::string from_;
    std::string deviceAddress_;   // the device address last acted on
    std::string refusedDeviceIp_; // the last non-loopback device address refused
    std::string hostAddress_;   // the host address last acted on
    std::string sendHost_;      // where packets go: loopback or a multicast group
    std::string groupAddress_;  // multicast path listened on; empty: none
    std::uint16_t groupPort_ = 0;
    bool multicastSend_ = false;
    std::uint64_t failures_ = 0;
};

int runLive(const Options& o, ScannerStream& stream)
{
    LiveDevice device(o, stream);
    if (!device.open())
        return kExitFailure;
    if (!o.quiet)
        std::cerr << "hvk32-sim: sending data packets to " << o.host << ":" << o.dataPort << " and device info to "
                  << o.host << ":" << o.telemetryPort << " from " << device.from() << " (" << describe(stream)
                  << ")\n";

    // As runStream(), but a configuration may stop the motor (its data stop, device info goes
    // on) or change what the next data packet holds.
    const Clock::time_point start = Clock::now();
    device.start(start);
    const std::uint64_t limit = limitOf(o);
    std::uint8_t data[datapacket::kPacketSize];
    std::uint8_t info[datapacket::kPacketSize];
    std::uint64_t nextInfo = 0;
    std::uint64_t dataDue = 0;
    bool dataPending = false;
    Counts counts;
    PacketImpairment impairment = impairmentOf(o);
    TruthFile truth(o.groundTruthFile, stream);
    if (!truth.open())
        return kExitFailure;
    std::uint64_t reached = 0; // stream time the run got to
    const auto sendData = [&](const std::uint8_t* p) {
        device.send(p, false);
        return true;
    };
    while (!platform::stopSignalReceived()) {
        if (!dataPending && stream.motorRunning()) {
            dataDue = stream.nextDataPacket(data);
            // A fixed rate keeps the packets' contents and only changes when they leave.
            if (o.packetRate)
                dataDue = (counts.data + 1) * kMicrosPerSecond / static_cast<std::uint64_t>(o.packetRate);
            dataPending = true;
        }
        const bool infoFirst = !dataPending || nextInfo <= dataDue;
        const std::uint64_t due = infoFirst ? nextInfo : dataDue;
        if (due >= limit) {
            reached = limit;
            break;
        }
        if (!device.waitUntil(start + std::chrono::microseconds(due))) {
            dataPending = dataPending && stream.motorRunning();
            continue;
        }
        reached = due;
        if (truth.writer())
            truth.writer()->writeBefore(due);
        if (infoFirst) {
            truth.flush(); // once a second, so that a reader can follow
            stream.deviceInfoPacket(nextInfo, info);
            device.send(info, true);
            ++counts.deviceInfo;
            nextInfo += kMicrosPerSecond;
        } else {
            impairment.pass(data, sendData);
            ++counts.data;
            dataPending = false;
        }
    }
    impairment.flush(sendData);
    if (truth.writer())
        truth.writer()->writeBefore(reached);
    if (!truth.close())
        return kExitFailure;
    if (!o.quiet)
        std::cerr << "hvk32-sim: sent " << counts.data << " data and " << counts.deviceInfo << " device-info packets"
                  << (device.failures() ? ", " + std::to_string(device.failures()) + " of them failed" : std::string())
                  << impairmentReport(impairment) << "\n";
    return kExitOk;
}

// Stop signals are caught before main() runs: the program's own initialisers run after every
// library's, so a SIGINT or SIGTERM that arrives once main() has begun ends the run with its
// summary instead of killing it.
[[maybe_unused]] const bool stopSignalsCaught = platform::installStopSignalHandling();

} // namespace

int main(int argc, char** argv)
{
    Options options;
    switch (parseArguments(argc, argv, options)) {
    case Parsed::Help:
        std::cout << kUsage;
        return kExitOk;
    case Parsed::Error:
        return kExitUsage;
    case Parsed::Run:
        break;
    }
    if (options.version) {
        std::cout << programVersionLine("hvk32-sim") << "\n";
        return kExitOk;
    }

    ScannerStream stream(options.scanner);
    return options.pcapFile.empty() ? runLive(options, stream) : runCapture(options, stream);
}
