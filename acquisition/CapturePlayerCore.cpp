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
        f.firingTimes[c].clear();
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
    dropBlocks();
    cutter_.restart();
    heldFrame_ = false;
}

void CapturePlayerCore::start()
{
    reader_.rewind();
    positions_.clear();
    dropBlocks();
    emptyFrame(completed_);
    completedTime_ = collecting_ = {};
    cutter_.restart();
    heldFrame_ = false;
    configuration_ = {};
    calibration_ = {};
    configurationReported_ = false;
    frameCounter_ = 0;
    dataPackets_ = deviceInfoPackets_ = droppedFrames_ = 0;
    lossDetector_.reset();
    lossDetector_.setConfiguration(SensorConfig::Unknown);
    rereading_ = false;
    rereadDetector_.reset();
    rereadDetector_.setConfiguration(SensorConfig::Unknown);
    firstUnreadOffset_ = 0;
}

bool CapturePlayerCore::atEnd() const
{
    return !reader_.isOpen() || position() < static_cast<qint64>(capturefile::kFileHeaderSize)
        || position() >= fileLength();
}

bool CapturePlayerCore::nextFrame()
{
    for (;;) {
        const Event event = next(Direction::Forward);
        if (event == Event::End)
            return false;
        if (event == Event::Frame)
            return true;
    }
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
        switch (reader_.next(&recordBytes_, &offset)) {
        case capturefile::CaptureReader::Read::End:
            return Event::End;
        case capturefile::CaptureReader::Read::Skipped:
            return Event::None;
        case capturefile::CaptureReader::Read::Scanner:
            positions_.push_back(offset);
            recordOffset_ = offset;
            freshRecord_ = offset >= firstUnreadOffset_;
            firstUnreadOffset_ = std::max(firstUnreadOffset_, offset + 1);
            break;
        }
    } else {
        if (positions_.empty())
            return Event::End;
        const qint64 offset = positions_.back();
        positions_.pop_back();
        recordOffset_ = offset;
        freshRecord_ = false;
        rereadDetector_.resynchronise(); // going forward again starts placing afresh
        if (!reader_.readScannerRecordAt(offset, record_))
            return Event::End;
        recordBytes_ = record_.data();
    }
    return handlePayload(direction);
}

CapturePlayerCore::Event CapturePlayerCore::handlePayload(Direction direction)
{
    const std::uint8_t* payload = recordBytes_ + capturefile::kPayloadOffset;
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

PacketOrigin CapturePlayerCore::recordOrigin() const
{
    const capturefile::RecordHeader h = capturefile::readRecordHeader(recordBytes_, reader_.format());
    PacketOrigin origin;
    origin.offset = recordOffset_;
    origin.seconds = h.seconds;
    origin.fraction = h.fraction;
    return origin;
}

CapturePlayerCore::Event CapturePlayerCore::addDataPacket(const std::uint8_t* payload, Direction direction,
                                                          int firstBlock)
{
    ++dataPackets_;
    // Records read backward are decoded as they come. Going forward, the loss detector holds
    // back a packet far ahead until the next one tells whether it was a stray, and leaves out
    // duplicates and packets too late for their frame. Records read for the first time count
    // in the stream's health; records read again (after a seek back) are placed by a detector
    // of their own, so they are counted once.
    if (direction == Direction::Backward)
        return decodePacket(payload, recordOrigin(), direction, firstBlock);
    if (freshRecord_ && rereading_)
        lossDetector_.continueFrom(rereadDetector_); // read again up to here: go on from there
    rereading_ = !freshRecord_;
    PacketLossDetector& detector = freshRecord_ ? lossDetector_ : rereadDetector_;
    detector.addPacket(payload, recordOrigin());
    Event event = Event::None;
    for (const TakenPacket& t : detector.taken()) {
        const Event e = decodePacket(t.bytes, t.origin, direction, t.bytes == payload ? firstBlock : 0);
        if (e != Event::None)
            event = e;
    }
    return event;
}

CapturePlayerCore::Event CapturePlayerCore::decodePacket(const std::uint8_t* payload, const PacketOrigin& origin,
                                                         Direction direction, int firstBlock)
{
    Event event = Event::None;
    // A frame needs more than 500 blocks unless packets were lost, so one packet completes
    // at most one frame of a sound stream. Blocks [from, b) join the frame being collected.
    int from = firstBlock;
    for (int b = firstBlock; b < datapacket::kBlocksPerPacket; ++b) {
        switch (cutter_.add(datapacket::azimuthRaw(payload, b))) {
        case FrameCutter::Cut::None:
            break;
        case FrameCutter::Cut::Before:
            keepBlocks(payload, origin, from, b);
            from = b;
            completeFrame();
            event = countFrame(direction);
            break;
        case FrameCutter::Cut::After:
            keepBlocks(payload, origin, from, b + 1);
            from = b + 1;
            completeFrame();
            event = countFrame(direction);
            break;
        case FrameCutter::Cut::Overflow:
            dropBlocks();
            from = b + 1;
            ++droppedFrames_;
            break;
        }
    }
    keepBlocks(payload, origin, from, datapacket::kBlocksPerPacket);
    return event;
}

void CapturePlayerCore::keepBlocks(const std::uint8_t* payload, const PacketOrigin& origin, int first, int last)
{
    if (first >= last)
        return;
    if (runs_.empty()) {
        // The frame's first packet: its time in the capture and on the device.
        collecting_.captureMicros = static_cast<std::int64_t>(origin.seconds) * 1000000
                                  + (reader_.format().nanoseconds ? origin.fraction / 1000 : origin.fraction);
        collecting_.deviceStamp = datapacket::timestampRaw(payload);
        collecting_.seconds = origin.seconds;
        collecting_.fraction = origin.fraction;
    }
    blocks_.insert(blocks_.end(), payload + datapacket::blockOffset(first), payload + datapacket::blockOffset(last));
    runs_.push_back({datapacket::timestampRaw(payload), static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last),
                     configurationReported_ && dualEcho_});
}

void CapturePlayerCore::dropBlocks()
{
    blocks_.clear();
    runs_.clear();
}

// The kept blocks as a frame, channel by channel, with the rules of
// decodeBlock (single-echo times) and playerChannelAzimuth.
void CapturePlayerCore::decodeBlocks(LidarData& into) const
{
    const std::size_t n = blocks_.size() / datapacket::kBlockSize;
    const std::uint8_t* const bytes = blocks_.data();
    // A frame handed in by takeFrame may never have held one: 32 lists each, kept if there.
    into.distances.resize(kChannelCount);
    into.azimuths.resize(kChannelCount);
    into.intensities.resize(kChannelCount);
    into.timestamps.resize(kChannelCount);
    into.firingTimes.resize(kChannelCount);
    into.echoes.resize(kChannelCount);
    into.blockAzimuths.resize(n);
    float* const blockAzimuths = into.blockAzimuths.data();
    for (std::size_t i = 0; i < n; ++i)
        blockAzimuths[i] = decodeBlockAzimuth(datapacket::azimuthRaw(bytes, static_cast<int>(i)));
    // Which return each block holds, the same for every channel. Dual echo: even blocks hold
    // first echoes, odd blocks second echoes.
    std::vector<std::uint8_t>& echoes = into.echoes[0];
    echoes.resize(n);
    std::size_t block = 0;
    for (const BlockRun& run : runs_)
        for (int b = run.first; b < run.last; ++b)
            echoes[block++] = run.dual && b % 2 == 1 ? 1 : 0;
    // Distances and intensities of every channel over the whole frame at once.
    float* distances[kChannelCount];
    int* intensities[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c) {
        // A list keeps the length of the frame it held before, so resizing it zeroes at most
        // the few entries this frame has more.
        into.distances[c].resize(n);
        into.intensities[c].resize(n);
        distances[c] = into.distances[c].data();
        intensities[c] = into.intensities[c].data();
    }
    decodeChannelColumns(bytes, n, distances, intensities);
    for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
        into.timestamps[c].resize(n);
        into.azimuths[c].resize(n);
        if (c > 0)
            into.echoes[c].assign(echoes.begin(), echoes.end());
        // Angles over the whole frame at once; times run by run, as they depend on the packet
        // and the block's place in it.
        playerChannelAzimuths(blockAzimuths, n, c, into.azimuths[c].data());
        runTimes(PacketTimes::singleEcho(), c, runs_.data(), runs_.size(), nullptr, into.timestamps[c].data());
    }
    decodeFiringTimes(into);
}

// Dual echo: the firings' own times beside the stated ones, by pair (dualEchoFiringTime).
void CapturePlayerCore::decodeFiringTimes(LidarData& into) const
{
    const bool anyDual = std::any_of(runs_.begin(), runs_.end(), [](const BlockRun& r) { return r.dual; });
    for (int c = 0; c < kChannelCount; ++c) {
        std::vector<std::uint64_t>& firings = into.firingTimes[c];
        if (!anyDual) {
            firings.clear();
            continue;
        }
        firings.resize(into.timestamps[c].size());
        runTimes(PacketTimes::dualEchoFirings(), c, runs_.data(), runs_.size(), into.timestamps[c].data(),
                 firings.data());
    }
}

const LidarData& CapturePlayerCore::pendingFrame()
{
    decodeBlocks(frame_);
    return frame_;
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
    completedTime_ = collecting_;
    decodeBlocks(completed_);
    dropBlocks();
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
    rereadDetector_.setConfiguration(sensorConfigFromName(configuration_.echoMode));
    return Event::Configuration;
}

bool CapturePlayerCore::seek(const CaptureFrameIndex& index, int n)
{
    if (!reader_.isOpen() || n < 1 || n > index.frameCount())
        return false;
    const CaptureFrameIndex::Frame& f = index.frame(n);
    if (!reader_.readScannerRecordAt(f.recordOffset, record_))
        return false;
    recordBytes_ = record_.data();
    const std::uint8_t* payload = recordBytes_ + capturefile::kPayloadOffset;
    if (payloadKindOf(payload) != PayloadKind::Data || f.block >= datapacket::kBlocksPerPacket)
        return false;
    positions_.assign(1, f.recordOffset);
    recordOffset_ = f.recordOffset;
    dropBlocks();
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
    rereadDetector_.setConfiguration(sensorConfigFromName(configuration_.echoMode));
    rereadDetector_.resynchronise();
    rereading_ = false;
    if (freshRecord_) {
        lossDetector_.resynchronise();
        firstUnreadOffset_ = f.recordOffset + 1;
    }
    // The frame goes on from the reference the index kept for it. A sound frame has more
    // than a packet's blocks, so the rest of this packet only starts it; one that ends in it
    // (packets lost) is the next event.
    cutter_.restart(f.reference, f.advance);
    heldFrame_ = addDataPacket(payload, Direction::Forward, f.block) == Event::Frame;
    if (f.earlyBytes > 0)
        readEarlyPackets(f.recordOffset - f.earlyBytes, f.recordOffset);
    return true;
}

// Packets of the frame that came early, before its first record in the file, are read again
// after it, so they take the places in the frame they took in forward play (the records
// between them belong to the frame before and are passed over as late). The file goes on
// after the frame's first record.
void CapturePlayerCore::readEarlyPackets(qint64 from, qint64 to)
{
    if (!reader_.readScannerRecordAt(from, record_))
        return;
    const std::uint8_t* bytes = record_.data();
    qint64 offset = from;
    capturefile::CaptureReader::Read read = capturefile::CaptureReader::Read::Scanner;
    while (offset < to) {
        const std::uint8_t* payload = bytes + capturefile::kPayloadOffset;
        if (read == capturefile::CaptureReader::Read::Scanner && payloadKindOf(payload) == PayloadKind::Data) {
            recordBytes_ = bytes;
            recordOffset_ = offset;
            heldFrame_ = addDataPacket(payload, Direction::Forward) == Event::Frame || heldFrame_;
        }
        read = reader_.next(&bytes, &offset);
        if (read == capturefile::CaptureReader::Read::End)
            break;
    }
    reader_.readScannerRecordAt(to, record_);
    recordOffset_ = to;
}

} // namespace hvk32
