// Streams data packets at a fixed rate over loopback into the live receiver
// (GetLidardataK32 on its own thread, frames handed to the main thread as the command line
// and the window receive them) and reports what arrived and what it cost:
//
//   hvk32-bench-live --rate PACKETS_PER_S --seconds S [--echo single|dual] [--busy N] [--pin]
//
// The sender is a child process that sends pre-built packets on a fixed schedule; --busy
// starts N more children that only spin, to load the cores. The receiver's CPU is read from
// /proc for its thread (named after its class); socket drops from /proc/net/udp. --pin keeps
// the receiving process on the first core and the sender on the second, so the receiver has
// exactly one core (the sender's system calls also do the loopback delivery).

#include "acquisition/DataPacket.h"
#include "receivers/GetLidardataK32.h"
#include "platform/UdpSocket.h"
#include "records/MetaTypes.h"
#include "sim/ScannerStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacketSize = hvk32::datapacket::kPacketSize;

struct Options {
    long rate = 9800;
    double seconds = 10;
    bool dual = false;
    int busy = 0;
    bool pin = false;
};

// Keeps the calling process (and the threads it starts later) on one core.
void pinToCore(int core)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// One revolution of packets, so a replay loops over whole frames.
std::vector<std::uint8_t> buildPackets(bool dual)
{
    hvk32::sim::ScannerSettings settings;
    settings.rpm = 300;
    settings.echo = dual ? hvk32::sim::EchoMode::Dual : hvk32::sim::EchoMode::Single;
    hvk32::sim::ScannerStream stream(settings);
    const std::size_t count = static_cast<std::size_t>(stream.dataPacketsPerSecond() * 60.0 / settings.rpm + 0.5);
    std::vector<std::uint8_t> packets(count * kPacketSize);
    for (std::size_t i = 0; i < count; ++i)
        stream.nextDataPacket(packets.data() + i * kPacketSize);
    return packets;
}

struct SendResult {
    unsigned long long sent = 0;
    unsigned long long largestBurst = 0; // packets sent back to back after the sender was kept waiting
};

// Sends `rate` packets a second for `seconds`, catching up in bursts when it falls behind.
SendResult sendStream(const std::vector<std::uint8_t>& packets, std::uint16_t port, const Options& o)
{
    SendResult result;
    hvk32::platform::UdpSocket socket;
    if (!socket.open())
        return result;
    const std::size_t count = packets.size() / kPacketSize;
    const unsigned long long total = static_cast<unsigned long long>(o.rate * o.seconds);
    unsigned long long sent = 0;
    const Clock::time_point start = Clock::now();
    while (sent < total) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const unsigned long long due = std::min(total, static_cast<unsigned long long>(elapsed * o.rate) + 1);
        result.largestBurst = std::max(result.largestBurst, due - sent);
        while (sent < due) {
            socket.sendTo(packets.data() + (sent % count) * kPacketSize, kPacketSize, "127.0.0.1", port);
            ++sent;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    result.sent = sent;
    return result;
}

pid_t spawnBusy()
{
    const pid_t pid = fork();
    if (pid == 0) {
        volatile unsigned long spin = 0;
        for (;;)
            ++spin;
    }
    return pid;
}

// utime + stime of the thread of this process called `name`, in seconds; negative while
// there is none.
double threadCpuSeconds(const char* name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string task = "/proc/self/task/" + tid.toStdString();
        std::ifstream comm(task + "/comm");
        std::string text;
        if (!std::getline(comm, text) || text != name)
            continue;
        std::ifstream stat(task + "/stat");
        std::string line;
        std::getline(stat, line);
        // Fields after the name: state is field 3, utime 14, stime 15.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The kernel's drop counter of the UDP socket bound to `port`.
unsigned long long socketDrops(std::uint16_t port)
{
    std::ifstream udp("/proc/net/udp");
    std::string line;
    char local[16];
    std::snprintf(local, sizeof local, ":%04X", port);
    unsigned long long drops = 0;
    while (std::getline(udp, line)) {
        std::istringstream fields(line);
        std::string sl, localAddress, field;
        fields >> sl >> localAddress;
        if (localAddress.size() < 5 || localAddress.compare(localAddress.size() - 5, 5, local) != 0)
            continue;
        while (fields >> field) {
        }
        drops += std::stoull(field);
    }
    return drops;
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pin") {
            o.pin = true;
            continue;
        }
        const char* value = i + 1 < argc ? argv[++i] : nullptr;
        if (!value)
            return false;
        if (arg == "--rate")
            o.rate = std::atol(value);
        else if (arg == "--seconds")
            o.seconds = std::atof(value);
        else if (arg == "--echo")
            o.dual = std::strcmp(value, "dual") == 0;
        else if (arg == "--busy")
            o.busy = std::atoi(value);
        else
            return false;
    }
    return o.rate > 0 && o.seconds > 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs("usage: hvk32-bench-live --rate PACKETS_PER_S --seconds S [--echo single|dual] [--busy N] [--pin]\n", stderr);
        return 2;
    }
    const std::vector<std::uint8_t> packets = buildPackets(o.dual);
    const std::uint16_t port = hvk32::platform::findFreeUdpPort();

    // The sender waits for a byte on `go`, then reports its count on `done`.
    int go[2], done[2];
    if (pipe(go) != 0 || pipe(done) != 0)
        return 1;
    const pid_t sender = fork();
    if (sender == 0) {
        if (o.pin)
            pinToCore(1);
        char byte;
        if (read(go[0], &byte, 1) != 1)
            _exit(1);
        const SendResult sent = sendStream(packets, port, o);
        _exit(write(done[1], &sent, sizeof sent) == sizeof sent ? 0 : 1);
    }
    std::vector<pid_t> busy;
    for (int i = 0; i < o.busy; ++i)
        busy.push_back(spawnBusy());
    if (o.pin)
        pinToCore(0); // after the busy children, which stay free to run on either core

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    registerRecordMetaTypes();
    GetLidardataK32 receiver;
    receiver.setConfiguration(o.dual ? QStringLiteral("HVK322") : QStringLiteral("HVK321"));
    receiver.setPort(port);
    unsigned long long frames = 0, points = 0;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        ++frames;
        for (const auto& channel : frame.distances)
            points += channel.size();
    });
    receiver.start(QThread::InheritPriority);

    double threadStart = -1, processStart = 0;
    Clock::time_point wallStart;
    SendResult sent;
    QTimer ticker;
    int phase = 0;
    Clock::time_point drainFrom;
    std::uint64_t lastReceived = 0;
    QObject::connect(&ticker, &QTimer::timeout, &app, [&]() {
        if (phase == 0) {
            threadStart = threadCpuSeconds("GetLidardataK32");
            if (threadStart < 0)
                return; // the thread has not started yet
            processStart = processCpuSeconds();
            wallStart = Clock::now();
            if (write(go[1], "g", 1) != 1)
                app.exit(1);
            phase = 1;
        } else if (phase == 1) {
            pollfd result{done[0], POLLIN, 0};
            if (poll(&result, 1, 0) == 1) {
                if (read(done[0], &sent, sizeof sent) != sizeof sent)
                    app.exit(1);
                phase = 2;
                drainFrom = Clock::now();
            }
        } else {
            // Drained once nothing more arrived for a while.
            const std::uint64_t received = receiver.datagramsReceived();
            if (received != lastReceived) {
                lastReceived = received;
                drainFrom = Clock::now();
            } else if (Clock::now() - drainFrom > std::chrono::milliseconds(300)) {
                app.quit();
            }
        }
    });
    ticker.start(20);
    app.exec();

    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    const double threadCpu = threadCpuSeconds("GetLidardataK32") - threadStart;
    const double processCpu = processCpuSeconds() - processStart;
    const unsigned long long drops = socketDrops(port);
    receiver.stopAndWait();
    for (pid_t pid : busy)
        kill(pid, SIGKILL);
    for (pid_t pid : busy)
        waitpid(pid, nullptr, 0);
    waitpid(sender, nullptr, 0);

    std::printf("rate %ld/s for %.0f s (%s echo, %d busy%s): sent %llu (largest burst %llu), received %llu, "
                "socket drops %llu, frames %llu, points %llu; receiver thread %.1f %% of a core, process %.1f %%; "
                "receive buffer %d KiB\n",
                o.rate, o.seconds, o.dual ? "dual" : "single", o.busy, o.pin ? ", receiver on one core" : "", sent.sent, sent.largestBurst,
                static_cast<unsigned long long>(receiver.datagramsReceived()), drops, frames, points,
                100.0 * threadCpu / wall, 100.0 * processCpu / wall, receiver.receiveBufferBytes() / 1024);
    return 0;
}
