#pragma once
// "record" into MCAP: the live stream's frames, device-info packets and health, written as
// they come (see io/McapRecording.h).

#include <QString>

#include <string>

namespace hvk32 {

struct McapRecordOptions {
    QString out;
    int dataPort = 2368;
    int telemetryPort = 2369;
    std::string multicast;
    long seconds = 0; // 0: until interrupted
};

// Records until a stop signal, the time is up or a write fails; the exit status.
int recordToMcap(const McapRecordOptions& options);

} // namespace hvk32
