#pragma once
// A live stream recorded into one MCAP file as it comes, on the three live channels
// (LiveChannels.h), chunked and indexed as the export writes MCAP. The file is written under
// its own name, never a temporary one: each chunk goes to the system once it is full or when
// flush() is called, so a recording cut short (the program killed) still reads, up to its
// last whole chunk, with a streaming MCAP reader. close() completes the file with its summary
// and footer, also after a failed write (a full disk): the file is then cut back to its last
// whole chunk first.

#include "convert/PointConversion.h"
#include "io/LiveChannels.h"
#include "io/McapFile.h"
#include "io/OutputFile.h"

#include <QByteArray>

#include <cstdint>
#include <string>

namespace hvk32 {

class McapRecording {
public:
    explicit McapRecording(mcap::Compression compression = mcap::Compression::Zstd,
                           std::size_t chunkSize = mcap::Writer::kDefaultChunkSize);

    // Creates or empties `path` and writes the header, schemas and channels.
    bool open(const std::string& path, const std::string& library);
    // Times in microseconds since 1970: a frame's is when its first packet arrived.
    bool writeFrame(const PointArrays& points, std::int64_t captureMicros);
    bool writeDeviceInfo(const QByteArray& json, std::int64_t receivedMicros);
    bool writeHealth(const live::Health& health, std::int64_t micros);
    // Writes what was taken so far into the file (a chunk).
    bool flush();
    // Completes the file; false when even that failed (error() says why; the file then
    // still reads with a streaming reader up to its last whole chunk).
    bool close();

    // The first failure ("" while none).
    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }
    // Messages taken, whether they reached the file or not.
    std::uint64_t frames() const { return frames_; }
    std::uint64_t deviceInfos() const { return deviceInfos_; }
    std::uint64_t healthMessages() const { return healths_; }
    // Messages of a channel in the file (in chunks written): all of them once closed.
    std::uint64_t messagesWritten(std::uint16_t channel) const { return writer_.messagesWritten(channel); }

    static constexpr std::uint16_t kPointsChannel = 1, kDeviceInfoChannel = 2, kHealthChannel = 3;

private:
    bool fail();
    bool write(std::uint16_t channel, std::uint32_t sequence, std::int64_t micros, const void* data, std::size_t size);

    pointfile::OutputFile file_;
    mcap::Writer writer_;
    bool open_ = false;
    std::uint64_t frames_ = 0, deviceInfos_ = 0, healths_ = 0;
    std::string error_;
};

} // namespace hvk32
