#pragma once
// MCAP files, format version 0: magic, header, a data section of schema and channel records
// followed by chunks (zstd, lz4 frame or uncompressed) each with its message indexes, a data
// end record with the data section's CRC-32, then a summary section (schemas, channels,
// statistics, chunk indexes) with summary offsets, the footer and the closing magic. Every
// integer little-endian; strings and byte arrays carry their length in front.

#include "io/OutputFile.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ZSTD_CCtx_s;

namespace hvk32::mcap {

enum class Compression { Zstd, Lz4, None };
// "zstd", "lz4" or "" as chunk records name them; parse() takes "zstd", "lz4" or "none".
const char* compressionName(Compression c);
bool parseCompression(const std::string& text, Compression& out);

// Bytes grown without zeroing first what is written next anyway.
template<typename T>
struct UninitializedAllocator : std::allocator<T> {
    template<typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template<typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template<typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template<typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using ChunkBytes = std::vector<char, UninitializedAllocator<char>>;

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

// Chunks are compressed (and their CRCs computed) on worker threads while the messages of the
// next ones are added, and written to the file in order by the caller's thread: the file is
// the same whatever the number of workers.
class Writer {
public:
    static constexpr std::size_t kDefaultChunkSize = std::size_t(4) << 20; // uncompressed bytes
    static constexpr unsigned kOnePerProcessor = ~0u;

    // `workers` threads compress chunks (0: the caller's thread does it in write() and close()).
    explicit Writer(Compression compression, std::size_t chunkSize = kDefaultChunkSize,
                    unsigned workers = kOnePerProcessor);
    ~Writer(); // stops and joins the workers; chunks not written by close() are dropped
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Starts the file: magic and header (profile "ros2" for ROS 2 messages).
    bool open(pointfile::OutputFile& out, const std::string& profile, const std::string& library);
    // Schemas and channels are written into the data section before any message.
    bool add(const Schema& schema);
    bool add(const Channel& channel);
    // One message; times in nanoseconds since 1970.
    bool write(std::uint16_t channel, std::uint32_t sequence, std::uint64_t logTime, std::uint64_t publishTime,
               const void* data, std::size_t size);
    // One message of `size` bytes that `fill` writes where it is stored (a large message is
    // not copied).
    bool write(std::uint16_t channel, std::uint32_t sequence, std::uint64_t logTime, std::uint64_t publishTime,
               std::size_t size, const std::function<void(char*)>& fill);
    // Closes the last chunk and writes the data end, summary and footer.
    bool close();

    // A file written as messages come (a recording): each chunk is handed to the system as
    // soon as it is written, so a streaming reader reads a file cut short at any moment up to
    // its last whole chunk.
    void setLive(bool live) { live_ = live; }
    // Closes the open chunk, writes every closed one and hands the file's buffered bytes to
    // the system.
    bool flush();
    // After a failed write (a full disk): cuts the file back to the end of the last record
    // written whole, drops the messages not yet in a chunk on disk, and closes the file as
    // close() does, its summary counting what the file holds. Take the output file's error
    // first: the cut forgets it. Needs an output file opened for direct writing.
    bool closeAfterFailure();
    // Messages in chunks written to the file, in all and on one channel.
    std::uint64_t messagesWritten() const { return messages_; }
    std::uint64_t messagesWritten(std::uint16_t channel) const
    {
        const auto found = channelMessages_.find(channel);
        return found == channelMessages_.end() ? 0 : found->second;
    }

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

    // A chunk closed for compression: its records, times and message indexes, and once
    // compressed its payload (or why it could not be compressed) and its records' CRC.
    struct Chunk {
        ChunkBytes records;
        std::uint64_t start = 0, end = 0;
        std::map<std::uint16_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> messageIndex;
        std::vector<char> compressed;
        std::size_t payloadSize = 0;
        std::uint32_t crc = 0;
        std::string error;
        bool done = false;
    };

    bool put(const std::vector<char>& bytes); // to the file, counted and CRC'd
    bool flushChunk();
    void compress(Chunk& chunk, ZSTD_CCtx_s* zstd) const;
    // Writes the closed chunks in order, waiting for their compression until `keep` are left,
    // then those already compressed. False when one could not be compressed or written.
    bool writeChunks(std::size_t keep);
    bool writeChunk(const Chunk& chunk);
    bool writeEnd(); // the data end, summary and footer
    void markWhole();  // the file is whole up to here
    void work();

    Compression compression_;
    std::size_t chunkSize_;
    pointfile::OutputFile* out_ = nullptr;
    std::uint64_t position_ = 0;
    std::uint32_t dataCrc_ = 0;
    std::uint64_t wholePosition_ = 0; // the end of the last record written whole
    std::uint32_t wholeCrc_ = 0;      // the data CRC there
    bool live_ = false;
    std::vector<Schema> schemas_;
    std::vector<Channel> channels_;
    std::vector<ChunkIndex> chunkIndexes_;
    std::unique_ptr<Chunk> chunk_; // the open chunk
    // Closed chunks in file order, those not yet taken by a worker, and emptied ones to reuse.
    std::deque<std::unique_ptr<Chunk>> closed_;
    std::deque<Chunk*> queued_;
    std::vector<std::unique_ptr<Chunk>> spare_;
    std::mutex mutex_;
    std::condition_variable queuedOrStopping_, compressed_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    ZSTD_CCtx_s* zstd_ = nullptr; // without workers
    // Statistics of the chunks written.
    std::uint64_t messages_ = 0;
    std::uint64_t firstTime_ = 0, lastTime_ = 0;
    std::map<std::uint16_t, std::uint64_t> channelMessages_;
    std::string error_;
};

} // namespace hvk32::mcap
