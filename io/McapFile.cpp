#include "io/McapFile.h"

#include "io/Crc32.h"

#include <lz4frame.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>

namespace hvk32::mcap {

namespace {

const char kMagic[8] = {'\x89', 'M', 'C', 'A', 'P', '0', '\r', '\n'};
// Negative levels skip entropy coding of literals: on point clouds about twice as fast as
// level 1 (the one before) for files about 7 % larger.
constexpr int kZstdLevel = -3;

enum Opcode : std::uint8_t {
    OpHeader = 0x01,
    OpFooter = 0x02,
    OpSchema = 0x03,
    OpChannel = 0x04,
    OpMessage = 0x05,
    OpChunk = 0x06,
    OpMessageIndex = 0x07,
    OpChunkIndex = 0x08,
    OpStatistics = 0x0B,
    OpSummaryOffset = 0x0E,
    OpDataEnd = 0x0F,
};

// Appends little-endian values and length-prefixed strings to a record under construction.
template<typename Vector>
class Bytes {
public:
    explicit Bytes(Vector& out) : out_(out) {}
    Bytes& u8(std::uint8_t v) { return put(v, 1); }
    Bytes& u16(std::uint16_t v) { return put(v, 2); }
    Bytes& u32(std::uint32_t v) { return put(v, 4); }
    Bytes& u64(std::uint64_t v) { return put(v, 8); }
    Bytes& raw(const void* data, std::size_t size)
    {
        const char* p = static_cast<const char*>(data);
        out_.insert(out_.end(), p, p + size);
        return *this;
    }
    Bytes& str(const std::string& s)
    {
        u32(static_cast<std::uint32_t>(s.size()));
        return raw(s.data(), s.size());
    }
    std::size_t size() const { return out_.size(); }
    // Starts a record: opcode and a length to be filled by end().
    std::size_t begin(std::uint8_t opcode)
    {
        u8(opcode);
        const std::size_t at = out_.size();
        u64(0);
        return at;
    }
    void end(std::size_t lengthAt)
    {
        std::uint64_t length = out_.size() - lengthAt - 8;
        for (int k = 0; k < 8; ++k)
            out_[lengthAt + static_cast<std::size_t>(k)] = static_cast<char>((length >> (8 * k)) & 0xFF);
    }
    // A map or array: its byte length in front, filled by endPrefixed().
    std::size_t beginPrefixed()
    {
        const std::size_t at = out_.size();
        u32(0);
        return at;
    }
    void endPrefixed(std::size_t at)
    {
        const auto length = static_cast<std::uint32_t>(out_.size() - at - 4);
        for (int k = 0; k < 4; ++k)
            out_[at + static_cast<std::size_t>(k)] = static_cast<char>((length >> (8 * k)) & 0xFF);
    }

private:
    Bytes& put(std::uint64_t v, int bytes)
    {
        for (int k = 0; k < bytes; ++k)
            out_.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
        return *this;
    }
    Vector& out_;
};

template<typename Vector>
void schemaRecord(Bytes<Vector>& b, const Schema& s)
{
    const std::size_t at = b.begin(OpSchema);
    b.u16(s.id).str(s.name).str(s.encoding).str(s.data);
    b.end(at);
}

template<typename Vector>
void channelRecord(Bytes<Vector>& b, const Channel& c)
{
    const std::size_t at = b.begin(OpChannel);
    b.u16(c.id).u16(c.schemaId).str(c.topic).str(c.messageEncoding).u32(0); // no metadata
    b.end(at);
}

} // namespace

const char* compressionName(Compression c)
{
    switch (c) {
    case Compression::Zstd: return "zstd";
    case Compression::Lz4: return "lz4";
    case Compression::None: break;
    }
    return "";
}

bool parseCompression(const std::string& text, Compression& out)
{
    if (text == "zstd")
        out = Compression::Zstd;
    else if (text == "lz4")
        out = Compression::Lz4;
    else if (text == "none")
        out = Compression::None;
    else
        return false;
    return true;
}

Writer::Writer(Compression compression, std::size_t chunkSize, unsigned workers)
    : compression_(compression), chunkSize_(chunkSize), chunk_(std::make_unique<Chunk>())
{
    if (workers == kOnePerProcessor)
        workers = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    for (unsigned k = 0; k < workers; ++k)
        workers_.emplace_back([this] { work(); });
}

Writer::~Writer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queuedOrStopping_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    ZSTD_freeCCtx(zstd_);
}

void Writer::work()
{
    ZSTD_CCtx* zstd = nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queuedOrStopping_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (stopping_)
            break;
        Chunk* chunk = queued_.front();
        queued_.pop_front();
        lock.unlock();
        if (compression_ == Compression::Zstd && !zstd)
            zstd = ZSTD_createCCtx();
        compress(*chunk, zstd);
        lock.lock();
        chunk->done = true;
        compressed_.notify_all();
    }
    lock.unlock();
    ZSTD_freeCCtx(zstd);
}

void Writer::compress(Chunk& chunk, ZSTD_CCtx* zstd) const
{
    const ChunkBytes& records = chunk.records;
    chunk.crc = crc32(0, records.data(), records.size());
    chunk.payloadSize = records.size();
    if (compression_ == Compression::Zstd) {
        if (!zstd) {
            chunk.error = "zstd: out of memory";
            return;
        }
        chunk.compressed.resize(ZSTD_compressBound(records.size()));
        const std::size_t n = ZSTD_compressCCtx(zstd, chunk.compressed.data(), chunk.compressed.size(),
                                                records.data(), records.size(), kZstdLevel);
        if (ZSTD_isError(n))
            chunk.error = std::string("zstd: ") + ZSTD_getErrorName(n);
        chunk.payloadSize = n;
    } else if (compression_ == Compression::Lz4) {
        chunk.compressed.resize(LZ4F_compressFrameBound(records.size(), nullptr));
        const std::size_t n = LZ4F_compressFrame(chunk.compressed.data(), chunk.compressed.size(), records.data(),
                                                 records.size(), nullptr);
        if (LZ4F_isError(n))
            chunk.error = std::string("lz4: ") + LZ4F_getErrorName(n);
        chunk.payloadSize = n;
    }
}

bool Writer::put(const std::vector<char>& bytes)
{
    if (!out_->write(bytes.data(), bytes.size()))
        return false;
    dataCrc_ = crc32(dataCrc_, bytes.data(), bytes.size());
    position_ += bytes.size();
    return true;
}

bool Writer::open(pointfile::OutputFile& out, const std::string& profile, const std::string& library)
{
    out_ = &out;
    std::vector<char> bytes;
    Bytes b(bytes);
    b.raw(kMagic, sizeof kMagic);
    const std::size_t at = b.begin(OpHeader);
    b.str(profile).str(library);
    b.end(at);
    if (!put(bytes))
        return false;
    markWhole();
    return true;
}

void Writer::markWhole()
{
    wholePosition_ = position_;
    wholeCrc_ = dataCrc_;
}

bool Writer::add(const Schema& schema)
{
    schemas_.push_back(schema);
    std::vector<char> bytes;
    Bytes b(bytes);
    schemaRecord(b, schema);
    if (!put(bytes))
        return false;
    markWhole();
    return true;
}

bool Writer::add(const Channel& channel)
{
    channels_.push_back(channel);
    channelMessages_[channel.id] = 0;
    std::vector<char> bytes;
    Bytes b(bytes);
    channelRecord(b, channel);
    if (!put(bytes))
        return false;
    markWhole();
    return true;
}

bool Writer::write(std::uint16_t channel, std::uint32_t sequence, std::uint64_t logTime, std::uint64_t publishTime,
                   const void* data, std::size_t size)
{
    return write(channel, sequence, logTime, publishTime, size,
                 [data, size](char* to) { std::memcpy(to, data, size); });
}

bool Writer::write(std::uint16_t channel, std::uint32_t sequence, std::uint64_t logTime, std::uint64_t publishTime,
                   std::size_t size, const std::function<void(char*)>& fill)
{
    if (!chunk_->records.empty() && chunk_->records.size() + size > chunkSize_ && !flushChunk())
        return false;
    Chunk& chunk = *chunk_;
    if (chunk.records.empty()) {
        chunk.start = logTime;
        chunk.end = logTime;
    }
    chunk.start = std::min(chunk.start, logTime);
    chunk.end = std::max(chunk.end, logTime);
    chunk.messageIndex[channel].emplace_back(logTime, chunk.records.size());
    Bytes b(chunk.records);
    const std::size_t at = b.begin(OpMessage);
    b.u16(channel).u32(sequence).u64(logTime).u64(publishTime);
    const std::size_t dataAt = chunk.records.size();
    chunk.records.resize(dataAt + size);
    b.end(at);
    if (size > 0)
        fill(chunk.records.data() + dataAt);
    return true;
}

bool Writer::flushChunk()
{
    if (chunk_->records.empty())
        return true;
    std::unique_ptr<Chunk> next;
    if (spare_.empty()) {
        next = std::make_unique<Chunk>();
        next->records.reserve(chunkSize_ + (chunkSize_ >> 4)); // a chunk is closed at about chunkSize_
    } else {
        next = std::move(spare_.back());
        spare_.pop_back();
    }
    Chunk* closing = chunk_.get();
    if (workers_.empty()) {
        if (compression_ == Compression::Zstd && !zstd_)
            zstd_ = ZSTD_createCCtx();
        compress(*closing, zstd_);
        closing->done = true;
        closed_.push_back(std::move(chunk_));
    } else {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_.push_back(std::move(chunk_));
            queued_.push_back(closing);
        }
        queuedOrStopping_.notify_one();
    }
    chunk_ = std::move(next);
    // One closed chunk for each worker and one more waiting, at most.
    return writeChunks(workers_.size() + 1);
}

bool Writer::writeChunks(std::size_t keep)
{
    while (!closed_.empty()) {
        Chunk& front = *closed_.front();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (closed_.size() > keep)
                compressed_.wait(lock, [&front] { return front.done; });
            else if (!front.done)
                return true;
        }
        const bool written = writeChunk(front);
        front.records.clear();
        front.messageIndex.clear();
        front.error.clear();
        front.done = false;
        spare_.push_back(std::move(closed_.front()));
        closed_.pop_front();
        if (!written)
            return false;
    }
    return true;
}

bool Writer::writeChunk(const Chunk& chunk)
{
    if (!chunk.error.empty()) {
        error_ = chunk.error;
        return false;
    }
    const char* payload = compression_ == Compression::None ? chunk.records.data() : chunk.compressed.data();
    const std::size_t payloadSize = chunk.payloadSize;

    ChunkIndex index;
    index.start = chunk.start;
    index.end = chunk.end;
    index.offset = position_;
    index.compressedSize = payloadSize;
    index.uncompressedSize = chunk.records.size();

    std::vector<char> head;
    Bytes b(head);
    const std::size_t at = b.begin(OpChunk);
    b.u64(chunk.start).u64(chunk.end).u64(chunk.records.size()).u32(chunk.crc);
    b.str(compressionName(compression_)).u64(payloadSize);
    // The record's length covers the payload written after this head.
    const std::uint64_t length = head.size() - at - 8 + payloadSize;
    for (int k = 0; k < 8; ++k)
        head[at + static_cast<std::size_t>(k)] = static_cast<char>((length >> (8 * k)) & 0xFF);
    if (!put(head))
        return false;
    if (!out_->write(payload, payloadSize))
        return false;
    dataCrc_ = crc32(dataCrc_, payload, payloadSize);
    position_ += payloadSize;
    index.length = position_ - index.offset;

    std::vector<char> indexes;
    Bytes m(indexes);
    for (const auto& entry : chunk.messageIndex) {
        index.messageIndexOffsets[entry.first] = position_ + indexes.size();
        const std::size_t record = m.begin(OpMessageIndex);
        m.u16(entry.first);
        const std::size_t array = m.beginPrefixed();
        for (const auto& timeAndOffset : entry.second)
            m.u64(timeAndOffset.first).u64(timeAndOffset.second);
        m.endPrefixed(array);
        m.end(record);
    }
    index.messageIndexLength = indexes.size();
    if (!put(indexes))
        return false;
    chunkIndexes_.push_back(std::move(index));
    markWhole();

    firstTime_ = messages_ ? std::min(firstTime_, chunk.start) : chunk.start;
    lastTime_ = messages_ ? std::max(lastTime_, chunk.end) : chunk.end;
    for (const auto& entry : chunk.messageIndex) {
        messages_ += entry.second.size();
        channelMessages_[entry.first] += entry.second.size();
    }
    return !live_ || out_->flush();
}

bool Writer::flush()
{
    return flushChunk() && writeChunks(0) && out_->flush();
}

bool Writer::closeAfterFailure()
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        compressed_.wait(lock, [this] {
            return std::all_of(closed_.begin(), closed_.end(), [](const std::unique_ptr<Chunk>& c) { return c->done; });
        });
    }
    for (std::unique_ptr<Chunk>& chunk : closed_) {
        chunk->records.clear();
        chunk->messageIndex.clear();
        chunk->error.clear();
        chunk->done = false;
        spare_.push_back(std::move(chunk));
    }
    closed_.clear();
    chunk_->records.clear();
    chunk_->messageIndex.clear();
    if (!out_->truncate(wholePosition_))
        return false;
    position_ = wholePosition_;
    dataCrc_ = wholeCrc_;
    return writeEnd();
}

bool Writer::close()
{
    return flushChunk() && writeChunks(0) && writeEnd();
}

bool Writer::writeEnd()
{
    std::vector<char> bytes;
    Bytes b(bytes);
    std::size_t at = b.begin(OpDataEnd);
    b.u32(0); // filled below: the CRC covers everything before this record
    b.end(at);
    const std::uint32_t dataCrc = dataCrc_;
    for (int k = 0; k < 4; ++k)
        bytes[at + 8 + static_cast<std::size_t>(k)] = static_cast<char>((dataCrc >> (8 * k)) & 0xFF);
    if (!put(bytes))
        return false;

    // The summary: each group of records, and where it lies.
    const std::uint64_t summaryStart = position_;
    std::vector<char> summary;
    Bytes s(summary);
    struct Group {
        std::uint8_t opcode;
        std::uint64_t start, length;
    };
    std::vector<Group> groups;
    auto group = [&](std::uint8_t opcode, std::size_t from) {
        if (summary.size() > from)
            groups.push_back({opcode, summaryStart + from, summary.size() - from});
    };
    std::size_t from = summary.size();
    for (const Schema& schema : schemas_)
        schemaRecord(s, schema);
    group(OpSchema, from);
    from = summary.size();
    for (const Channel& channel : channels_)
        channelRecord(s, channel);
    group(OpChannel, from);
    from = summary.size();
    at = s.begin(OpStatistics);
    s.u64(messages_).u16(static_cast<std::uint16_t>(schemas_.size())).u32(static_cast<std::uint32_t>(channels_.size()));
    s.u32(0).u32(0).u32(static_cast<std::uint32_t>(chunkIndexes_.size())); // attachments, metadata, chunks
    s.u64(firstTime_).u64(lastTime_);
    std::size_t map = s.beginPrefixed();
    for (const auto& entry : channelMessages_)
        s.u16(entry.first).u64(entry.second);
    s.endPrefixed(map);
    s.end(at);
    group(OpStatistics, from);
    from = summary.size();
    for (const ChunkIndex& c : chunkIndexes_) {
        at = s.begin(OpChunkIndex);
        s.u64(c.start).u64(c.end).u64(c.offset).u64(c.length);
        map = s.beginPrefixed();
        for (const auto& entry : c.messageIndexOffsets)
            s.u16(entry.first).u64(entry.second);
        s.endPrefixed(map);
        s.u64(c.messageIndexLength).str(compressionName(compression_)).u64(c.compressedSize).u64(c.uncompressedSize);
        s.end(at);
    }
    group(OpChunkIndex, from);

    const std::uint64_t summaryOffsetStart = summaryStart + summary.size();
    for (const Group& g : groups) {
        at = s.begin(OpSummaryOffset);
        s.u8(g.opcode).u64(g.start).u64(g.length);
        s.end(at);
    }
    // The footer; its CRC covers the summary up to and including summary_offset_start.
    constexpr std::uint64_t kFooterLength = 8 + 8 + 4;
    s.u8(OpFooter).u64(kFooterLength).u64(summaryStart).u64(summaryOffsetStart);
    s.u32(crc32(0, summary.data(), summary.size()));
    s.raw(kMagic, sizeof kMagic);
    return put(summary);
}

} // namespace hvk32::mcap
