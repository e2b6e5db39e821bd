#pragma once
// The texts a recording shows while it runs: the status bar's field (elapsed time, source,
// packets, megabytes, packets lost in the receive buffer) and, when nothing has arrived after
// two seconds, the field and the message that say where nothing arrives. Plain, no widgets.

#include <QString>

#include <cstdint>

namespace hvk32 {

constexpr std::int64_t kNoPacketWarningMs = 2000;
constexpr double kBytesPerMegabyte = 1e6;

struct RecordingProgress {
    bool adapter = false;       // adapter capture; false: the window's own sockets
    QString adapterName;        // adapter capture: the adapter and its filter
    QString filter;
    QString dataPort;           // own sockets: the two ports as the fields show them
    QString telemetryPort;
    std::int64_t elapsedMs = 0;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    std::uint64_t receiveBufferDrops = 0;
};

struct RecordingStatusText {
    QString field;
    bool nothingYet = false; // nothing arrived in kNoPacketWarningMs: the field in the warning colour
    QString warning;         // with nothingYet: the status bar's message, shown once
};

RecordingStatusText recordingStatusText(const RecordingProgress& progress);

} // namespace hvk32
