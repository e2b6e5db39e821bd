#include "acquisition/CaptureFrameIndex.h"

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/FrameCutter.h"
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

} // namespace

void CaptureFrameIndex::clear()
{
    frames_.clear();
    calibrationSets_.clear();
    configuration_ = {};
    configurationReported_ = false;
    configurationPacket_.fill(0);
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

    ChunkReader in(device, fileLength_, kChunkSize);
    RecordWalker walker; // walks the records as the player's reader does
    walker.reset(format, fileLength_);
    Summary& sum = summary_;

    // The frame being collected, cut as the player cuts it, and where it started.
    FrameCutter cutter;
    Frame start;
    std::uint32_t calibrationInForce = kNoCalibration;
    PacketLossDetector lossDetector; // the echo mode told by the packets until the configuration

    double runStart = 0;    // [s] the first record time since the last step back
    double earlierRuns = 0; // [s] the runs of rising times before it
    qint64 nextReport = 0;
    auto limitReached = [this]() {
        return (frameLimit_ > 0 && frames_.size() >= static_cast<std::size_t>(frameLimit_))
            || (timeLimit_ >= 0 && !frames_.empty()
                && seconds(frames_.back().seconds, frames_.back().fraction) - summary_.firstTime >= timeLimit_);
    };
    while (walker.position() < fileLength_ && !limitReached()) {
        if (progress && walker.position() >= nextReport) {
            if (!progress(walker.position(), fileLength_)) {
                if (message)
                    *message = QCoreApplication::translate("CaptureFrameIndex", "stopped");
                return false;
            }
            nextReport = walker.position() + kProgressStep;
        }
        qint64 position = 0;
        RecordHeader header;
        const RecordStep step = walker.next(in, &position, &header);
        if (step.kind == RecordStep::Truncated || step.kind == RecordStep::End)
            break;
        const std::uint8_t* record = step.kind == RecordStep::Scanner ? in.at(position, step.size) : nullptr;
        if (step.kind == RecordStep::Scanner && !record)
            break; // the device failed
        const double time = seconds(header.seconds, header.fraction);
        if (!sum.hasRecords) {
            sum.firstTime = time;
            runStart = time;
        } else if (time < sum.lastTime) {
            ++sum.timeStepsBack;
            sum.largestStepBack = std::max(sum.largestStepBack, sum.lastTime - time);
            earlierRuns += sum.lastTime - runStart;
            runStart = time;
        }
        sum.hasRecords = true;
        sum.lastTime = time;

        if (step.kind == RecordStep::Skipped) {
            ++sum.otherRecords;
            continue;
        }
        // A scanner datagram stored otherwise than in a plain Ethernet frame has its payload where the walk found it.
        const std::uint8_t* payload = step.plain ? record + kPayloadOffset
                                                 : record + kRecordHeaderSize + step.place.udp + kUdpHeaderSize;
        switch (payloadKindOf(payload)) {
        case PayloadKind::Data:
            ++sum.dataPackets;
            // The packets the player decodes, in its order: duplicates and late packets left
            // out, a packet far ahead held until the next one tells.
            lossDetector.addPacket(payload, PacketOrigin{position, header.seconds, header.fraction});
            for (const TakenPacket& taken : lossDetector.taken()) {
                for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
                    const FrameCutter::Cut cut = cutter.add(datapacket::azimuthRaw(taken.bytes, b));
                    if (cut == FrameCutter::Cut::Before || cut == FrameCutter::Cut::After)
                        lossDetector.closeFrame(); // as the player closes its frames
                    if (cut == FrameCutter::Cut::Before && configurationReported_)
                        frames_.push_back(start);
                    if (cutter.blocks() == 1) {
                        start.recordOffset = taken.origin.offset;
                        start.seconds = taken.origin.seconds;
                        start.fraction = taken.origin.fraction;
                        start.calibration = calibrationInForce;
                        start.block = static_cast<std::uint8_t>(b);
                        start.reference = cutter.reference();
                        start.advance = static_cast<std::int16_t>(cutter.advance());
                        const std::int64_t early = lossDetector.earliestHeldOffset();
                        start.earlyBytes = early >= 0 && early < start.recordOffset
                                             ? static_cast<std::uint32_t>(
                                                 std::min<std::int64_t>(start.recordOffset - early, UINT32_MAX))
                                             : 0;
                    }
                    if (cut == FrameCutter::Cut::After && configurationReported_)
                        frames_.push_back(start);
                    else if (cut == FrameCutter::Cut::Overflow)
                        ++sum.droppedFrames;
                }
            }
            break;
        case PayloadKind::DeviceInfo: {
            ++sum.deviceInfoPackets;
            const DeviceCalibration calibration = decodeCalibration(payload);
            if (calibrationSets_.empty() || calibrationSets_.back() != calibration)
                calibrationSets_.push_back(calibration);
            calibrationInForce = static_cast<std::uint32_t>(calibrationSets_.size() - 1);
            if (!configurationReported_ && CapturePlayerCore::reportsConfiguration(payload)) {
                configurationReported_ = true;
                configuration_ = CapturePlayerCore::configurationOf(payload);
                std::memcpy(configurationPacket_.data(), payload, configurationPacket_.size());
                lossDetector.setConfiguration(sensorConfigFromName(configuration_.echoMode));
            }
            break;
        }
        case PayloadKind::Other:
            ++sum.otherRecords;
            break;
        }
    }
    sum.duration = earlierRuns + (sum.lastTime - runStart);
    sum.damage = walker.damage();
    sum.health = lossDetector.health();
    for (const StreamGap& g : lossDetector.gaps())
        sum.gaps.push_back({seconds(g.after.seconds, g.after.fraction), static_cast<double>(g.micros) / 1e6, g.packets});
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

std::optional<DeviceCalibration> CaptureFrameIndex::calibrationAt(int n) const
{
    const std::uint32_t set = frame(n).calibration;
    if (set == kNoCalibration)
        return std::nullopt;
    return calibrationSets_[set];
}

std::size_t CaptureFrameIndex::memoryBytes() const
{
    return frames_.capacity() * sizeof(Frame) + calibrationSets_.capacity() * sizeof(DeviceCalibration);
}

} // namespace hvk32
