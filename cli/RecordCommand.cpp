#include "cli/RecordCommand.h"

#include "cli/RecordMcap.h"
#include "io/SocketRecorder.h"
#include "receivers/UdpReceiverThread.h"
#include "cli/NumberText.h"
#include "io/OutputDevice.h"
#include "cli/StandardOutput.h"
#include "platform/FileKinds.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "platform/UdpSocket.h"

#include <QFile>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace hvk32 {

namespace {

const char* const kRecordUsage =
    "Usage: hvk32-cli record --out FILE [options]\n"
    "\n"
    "Records the datagrams arriving on the data port and the telemetry port into a capture\n"
    "file that tcpdump reads and the viewer plays, device-info packets included. Needs no\n"
    "capture rights: the datagrams are those this program's own sockets receive, each stored\n"
    "with the sender's address and port and the receiving port. Ctrl-C or SIGTERM ends the\n"
    "recording and leaves a complete file.\n"
    "\n"
    "A FILE ending in .mcap, or --mcap FILE, records into MCAP instead, for Foxglove and ROS 2\n"
    "tools: a sensor_msgs/msg/PointCloud2 (CDR) per frame on /hvk32/points at the time its first\n"
    "packet arrived, each device-info packet as JSON on /hvk32/device_info, and once a second the\n"
    "stream's health as JSON on /hvk32/health (packets received, lost, duplicated, out of order,\n"
    "receive drops, frames written, the device's frame rate). The file is written under its own\n"
    "name as chunks fill (at least once a second): Ctrl-C, SIGTERM, --seconds or a write failure\n"
    "(a full disk) close it whole and indexed; a recording killed outright still reads, up to\n"
    "its last whole chunk, with a streaming MCAP reader.\n"
    "\n"
    "Options:\n"
    "  --out FILE           the capture file to write (created or emptied)\n"
    "  --mcap FILE          record into MCAP, whatever FILE's name ends with\n"
    "  --data-port N        UDP data port (default 2368)\n"
    "  --telemetry-port N   UDP device-info port (default 2369)\n"
    "  --multicast ADDR     multicast group to join (default 224.1.1.1)\n"
    "  --seconds N          stop after N seconds (default: until interrupted)\n"
    "  --max-mb N           start a new file each time one reaches N megabytes (10^6 bytes):\n"
    "                       FILE, then FILE-0001.pcap, FILE-0002.pcap, ... (FILE without .pcap)\n"
    "                       Every file begins with the device's last device-info packet, so each\n"
    "                       plays alone; the datagrams before the first one (the device sends one\n"
    "                       a second) are held and written after it, for at most 5 s.\n"
    "\n"
    "A progress line is shown on a terminal; a summary goes to stdout at the end.\n"
    "Exit status: 0 recorded, 1 the file could not be written, 2 bad arguments.\n";

constexpr int kPollIntervalMs = 50;
constexpr auto kProgressInterval = std::chrono::milliseconds(500);
constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr double kBytesPerMegabyte = 1e6;

struct RecordOptions {
    QString out;
    bool mcap = false; // --mcap, or --out naming a .mcap file
    long dataPort = 2368;
    long telemetryPort = 2369;
    std::string multicast = "224.1.1.1";
    long seconds = 0; // 0: until interrupted
    long maxMegabytes = 0;
};

// Returns 0 to run, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, RecordOptions& o)
{
    platform::OptionParser parser(platform::commandMessages("record", kRecordUsage));
    parser
        .value("--out", [&o](const std::string& v) {
            o.out = QString::fromLocal8Bit(v.c_str());
            o.mcap = o.out.endsWith(QLatin1String(".mcap"), Qt::CaseInsensitive);
            return !o.out.isEmpty();
        })
        .value("--mcap", [&o](const std::string& v) {
            o.out = QString::fromLocal8Bit(v.c_str());
            o.mcap = true;
            return !o.out.isEmpty();
        })
        .integer("--data-port", 1, 65535, o.dataPort)
        .integer("--telemetry-port", 1, 65535, o.telemetryPort)
        .value("--multicast",
               [&o](const std::string& v) {
                   o.multicast = v;
                   return platform::isMulticastAddress(v);
               },
               platform::multicastComplaint("--multicast"))
        .integer("--seconds", 1, 100L * 365 * 24 * 3600, o.seconds)
        .integer("--max-mb", 1, 1000000, o.maxMegabytes);
    if (const int rc = parser.parseCommand(argc, argv, kRecordUsage))
        return rc;
    if (o.out.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli record: --out FILE is required\n%s", kRecordUsage);
        return 2;
    }
    if (o.mcap && o.maxMegabytes) {
        std::fputs("hvk32-cli record: --max-mb applies to capture files only, not to MCAP\n", stderr);
        return 2;
    }
    if (o.dataPort == o.telemetryPort) {
        std::fprintf(stderr, "hvk32-cli record: the data port and the telemetry port must differ (both %ld)\n",
                     o.dataPort);
        return 2;
    }
    return 0;
}

// A capture written in place into a FIFO or a device: each record goes out as it comes.
class InPlaceDevice : public OutputDevice {
public:
    explicit InPlaceDevice(pointfile::OutputFile& file) : OutputDevice(file), file_(file) {}

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 written = OutputDevice::writeData(data, size);
        if (written < 0 || file_.flush())
            return written;
        setErrorString(QString::fromLocal8Bit(file_.error().c_str()));
        return -1;
    }

private:
    pointfile::OutputFile& file_;
};

// Receives on one port and hands every datagram to the recorder.
class RecordingReceiver : public UdpReceiverThread {
public:
    bool ready() const { return ready_ || isFinished(); }

protected:
    void receiveStarted() override { ready_ = true; }
    bool handleDatagram(const std::uint8_t*, std::size_t) override { return true; }

private:
    std::atomic<bool> ready_{false};
};

std::string clockText(double seconds)
{
    const long s = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    return text;
}

std::string progressText(const RecordingCounts& c, double seconds)
{
    char text[160];
    std::snprintf(text, sizeof text, "recording %s  %s packets  %.1f MB  %s lost to the receive buffer",
                  clockText(seconds).c_str(), grouped(c.packets).c_str(), static_cast<double>(c.bytes) / kBytesPerMegabyte,
                  grouped(c.receiveBufferDrops).c_str());
    return text;
}

} // namespace

int runRecordCommand(int argc, char** argv)
{
    RecordOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    // An existing FIFO or device is written in place (opening a FIFO waits for its reader,
    // until a stop signal); a folder is no file to record into.
    const std::string target = options.out.toLocal8Bit().toStdString();
    std::string what;
    const platform::FileKind kind = platform::fileKind(target, &what);
    if (kind == platform::FileKind::Folder) {
        std::fprintf(stderr, "hvk32-cli record: %s is a folder\n", target.c_str());
        return 1;
    }
    if (options.mcap)
        return recordToMcap({options.out, static_cast<int>(options.dataPort), static_cast<int>(options.telemetryPort),
                             options.multicast, options.seconds});
    const bool inPlace = kind == platform::FileKind::Other;
    if (inPlace && options.maxMegabytes) {
        std::fprintf(stderr, "hvk32-cli record: --max-mb needs --out to name a regular file, and %s is %s\n",
                     target.c_str(), what.c_str());
        return 2;
    }
    // A FIFO whose reader goes away ends the recording as a stop signal does.
    platform::stopOnBrokenPipe();
    pointfile::OutputFile inPlaceFile;
    if (inPlace && !inPlaceFile.open(target)) {
        std::fprintf(stderr, "hvk32-cli record: %s\n", inPlaceFile.error().c_str());
        return 1;
    }
    InPlaceDevice inPlaceDevice(inPlaceFile);
    SocketRecorder recorder;
    SocketRecorder::Options recordOptions;
    recordOptions.maxFileBytes = static_cast<std::uint64_t>(options.maxMegabytes) * 1000000u;
    QString error;
    if (!(inPlace ? recorder.start(&inPlaceDevice, recordOptions, &error)
                  : recorder.start(options.out, recordOptions, &error))) {
        std::fprintf(stderr, "hvk32-cli record: %s\n", qPrintable(error));
        return 1;
    }

    RecordingReceiver data;
    RecordingReceiver telemetry;
    for (RecordingReceiver* r : {&data, &telemetry}) {
        r->setPort(static_cast<int>(r == &data ? options.dataPort : options.telemetryPort));
        r->setMulticastGroup(options.multicast);
        r->setDatagramSink(&recorder);
        r->start(QThread::InheritPriority);
    }
    const auto started = std::chrono::steady_clock::now();
    while (!(data.ready() && telemetry.ready()) && std::chrono::steady_clock::now() - started < kStartTimeout)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int rc = 0;
    bool waitReported = false;
    for (RecordingReceiver* r : {&data, &telemetry}) {
        if (!r->isBound()) {
            std::fprintf(stderr, "hvk32-cli record: cannot receive on UDP port %d (in use without sharing, or not "
                                 "permitted)\n", r->port());
            rc = 1;
        }
    }
    if (rc == 0)
        std::fprintf(stderr, "hvk32-cli record: recording UDP ports %ld (data) and %ld (telemetry), multicast %s, into %s\n",
                     options.dataPort, options.telemetryPort, options.multicast.c_str(), qPrintable(options.out));

    const bool terminal = isatty(STDERR_FILENO) == 1;
    auto lastProgress = started;
    double seconds = 0;
    // main() caught SIGINT and SIGTERM before anything was opened; either ends the loop.
    while (rc == 0 && !platform::waitForStopSignal(kPollIntervalMs)) {
        const auto now = std::chrono::steady_clock::now();
        seconds = std::chrono::duration<double>(now - started).count();
        if (!recorder.isRecording())
            break; // a write failed
        if (options.seconds && seconds >= static_cast<double>(options.seconds))
            break;
        if (!waitReported && recorder.deviceInfoWaitFailed()) {
            waitReported = true;
            std::fprintf(stderr, "%shvk32-cli record: no device-info packet on UDP port %ld within %d s of the first "
                                 "datagram: writing the data without one; the files begun before one arrives do not play "
                                 "alone\n",
                         terminal ? "\n" : "", options.telemetryPort,
                         static_cast<int>(SocketRecorder::kDeviceInfoWaitMicros / 1000000));
        }
        if (terminal && now - lastProgress >= kProgressInterval) {
            lastProgress = now;
            std::fprintf(stderr, "\r%s ", progressText(recorder.counts(), seconds).c_str());
        }
    }
    data.stopAndWait();
    telemetry.stopAndWait();
    recorder.stop();
    if (inPlace && !inPlaceFile.commit() && recorder.error().isEmpty()) {
        std::fprintf(stderr, "hvk32-cli record: %s\n", inPlaceFile.error().c_str());
        rc = 1;
    }
    if (terminal && rc == 0)
        std::fputs("\n", stderr);

    const RecordingCounts counts = recorder.counts();
    if (!recorder.error().isEmpty()) {
        std::fprintf(stderr, "hvk32-cli record: %s; the recording stopped and keeps what was written before\n",
                     qPrintable(recorder.error()));
        rc = 1;
    }
    if (rc == 0 && counts.packets == 0)
        std::fprintf(stderr, "hvk32-cli record: no datagram arrived on UDP ports %ld and %ld\n", options.dataPort,
                     options.telemetryPort);
    else if (rc == 0 && counts.deviceInfoPackets == 0)
        std::fprintf(stderr, "hvk32-cli record: no device-info packet arrived on UDP port %ld: the player needs one to "
                             "play the recording\n",
                     options.telemetryPort);
    const QString last = recorder.currentFile();
    cli::StandardOutput out("record");
    out.print("recorded %s packet%s in %.1f s, %.1f MB, %s lost to the receive buffer, into %s%s%s\n",
              grouped(counts.packets).c_str(), counts.packets == 1 ? "" : "s", seconds,
              static_cast<double>(counts.bytes) / kBytesPerMegabyte, grouped(counts.receiveBufferDrops).c_str(),
              qPrintable(options.out), counts.files > 1 ? " ... " : "",
              counts.files > 1 ? qPrintable(last) : "");
    return out.finish(rc);
}

} // namespace hvk32
