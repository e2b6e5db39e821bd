#pragma once
// MCAP files, format version 0: magic, header, a data section of schema and channel records
// followed by chunks (zstd, lz4 frame or uncompressed) each with its message indexes, a data
// end record with the data section's CRC-32, then a summary section (schemas, channels,
// statistics, chunk indexes) with summary offsets, the footer and the closing magic. Every
// integer little-endian; strings and byte arrays carry their length in front.

#include "view/OutputFile.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hvk32::mcap {

enum class Compression { Zstd, Lz4, None };
// "zstd", "lz4" or "" as chunk records name them; parse() takes "zstd", "lz4" or "none".
const char* compressionName(Compression c);
bool parseCompression(const std::string& text, Compression& out);

// CRC-32 (ISO-HDLC, computed by zlib), continued from `crc` (0 to start).
std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size);

struct Schema {
    std::uint16_t id;
    std::string name;
    std::string encoding; // "ros2msg", "jsonschema"
    std::string data;
};

struct Channel {
    std::uint16_t id;
    std::uint16_t schemaId;
    std::string topic;
    std::string messageEncoding; // "cdr", "json"
};

class Writer {
public:
    static constexpr std::size_t kDefaultChunkSize = std::size_t(4) << 20; // uncompressed bytes

    explicit Writer(Compression compression, std::size_t chunkSize = kDefaultChunkSize);

    // Starts the file: magic and header (profile "ros2" for ROS 2 messages).
    bool open(pointfile::OutputFile& out, const std::string& profile, const std::string& library);
    // Schemas and channels are written into the data section before any message.
    bool add(const Schema& schema);
    bool add(const Channel& channel);
    // One message; times in nanoseconds since 1970.
    bool write(std::uint16_t channel, std::uint32_t sequence, std::uint64_t logTime, std::uint64_t publishTime,
               const void* data, std::size_t size);
    // Closes the last chunk and writes the data end, summary and footer.
    bool close();

    // Why a chunk could not be compressed ("" when only the file failed: see the output file).
    const std::string& error() const { return error_; }

private:
    struct ChunkIndex {
        std::uint64_t start = 0, end = 0; // message times
        std::uint64_t offset = 0, length = 0;
        std::map<std::uint16_t, std::uint64_t> messageIndexOffsets;
        std::uint64_t messageIndexLength = 0;
        std::uint64_t compressedSize = 0, uncompressedSize = 0;
    };

    bool put(const std::vector<char>& bytes); // to the file, counted and CRC'd
    bool flushChunk();

    Compression compression_;
    std::size_t chunkSize_;
    pointfile::OutputFile* out_ = nullptr;
    std::uint64_t position_ = 0;
    std::uint32_t dataCrc_ = 0;
    std::vector<Schema> schemas_;
    std::vector<Channel> channels_;
    std::vector<ChunkIndex> chunkIndexes_;
    // The open chunk.
    std::vector<char> chunk_;
    std::uint64_t chunkStart_ = 0, chunkEnd_ = 0;
    std::map<std::uint16_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> messageIndex_;
    // Statistics.
    std::uint64_t messages_ = 0;
    std::uint64_t firstTime_ = 0, lastTime_ = 0;
    std::map<std::uint16_t, std::uint64_t> channelMessages_;
    std::vector<char> scratch_;
    std::string error_;
};

} // namespace hvk32::mcap
