#include "cli/RecordMcap.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoJson.h"
#include "cli/NumberText.h"
#include "cli/StandardOutput.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "io/FrameSinks.h"
#include "io/McapRecording.h"
#include "platform/SignalHandling.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "version/ProgramVersion.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace hvk32 {

namespace {

constexpr int kHealthIntervalMs = 1000;
constexpr int kHealthCheckMs = 50; // how often the health message is looked after

std::int64_t nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string libraryName()
{
    const std::string line = programVersionLine("hvk32-cli");
    return line.substr(0, line.find(" ("));
}

} // namespace

int recordToMcap(const McapRecordOptions& options)
{
    int qtArgc = 1;
    char name[] = "hvk32-cli";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    registerRecordMetaTypes();

    const std::string path = options.out.toLocal8Bit().toStdString();
    McapRecording recording;
    if (!recording.open(path, libraryName())) {
        std::fprintf(stderr, "hvk32-cli record: %s\n", recording.error().c_str());
        recording.close();
        return 1;
    }
    // From here on, every way out closes a whole file; a FIFO whose reader goes away ends the
    // recording as a stop signal does.
    platform::stopOnBrokenPipe();
    platform::watchStopSignal(&app, [&app](int) { app.quit(); });
    const auto failed = [&] {
        if (recording.failed())
            app.quit();
    };

    GetLidardataK32 receiver;
    receiver.setPort(options.dataPort);
    receiver.setMulticastGroup(options.multicast);
    receiver.Receive(0); // both echoes, as the window receives them
    GetSetK32 deviceInfo;
    deviceInfo.setPort(options.telemetryPort);
    deviceInfo.setMulticastGroup(options.multicast);

    // As "frames --live" does: data are received once the first device-info packet of a usable
    // device (board version 2 or later) tells the echo mode and the layout.
    int degreeMode = 0;
    QObject::connect(&deviceInfo, &GetSetK32::SendLidarStatusToSettingUI, &app,
                     [&](SettingData*, std::vector<int> status) {
                         if (receiver.isRunning() || !isUsableDevice(status))
                             return;
                         degreeMode = degreeModeOf(status[StatusAngleModeCode]);
                         receiver.setConfiguration(echoConfigurationOf(status[StatusEchoMode]));
                         receiver.start(QThread::InheritPriority);
                     });
    QObject::connect(&deviceInfo, &GetSetK32::SendDataDifo, &app, [&](const u_char* packet) {
        recording.writeDeviceInfo(deviceInfoJson(packet), nowMicros());
        failed();
    });

    PointConversion conversion;
    const ConversionOptions conversionOptions = binaryConversion(SinkOptions{});
    PointArrays points;
    QObject::connect(&receiver, &GetLidardataK32::SendDataK32, &app, [&](const LidarData& frame) {
        if (recording.failed())
            return;
        const ConversionSnapshot snapshot = ConversionSnapshot::ofDevice(degreeMode, 1, publishedOffsetAngles());
        conversion.convert(frame, snapshot, AngleTerms::fixed(snapshot), conversionOptions, points);
        recording.writeFrame(points, receiver.frameReceivedMicros());
        failed();
    });

    // Once a second the stream's health, and everything taken so far into the file; on a
    // terminal a progress line.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto started = std::chrono::steady_clock::now();
    // A timer of its own interval would fire early after a late tick (the event loop can be
    // busy compressing a chunk), so the messages are timed by the clock: one once a second has
    // passed since the last.
    QTimer healthTimer;
    auto lastHealth = started;
    QObject::connect(&healthTimer, &QTimer::timeout, &app, [&] {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastHealth < std::chrono::milliseconds(kHealthIntervalMs))
            return;
        lastHealth = now;
        const StreamHealth health = receiver.streamHealth();
        const live::Health h = live::healthOf(health, receiver.receiveDrops(), recording.frames());
        recording.writeHealth(h, nowMicros());
        recording.flush();
        failed();
        if (terminal) {
            const long s = std::lround(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            std::fprintf(stderr, "\rrecording %02ld:%02ld:%02ld  %s frames  %s packets  %s lost ", s / 3600, (s / 60) % 60,
                         s % 60, grouped(recording.frames()).c_str(), grouped(h.packetsReceived).c_str(),
                         grouped(h.lostPackets).c_str());
        }
    });
    healthTimer.start(kHealthCheckMs);
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    QObject::connect(&stopTimer, &QTimer::timeout, &app, &QCoreApplication::quit);
    if (options.seconds)
        stopTimer.start(static_cast<int>(std::min<long>(options.seconds, 2000000) * 1000));

    deviceInfo.start(QThread::InheritPriority);
    std::fprintf(stderr, "hvk32-cli record: recording UDP ports %d (data) and %d (telemetry), multicast %s, into %s\n",
                 options.dataPort, options.telemetryPort, options.multicast.c_str(), qPrintable(options.out));
    app.exec();
    if (terminal)
        std::fputs("\n", stderr);
    deviceInfo.stopAndWait();
    receiver.stopAndWait();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // A write that failed, while recording or while closing, is reported, and the file ends
    // at its last whole chunk.
    const bool closed = recording.close();
    int rc = 0;
    if (recording.failed()) {
        std::fprintf(stderr, "hvk32-cli record: %s; the recording stopped, and %s\n", recording.error().c_str(),
                     closed ? "the file was closed after its last whole chunk"
                            : "the file could not be closed: it reads with a streaming reader up to its last whole chunk");
        rc = 1;
    }
    if (rc == 0 && recording.deviceInfos() == 0)
        std::fprintf(stderr, "hvk32-cli record: no device-info packet arrived on UDP port %d\n", options.telemetryPort);
    else if (rc == 0 && recording.frames() == 0)
        std::fprintf(stderr, "hvk32-cli record: no frame arrived on UDP port %d\n", options.dataPort);
    if (receiver.receiveDrops() > 0 && receiver.receiveBufferLimited())
        std::fprintf(stderr,
                     "hvk32-cli record: the system granted a receive buffer of %d KiB of the %d KiB asked for; to keep up "
                     "with bursts, raise its limit: sudo sysctl -w net.core.rmem_max=%d\n",
                     receiver.receiveBufferBytes() / 1024, UdpReceiverThread::kReceiveBufferBytes / 1024,
                     UdpReceiverThread::kReceiveBufferBytes);

    const StreamHealth health = receiver.streamHealth();
    const std::uint64_t frames = recording.messagesWritten(McapRecording::kPointsChannel);
    const std::uint64_t infos = recording.messagesWritten(McapRecording::kDeviceInfoChannel);
    const std::uint64_t healths = recording.messagesWritten(McapRecording::kHealthChannel);
    cli::StandardOutput out("record");
    out.print("recorded %s frame%s, %s device-info packet%s and %s health message%s in %.1f s (%s data packets, %s "
              "lost, %s lost to the receive buffer) into %s\n",
              grouped(frames).c_str(), frames == 1 ? "" : "s", grouped(infos).c_str(), infos == 1 ? "" : "s",
              grouped(healths).c_str(), healths == 1 ? "" : "s", seconds, grouped(health.packets).c_str(),
              grouped(health.lostPackets).c_str(), grouped(receiver.receiveDrops()).c_str(), qPrintable(options.out));
    return out.finish(rc);
}

} // namespace hvk32
