// hvk32-sim: the substitute scanner. Sends a device-info packet once a second and data
// packets of a synthetic scene at a real device's rate, to loopback or to a multicast group
// on the loopback interface, or writes the same stream into a capture file.

#include "acquisition/DataPacket.h"
#include "platform/UdpSocket.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
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
constexpr auto kBurstWindow = std::chrono::milliseconds(2); // packets this close are sent at once

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t dataPort = 2368;
    std::uint16_t telemetryPort = 2369;
    std::string deviceIp = "127.0.0.2";
    ScannerSettings scanner;
    std::optional<double> seconds;
    std::string pcapFile;
    bool quiet = false;
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
    "  --board-version X.Y    board version reported (default 2.1)\n"
    "  --firmware X.Y.Z       firmware version reported (default 3.0.0)\n"
    "  --seconds N            stop after N seconds of stream time (default: run until interrupted)\n"
    "  --pcap FILE            write the stream into a capture file instead of sending (needs --seconds)\n"
    "  --quiet                print errors only\n"
    "  --help                 show this text\n";

bool usageError(const std::string& message)
{
    std::cerr << "hvk32-sim: " << message << "\n(see hvk32-sim --help)\n";
    return false;
}

bool parseInteger(const std::string& text, long min, long max, long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < min || value > max)
        return false;
    out = value;
    return true;
}

// "X.Y" or "X.Y.Z": a major number 0..255, then parts of one nibble each (0..15).
bool parseVersion(const std::string& text, std::size_t parts, std::vector<int>& out)
{
    std::istringstream in(text);
    std::string part;
    out.clear();
    while (std::getline(in, part, '.')) {
        long value = 0;
        if (!parseInteger(part, 0, out.empty() ? 255 : 15, value))
            return false;
        out.push_back(static_cast<int>(value));
    }
    return out.size() == parts && text.back() != '.';
}

bool parsePort(const std::string& name, const std::string& text, std::uint16_t& out)
{
    long value = 0;
    if (!parseInteger(text, 1, 65535, value))
        return usageError(name + " needs a port number 1..65535, not \"" + text + "\"");
    out = static_cast<std::uint16_t>(value);
    return true;
}

bool applyOption(Options& o, const std::string& name, const std::string& value)
{
    if (name == "--host") {
        o.host = value;
    } else if (name == "--data-port") {
        return parsePort(name, value, o.dataPort);
    } else if (name == "--telemetry-port") {
        return parsePort(name, value, o.telemetryPort);
    } else if (name == "--device-ip") {
        o.deviceIp = value;
    } else if (name == "--rpm") {
        long rpm = 0;
        if (!parseInteger(value, 0, 100000, rpm) || (rpm != 300 && rpm != 600 && rpm != 1200))
            return usageError("--rpm must be 300, 600 or 1200");
        o.scanner.rpm = static_cast<int>(rpm);
    } else if (name == "--echo") {
        if (value != "single" && value != "dual")
            return usageError("--echo must be single or dual");
        o.scanner.echo = value == "dual" ? EchoMode::Dual : EchoMode::Single;
    } else if (name == "--layout") {
        if (value != "1" && value != "0.33")
            return usageError("--layout must be 1 or 0.33");
        o.scanner.layout = value == "0.33" ? Layout::ThirdDegree : Layout::OneDegree;
    } else if (name == "--board-version") {
        std::vector<int> v;
        if (!parseVersion(value, 2, v))
            return usageError("--board-version must be X.Y (X 0..255, Y 0..15)");
        o.scanner.boardMajor = v[0];
        o.scanner.boardMinor = v[1];
    } else if (name == "--firmware") {
        std::vector<int> v;
        if (!parseVersion(value, 3, v))
            return usageError("--firmware must be X.Y.Z (X 0..255, Y and Z 0..15)");
        o.scanner.firmwareMajor = v[0];
        o.scanner.firmwareMinor = v[1];
        o.scanner.firmwarePatch = v[2];
    } else if (name == "--seconds") {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds > 0.0) || seconds > kMaxSeconds)
            return usageError("--seconds needs a positive number of seconds");
        o.seconds = seconds;
    } else if (name == "--pcap") {
        if (value.empty())
            return usageError("--pcap needs a file name");
        o.pcapFile = value;
    } else {
        return usageError("unknown option " + name);
    }
    return true;
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
    return true;
}

enum class Parsed { Run, Help, Error };

Parsed parseArguments(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h")
            return Parsed::Help;
        if (name == "--quiet") {
            o.quiet = true;
            continue;
        }
        std::string value;
        const std::size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (name.rfind("--", 0) == 0 && i + 1 < argc) {
            value = argv[++i];
        } else {
            usageError(name.rfind("--", 0) == 0 ? name + " needs a value" : "unexpected argument " + name);
            return Parsed::Error;
        }
        if (!applyOption(o, name, value))
            return Parsed::Error;
    }
    if (!checkAddresses(o))
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

bool runStream(ScannerStream& stream, std::uint64_t limitMicros, const PacketSink& send, Counts& counts)
{
    std::uint8_t data[datapacket::kPacketSize];
    std::uint8_t info[datapacket::kPacketSize];
    std::uint64_t nextInfo = 0;
    std::uint64_t dataDue = stream.nextDataPacket(data);
    while (!stopRequested) {
        const bool infoFirst = nextInfo <= dataDue;
        const std::uint64_t due = infoFirst ? nextInfo : dataDue;
        if (due >= limitMicros)
            break;
        if (infoFirst) {
            stream.deviceInfoPacket(nextInfo, info);
            if (!send(due, true, info))
                return false;
            ++counts.deviceInfo;
            nextInfo += kMicrosPerSecond;
        } else {
            if (!send(due, false, data))
                return false;
            ++counts.data;
            dataDue = stream.nextDataPacket(data);
        }
    }
    return true;
}

std::string describe(const ScannerStream& stream)
{
    const ScannerSettings& s = stream.settings();
    std::ostringstream text;
    text << s.rpm << " rpm, " << (s.echo == EchoMode::Dual ? "dual" : "single") << " echo, "
         << (s.layout == Layout::ThirdDegree ? "0.33" : "1") << "-degree layout, " << stream.dataPacketsPerSecond()
         << " data packets/s";
    return text.str();
}

std::uint64_t limitOf(const Options& o)
{
    return o.seconds ? static_cast<std::uint64_t>(*o.seconds * kMicrosPerSecond)
                     : std::numeric_limits<std::uint64_t>::max();
}

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
    const bool written = runStream(stream, limitOf(o), [&](std::uint64_t due, bool deviceInfo, const std::uint8_t* p) {
        return writer.writeUdpRecord(stream.clockEpochMicros(due), o.deviceIp, kDeviceOwnPort, o.host,
                                     deviceInfo ? o.telemetryPort : o.dataPort, p, datapacket::kPacketSize);
    }, counts);
    file.close();
    if (!written || !file) {
        std::cerr << "hvk32-sim: writing " << o.pcapFile << " failed\n";
        return kExitFailure;
    }
    if (!o.quiet)
        std::cerr << "hvk32-sim: wrote " << counts.data << " data and " << counts.deviceInfo
                  << " device-info packets\n";
    return kExitOk;
}

// The device's socket: bound to its own address and port like a real device; when that
// address is taken or missing, an ephemeral port on 127.0.0.1 serves instead.
bool openDeviceSocket(const Options& o, platform::UdpSocket& socket, std::string& from)
{
    if (socket.open() && socket.setReuseAddress(true) && socket.bind(o.deviceIp, kDeviceOwnPort)) {
        from = o.deviceIp + ":" + std::to_string(kDeviceOwnPort);
    } else {
        if (!socket.open() || !socket.bind(kFallbackAddress, 0)) {
            std::cerr << "hvk32-sim: cannot open a UDP socket\n";
            return false;
        }
        from = std::string(kFallbackAddress) + ":" + std::to_string(socket.localPort());
        std::cerr << "hvk32-sim: note: cannot bind " << o.deviceIp << ":" << kDeviceOwnPort << ", sending from "
                  << from << " instead\n";
    }
    if (platform::isMulticastAddress(o.host)
        && !(socket.setMulticastInterface(kMulticastInterface) && socket.setMulticastLoop(true))) {
        std::cerr << "hvk32-sim: cannot send multicast through " << kMulticastInterface << "\n";
        return false;
    }
    return true;
}

int runLive(const Options& o, ScannerStream& stream)
{
    platform::UdpSocket socket;
    std::string from;
    if (!openDeviceSocket(o, socket, from))
        return kExitFailure;
    if (!o.quiet)
        std::cerr << "hvk32-sim: sending data packets to " << o.host << ":" << o.dataPort << " and device info to "
                  << o.host << ":" << o.telemetryPort << " from " << from << " (" << describe(stream) << ")\n";

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Counts counts;
    std::uint64_t failures = 0;
    runStream(stream, limitOf(o), [&](std::uint64_t due, bool deviceInfo, const std::uint8_t* p) {
        const Clock::time_point when = start + std::chrono::microseconds(due);
        if (when > Clock::now() + kBurstWindow)
            std::this_thread::sleep_until(when);
        const std::uint16_t port = deviceInfo ? o.telemetryPort : o.dataPort;
        if (socket.sendTo(p, datapacket::kPacketSize, o.host, port) < 0 && failures++ == 0)
            std::cerr << "hvk32-sim: sending to " << o.host << ":" << port << " failed\n";
        return true;
    }, counts);
    socket.close();
    if (!o.quiet)
        std::cerr << "hvk32-sim: sent " << counts.data << " data and " << counts.deviceInfo << " device-info packets"
                  << (failures ? ", " + std::to_string(failures) + " of them failed" : std::string()) << "\n";
    return kExitOk;
}

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

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    ScannerStream stream(options.scanner);
    return options.pcapFile.empty() ? runLive(options, stream) : runCapture(options, stream);
}
