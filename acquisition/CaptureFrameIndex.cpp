#include "acquisition/CaptureFrameIndex.h"

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/PointDecoding.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace hvk32 {

namespace {

constexpr qint64 kChunkSize = 4 << 20;        // bytes read at once
constexpr qint64 kProgressStep = 16 << 20;    // bytes between two progress reports

// Reads a file in large chunks and hands out views of its bytes, so that a walk over
// records of 1264 bytes makes one read call per few thousand records.
class ChunkReader {
public:
    ChunkReader(QIODevice* device, qint64 length) : device_(device), length_(length), buffer_(kChunkSize) {}

    // `size` bytes at `offset`, or null when they cannot be read.
    const std::uint8_t* at(qint64 offset, qint64 size)
    {
        if (offset >= start_ && offset + size <= start_ + filled_)
            return buffer_.data() + (offset - start_);
        if (size > kChunkSize || offset < 0 || size > length_ - offset)
            return nullptr;
        qint64 kept = 0;
        if (offset >= start_ && offset < start_ + filled_) {
            kept = start_ + filled_ - offset;
            std::memmove(buffer_.data(), buffer_.data() + (offset - start_), static_cast<std::size_t>(kept));
        } else if (!device_->seek(offset)) {
            return nullptr;
        }
        start_ = offset;
        filled_ = kept;
        const qint64 want = std::min(kChunkSize, length_ - offset) - kept;
        const qint64 got = device_->read(reinterpret_cast<char*>(buffer_.data() + kept), want);
        filled_ += std::max<qint64>(got, 0);
        return size <= filled_ ? buffer_.data() : nullptr;
    }

private:
    QIODevice* device_;
    qint64 length_;
    std::vector<std::uint8_t> buffer_;
    qint64 start_ = 0;
    qint64 filled_ = 0;
};

} // namespace

void CaptureFrameIndex::clear()
{
    frames_.clear();
    angleSets_.clear();
    configuration_ = {};
    configurationReported_ = false;
    nanoseconds_ = false;
    fileLength_ = 0;
    summary_ = {};
}

double CaptureFrameIndex::seconds(std::uint32_t s, std::uint32_t fraction) const
{
    return static_cast<double>(s) + static_cast<double>(fraction) / (nanoseconds_ ? 1e9 : 1e6);
}

bool CaptureFrameIndex::build(const QString& path, QString* message, const Progress& progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        clear();
        if (message)
            *message = QCoreApplication::translate("CaptureFrameIndex", "cannot open: %1").arg(file.errorString());
        return false;
    }
    return build(&file, message, progress);
}

bool CaptureFrameIndex::build(QIODevice* device, QString* message, const Progress& progress)
{
    using namespace capturefile;
    clear();
    FileFormat format;
    {
        // The reader checks the file the way the player does.
        CaptureReader check;
        if (!check.open(device, message))
            return false;
        format = check.format();
        fileLength_ = check.length();
    }
    nanoseconds_ = format.nanoseconds;

    ChunkReader in(device, fileLength_);
    Summary& sum = summary_;
    auto truncatedAt = [&](qint64 offset) {
        ++sum.damage.truncatedRecords;
        sum.damage.truncatedOffset = offset;
    };

    // The frame being collected, as the player collects it: its block count, its first
    // block azimuth and where it started.
    std::size_t blocks = 0;
    float firstAzimuth = 0;
    Frame start;
    std::uint32_t anglesInForce = kNoAngles;

    qint64 position = static_cast<qint64>(kFileHeaderSize);
    qint64 nextReport = 0;
    auto limitReached = [this]() {
        return (frameLimit_ > 0 && frames_.size() >= static_cast<std::size_t>(frameLimit_))
            || (timeLimit_ >= 0 && !frames_.empty()
                && seconds(frames_.back().seconds, frames_.back().fraction) - summary_.firstTime >= timeLimit_);
    };
    while (position < fileLength_ && !limitReached()) {
        if (progress && position >= nextReport) {
            if (!progress(position, fileLength_)) {
                if (message)
                    *message = QCoreApplication::translate("CaptureFrameIndex", "stopped");
                return false;
            }
            nextReport = position + kProgressStep;
        }
        const std::uint8_t* h = in.at(position, kRecordHeaderSize);
        if (!h) {
            truncatedAt(position);
            break;
        }
        const RecordHeader header = readRecordHeader(h, format);
        const RecordStep step = stepOverRecord(header, fileLength_ - position - static_cast<qint64>(kRecordHeaderSize));
        const std::uint8_t* record = step.kind == RecordStep::Scanner ? in.at(position, kScannerRecordSize) : h;
        if (step.kind == RecordStep::Truncated || !record) {
            truncatedAt(position);
            break;
        }
        const double time = seconds(header.seconds, header.fraction);
        if (!sum.hasRecords)
            sum.firstTime = time;
        sum.hasRecords = true;
        sum.lastTime = time;

        if (step.kind == RecordStep::Skipped) {
            if (step.badLength && sum.damage.badLengths++ == 0)
                sum.damage.firstBadLengthOffset = position;
            ++sum.otherRecords;
            position += step.size;
            continue;
        }
        const std::uint8_t* payload = record + kPayloadOffset;
        switch (payloadKindOf(payload)) {
        case PayloadKind::Data:
            ++sum.dataPackets;
            for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
                const float azimuth = decodeBlockAzimuth(datapacket::azimuthRaw(payload, b));
                if (blocks++ == 0) {
                    firstAzimuth = azimuth;
                    start.recordOffset = position;
                    start.seconds = header.seconds;
                    start.fraction = header.fraction;
                    start.angles = anglesInForce;
                    start.block = static_cast<std::uint8_t>(b);
                }
                if (CapturePlayerCore::frameCloses(blocks, firstAzimuth, azimuth)) {
                    if (configurationReported_)
                        frames_.push_back(start);
                    blocks = 0;
                } else if (blocks > CapturePlayerCore::kMaxFrameBlocks) {
                    blocks = 0;
                    ++sum.droppedFrames;
                }
            }
            break;
        case PayloadKind::DeviceInfo: {
            ++sum.deviceInfoPackets;
            const std::array<float, 4> angles = decodeOffsetAngles(payload);
            if (angleSets_.empty() || angleSets_.back() != angles)
                angleSets_.push_back(angles);
            anglesInForce = static_cast<std::uint32_t>(angleSets_.size() - 1);
            if (!configurationReported_ && CapturePlayerCore::reportsConfiguration(payload)) {
                configurationReported_ = true;
                configuration_ = CapturePlayerCore::configurationOf(payload);
            }
            break;
        }
        case PayloadKind::Other:
            ++sum.otherRecords;
            break;
        }
        position += step.size;
    }
    if (progress)
        progress(fileLength_, fileLength_);
    frames_.shrink_to_fit();
    return true;
}

int CaptureFrameIndex::frameAtPosition(qint64 position) const
{
    if (frames_.empty())
        return 0;
    const auto after = std::upper_bound(frames_.begin(), frames_.end(), position,
                                        [](qint64 p, const Frame& f) { return p < f.recordOffset; });
    return std::max(1, static_cast<int>(after - frames_.begin()));
}

double CaptureFrameIndex::frameTime(int n) const
{
    const Frame& f = frame(n);
    return seconds(f.seconds, f.fraction);
}

std::optional<std::array<float, 4>> CaptureFrameIndex::offsetAnglesAt(int n) const
{
    const std::uint32_t set = frame(n).angles;
    if (set == kNoAngles)
        return std::nullopt;
    return angleSets_[set];
}

std::size_t CaptureFrameIndex::memoryBytes() const
{
    return frames_.capacity() * sizeof(Frame) + angleSets_.capacity() * sizeof(angleSets_[0]);
}

} // namespace hvk32
