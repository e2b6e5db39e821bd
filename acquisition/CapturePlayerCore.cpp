#include "acquisition/CapturePlayerCore.h"

#include "acquisition/CaptureFrameIndex.h"

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"

#include <algorithm>
#include <cmath>

namespace hvk32 {

namespace {

// Empties a frame but keeps its lists' storage for the next one.
void emptyFrame(LidarData& f)
{
    f.blockAzimuths.clear();
    for (int c = 0; c < kChannelCount; ++c) {
        f.distances[c].clear();
        f.intensities[c].clear();
        f.azimuths[c].clear();
        f.timestamps[c].clear();
        f.echoes[c].clear();
    }
}

} // namespace

PayloadKind payloadKindOf(const std::uint8_t* payload)
{
    if (datapacket::isDataPacket(payload, capturefile::kScannerPayloadSize))
        return PayloadKind::Data;
    if (devinfo::isDeviceInfoPacket(payload, capturefile::kScannerPayloadSize))
        return PayloadKind::DeviceInfo;
    return PayloadKind::Other;
}

CapturePlayerCore::CapturePlayerCore() : frame_(LidarData::empty()), completed_(LidarData::empty()) {}

bool CapturePlayerCore::open(const QString& path, QString* message)
{
    return reader_.open(path, message);
}

bool CapturePlayerCore::open(QIODevice* device, QString* message)
{
    return reader_.open(device, message);
}

void CapturePlayerCore::close()
{
    reader_.close();
    positions_.clear();
    emptyFrame(frame_);
    cutter_.restart();
    heldFrame_ = false;
}

void CapturePlayerCore::start()
{
    reader_.rewind();
    positions_.clear();
    emptyFrame(frame_);
    emptyFrame(completed_);
    cutter_.restart();
    heldFrame_ = false;
    configuration_ = {};
    calibration_ = {};
    configurationReported_ = false;
    frameCounter_ = 0;
    dataPackets_ = deviceInfoPackets_ = droppedFrames_ = 0;
    lossDetector_.reset();
    lossDetector_.setConfiguration(SensorConfig::Unknown);
    firstUnreadOffset_ = 0;
}

bool CapturePlayerCore::atEnd() const
{
    return !reader_.isOpen() || position() < static_cast<qint64>(capturefile::kFileHeaderSize)
        || position() >= fileLength();
}

CapturePlayerCore::Event CapturePlayerCore::next(Direction direction)
{
    if (heldFrame_) {
        heldFrame_ = false;
        return Event::Frame;
    }
    if (atEnd())
        return Event::End;
    if (direction == Direction::Forward) {
        qint64 offset = 0;
        switch (reader_.next(record_, &offset)) {
        case capturefile::CaptureReader::Read::End:
            return Event::End;
        case capturefile::CaptureReader::Read::Skipped:
            return Event::None;
        case capturefile::CaptureReader::Read::Scanner:
            positions_.push_back(offset);
            freshRecord_ = offset >= firstUnreadOffset_;
            firstUnreadOffset_ = std::max(firstUnreadOffset_, offset + 1);
            break;
        }
    } else {
        if (positions_.empty())
            return Event::End;
        const qint64 offset = positions_.back();
        positions_.pop_back();
        freshRecord_ = false;
        if (!reader_.readScannerRecordAt(offset, record_))
            return Event::End;
    }
    return handlePayload(direction);
}

CapturePlayerCore::Event CapturePlayerCore::handlePayload(Direction direction)
{
    const std::uint8_t* payload = record_.data() + capturefile::kPayloadOffset;
    switch (payloadKindOf(payload)) {
    case PayloadKind::Data:
        return addDataPacket(payload, direction);
    case PayloadKind::DeviceInfo:
        return handleDeviceInfo(payload);
    case PayloadKind::Other:
        break;
    }
    return Event::None;
}

CapturePlayerCore::Event CapturePlayerCore::addDataPacket(const std::uint8_t* payload, Direction direction,
                                                          int firstBlock)
{
    ++dataPackets_;
    // Records read again (backward, or forward after going back) are not the stream's order.
    if (freshRecord_)
        lossDetector_.addPacket(payload);
    Event event = Event::None;
    // A frame needs more than 500 blocks unless packets were lost, so one packet completes
    // at most one frame of a sound stream.
    for (int b = firstBlock; b < datapacket::kBlocksPerPacket; ++b) {
        const FrameCutter::Cut cut = cutter_.add(datapacket::azimuthRaw(payload, b));
        if (cut == FrameCutter::Cut::Before) {
            completeFrame();
            event = countFrame(direction);
        }
        decodeBlock(payload, b, SensorConfig::SingleEcho, block_);
        // Dual echo: even blocks hold first echoes, odd blocks second echoes.
        const std::uint8_t echo = configurationReported_ && dualEcho_ && b % 2 == 1 ? 1 : 0;
        frame_.blockAzimuths.push_back(block_.azimuth);
        for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
            frame_.distances[c].push_back(block_.distance[c]);
            frame_.intensities[c].push_back(block_.intensity[c]);
            frame_.timestamps[c].push_back(block_.time[c]);
            frame_.azimuths[c].push_back(playerChannelAzimuth(block_.azimuth, c));
            frame_.echoes[c].push_back(echo);
        }
        if (cut == FrameCutter::Cut::After) {
            completeFrame();
            event = countFrame(direction);
        } else if (cut == FrameCutter::Cut::Overflow) {
            emptyFrame(frame_);
            ++droppedFrames_;
        }
    }
    return event;
}

CapturePlayerCore::Event CapturePlayerCore::countFrame(Direction direction)
{
    if (!configurationReported_)
        return Event::UnreportedFrame;
    frameCounter_ = direction == Direction::Forward ? frameCounter_ + 1 : std::max(0, frameCounter_ - 1);
    return Event::Frame;
}

void CapturePlayerCore::completeFrame()
{
    std::swap(frame_, completed_);
    emptyFrame(frame_);
    if (freshRecord_)
        lossDetector_.closeFrame(); // the losses counted so far are this frame's
}

bool CapturePlayerCore::reportsConfiguration(const std::uint8_t* deviceInfo)
{
    return deviceInfo[devinfo::kBoardVersionMajor] >= kUsableBoardVersion;
}

PlayerConfiguration CapturePlayerCore::configurationOf(const std::uint8_t* deviceInfo)
{
    PlayerConfiguration c;
    c.echoMode = echoConfigurationOf(deviceInfo[devinfo::kEchoMode]);
    c.degreeMode = degreeModeOf(be16(deviceInfo + devinfo::kAngleModeCode));
    c.accuracyMode = kAccuracyMode;
    return c;
}

CapturePlayerCore::Event CapturePlayerCore::handleDeviceInfo(const std::uint8_t* payload)
{
    ++deviceInfoPackets_;
    calibration_ = decodeCalibration(payload);
    if (configurationReported_ || !reportsConfiguration(payload))
        return Event::DeviceInfo;
    configurationReported_ = true;
    configuration_ = configurationOf(payload);
    dualEcho_ = sensorConfigFromName(configuration_.echoMode) == SensorConfig::DualEcho;
    lossDetector_.setConfiguration(sensorConfigFromName(configuration_.echoMode));
    return Event::Configuration;
}

bool CapturePlayerCore::seek(const CaptureFrameIndex& index, int n)
{
    if (!reader_.isOpen() || n < 1 || n > index.frameCount())
        return false;
    const CaptureFrameIndex::Frame& f = index.frame(n);
    if (!reader_.readScannerRecordAt(f.recordOffset, record_))
        return false;
    const std::uint8_t* payload = record_.data() + capturefile::kPayloadOffset;
    if (payloadKindOf(payload) != PayloadKind::Data || f.block >= datapacket::kBlocksPerPacket)
        return false;
    positions_.assign(1, f.recordOffset);
    emptyFrame(frame_);
    emptyFrame(completed_);
    configuration_ = index.configuration();
    dualEcho_ = sensorConfigFromName(configuration_.echoMode) == SensorConfig::DualEcho;
    configurationReported_ = true;
    // Before the capture's first device-info packet there is none; one inside the frame
    // comes before the frame is complete.
    calibration_ = index.calibrationAt(n).value_or(DeviceCalibration{});
    frameCounter_ = n - 1;
    // Stream health counts each record once, in file order: a jump past what was read
    // starts counting afresh there instead of taking the skipped records as lost.
    lossDetector_.setConfiguration(sensorConfigFromName(configuration_.echoMode));
    freshRecord_ = f.recordOffset >= firstUnreadOffset_;
    if (freshRecord_) {
        lossDetector_.resynchronise();
        firstUnreadOffset_ = f.recordOffset + 1;
    }
    // The frame goes on from the reference the index kept for it. A sound frame has more
    // than a packet's blocks, so the rest of this packet only starts it; one that ends in it
    // (packets lost) is the next event.
    cutter_.restart(f.reference, f.advance);
    heldFrame_ = addDataPacket(payload, Direction::Forward, f.block) == Event::Frame;
    return true;
}

} // namespace hvk32
