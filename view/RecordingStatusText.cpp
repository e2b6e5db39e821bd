#include "view/RecordingStatusText.h"

#include <QCoreApplication>

namespace hvk32 {

namespace {

// "MM:SS" of the elapsed time.
QString minutesSeconds(std::int64_t elapsedMs)
{
    return QStringLiteral("%1:%2")
        .arg(elapsedMs / 60000, 2, 10, QLatin1Char('0'))
        .arg((elapsedMs / 1000) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

RecordingStatusText recordingStatusText(const RecordingProgress& p)
{
    RecordingStatusText out;
    const QString time = minutesSeconds(p.elapsedMs);
    const QString source = p.adapter ? QCoreApplication::translate("RecordingStatusText", "adapter %1").arg(p.adapterName)
                                     : QCoreApplication::translate("RecordingStatusText", "own sockets");
    out.nothingYet = p.packets == 0 && p.elapsedMs >= kNoPacketWarningMs;
    if (!out.nothingYet) {
        out.field = QCoreApplication::translate("RecordingStatusText",
                                                "REC %1 | %2 | %3 packets | %4 MB | %5 lost in the receive buffer")
                        .arg(time, source)
                        .arg(p.packets)
                        .arg(static_cast<double>(p.bytes) / kBytesPerMegabyte, 0, 'f', 1)
                        .arg(p.receiveBufferDrops);
        return out;
    }
    // The status bar's message gets little room beside its fields on a narrow screen: the
    // recording's own field says where nothing arrives.
    if (p.adapter) {
        out.field = QCoreApplication::translate("RecordingStatusText", "REC %1 | nothing from %2, filter \"%3\"")
                        .arg(time, source, p.filter);
        out.warning = QCoreApplication::translate("RecordingStatusText",
                                                  "Nothing recorded for 2 s on adapter %1 with filter \"%2\": check "
                                                  "that the device sends to this computer through that adapter and "
                                                  "to that port")
                          .arg(p.adapterName, p.filter);
    } else {
        out.field = QCoreApplication::translate("RecordingStatusText", "REC %1 | nothing on UDP ports %2, %3")
                        .arg(time, p.dataPort, p.telemetryPort);
        out.warning = QCoreApplication::translate("RecordingStatusText",
                                                  "Nothing recorded for 2 s on UDP ports %1 and %2: the window "
                                                  "records what it receives, so press Connect, and check that the "
                                                  "device sends to those ports")
                          .arg(p.dataPort, p.telemetryPort);
    }
    return out;
}

} // namespace hvk32
