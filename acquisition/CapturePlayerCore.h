#pragma once
// Replays a capture file of scanner traffic as frames, one record per call, forward or
// backward. Plain object: no thread, no pacing; ReadLiveOffDataK32 and the command line
// drive it.
//
// Going forward it reads the next record and remembers where every scanner record starts;
// going backward it re-reads those records from the last one down. The blocks of a frame are
// kept as read and decoded, channel by channel, when the frame is complete (or its pending
// part is asked for), with the player's rules (single-echo times, angle
// = block azimuth + 0.00625 degrees per channel, not wrapped); FrameCutter says after which
// blocks a frame is complete (more than 500 blocks and the last block azimuth within 0.5
// degrees of the first, or a turn past it when packets were lost). Device-info payloads
// give the calibration (vertical and horizontal offset angles) that the following frames
// are converted with, and the first one whose board version is 2 or more reports the
// configuration. Frames completed before that are dropped.

#include "acquisition/CaptureFile.h"
#include "acquisition/FrameCutter.h"
#include "acquisition/PacketLossDetector.h"
#include "acquisition/PointDecoding.h"
#include "records/DeviceCalibration.h"
#include "records/LidarData.h"

#include <QString>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class QIODevice;

namespace hvk32 {

enum class PayloadKind { Data, DeviceInfo, Other };

// The kind of a 1206-byte scanner payload, by its first bytes.
PayloadKind payloadKindOf(const std::uint8_t* payload);

// What the player reports about the device once per run.
struct PlayerConfiguration {
    QString echoMode;   // "HVK321" or "HVK322"
    int degreeMode = 0; // 1: 0.33-degree layout
    int accuracyMode = 1;
};

class CaptureFrameIndex;

// When a frame began: the capture's time of its first data packet, and that packet's own
// time stamp from the device.
struct FrameTime {
    std::int64_t captureMicros = 0; // since 1970-01-01 UTC
    std::uint32_t deviceStamp = 0;  // data packet time-stamp units
    // The capture time as the record header holds it: seconds, and micro- or nanoseconds as
    // the file says.
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
};

class CapturePlayerCore {
public:
    static constexpr int kUsableBoardVersion = 2;       // device-info byte 1196
    static constexpr int kAccuracyMode = 1;
    // Whether a device-info payload reports the configuration (board version 2 or more), and
    // what it reports.
    static bool reportsConfiguration(const std::uint8_t* deviceInfo);
    static PlayerConfiguration configurationOf(const std::uint8_t* deviceInfo);

    enum class Direction { Forward, Backward };
    enum class Event {
        None,            // a record was read; nothing to report
        DeviceInfo,      // a device-info packet was read: see calibration()
        Configuration,   // the configuration was reported: see configuration() and calibration()
        Frame,           // a frame was completed and counted: see frame()
        UnreportedFrame, // a frame was completed before the configuration, and dropped
        End,             // the run is over
    };

    CapturePlayerCore();

    // Opens a capture file (or a readable device, not owned) and checks that it is a capture
    // of Ethernet frames; `message` says why not.
    bool open(const QString& path, QString* message = nullptr);
    bool open(QIODevice* device, QString* message = nullptr);
    void close();
    bool isOpen() const { return reader_.isOpen(); }

    // Starts a run at the first record: empty frame, no positions, no configuration, frame
    // counter 0, no damage.
    void start();

    // Goes to frame n of `index` (built from this file): reads the frame's first record from
    // its first block on, with the configuration reported and the counter at n - 1, so that
    // going forward the next Frame event is frame n exactly as forward play gave it, with the
    // same calibration: the one in force at the frame's start comes from the index. False
    // when n is not in the index or the record is not there any more.
    bool seek(const CaptureFrameIndex& index, int n);

    // The run cannot go on: the position is at the end of the file (or before its first
    // record).
    bool atEnd() const;

    // Reads one record in the given direction and handles its payload. Backward ends when
    // every record read forward has been read again.
    Event next(Direction direction);
    // Reads forward until a frame is reported (see frame()); false when the run ends first.
    bool nextFrame();

    // The frame of the last Frame or UnreportedFrame event, until the next call.
    const LidarData& frame() const { return completed_; }
    // Hands that frame over without copying it: it trades places with `into`, whose lists
    // the player decodes the next frame into (so they keep being reused). frame() holds
    // the old contents of `into` until the next frame.
    void takeFrame(LidarData& into) { std::swap(completed_, into); }
    // The time of the frame of the last Frame or UnreportedFrame event.
    const FrameTime& frameTime() const { return completedTime_; }
    // The frame being collected, decoded from its blocks so far.
    const LidarData& pendingFrame();

    bool configurationReported() const { return configurationReported_; }
    const PlayerConfiguration& configuration() const { return configuration_; }
    // The calibration of the last device-info packet read (all zero before the first): the
    // one in force for a frame when its Frame event comes.
    const DeviceCalibration& calibration() const { return calibration_; }
    // Its horizontal offset angles 1..4 [deg].
    const std::array<float, 4>& offsetAngles() const { return calibration_.offsetAngles; }
    // +1 per frame going forward, -1 going backward, never below 0.
    int frameCounter() const { return frameCounter_; }

    qint64 fileLength() const { return reader_.length(); }
    qint64 position() const { return reader_.position(); }
    const capturefile::Damage& damage() const { return reader_.damage(); }

    std::uint64_t dataPackets() const { return dataPackets_; }
    std::uint64_t deviceInfoPackets() const { return deviceInfoPackets_; }
    // Whole records read forward since start(), and what they were, for a run that gave no frame.
    capturefile::RecordCounts recordCounts() const
    {
        return {reader_.records(), dataPackets_, deviceInfoPackets_, configurationReported_};
    }
    std::uint64_t droppedFrames() const { return droppedFrames_; } // grew past FrameCutter::kMaxBlocks
    // Lost, duplicated and out-of-order data packets of the records read forward in this run.
    const StreamHealth& streamHealth() const { return lossDetector_.health(); }

private:
    Event handlePayload(Direction direction);
    Event addDataPacket(const std::uint8_t* payload, Direction direction, int firstBlock = 0);
    Event decodePacket(const std::uint8_t* payload, const PacketOrigin& origin, Direction direction, int firstBlock);
    PacketOrigin recordOrigin() const; // of the record in hand
    void readEarlyPackets(qint64 from, qint64 to);
    Event handleDeviceInfo(const std::uint8_t* payload);
    void completeFrame();
    void keepBlocks(const std::uint8_t* payload, const PacketOrigin& origin, int first, int last);
    void dropBlocks();
    void decodeBlocks(LidarData& into) const;
    void decodeFiringTimes(LidarData& into) const;
    Event countFrame(Direction direction);

    capturefile::CaptureReader reader_;
    capturefile::ScannerRecord record_{}; // a record read again (backward or by seeking)
    const std::uint8_t* recordBytes_ = nullptr; // the record in hand: in the reader's buffer or record_
    qint64 recordOffset_ = 0;                   // its offset
    std::vector<qint64> positions_; // offsets of the scanner records read forward
    // The blocks of the frame being collected, as they are in the data packets (so the
    // packet layout reads them as one long packet), and the runs they came in: blocks
    // [first, last) of one packet, its time stamp, and whether its odd blocks are second
    // echoes.
    std::vector<std::uint8_t> blocks_;
    std::vector<BlockRun> runs_;
    LidarData frame_;    // pendingFrame()
    FrameCutter cutter_; // where the frame ends
    bool heldFrame_ = false; // seek() completed the frame: the next call reports it
    LidarData completed_;
    FrameTime collecting_;    // of the frame being collected
    FrameTime completedTime_; // of completed_
    PacketLossDetector lossDetector_;   // the records read for the first time: the stream's health
    PacketLossDetector rereadDetector_; // places records read again; its counts are not kept
    bool rereading_ = false;            // the last data record went to rereadDetector_
    qint64 firstUnreadOffset_ = 0; // records before it were read in this run
    bool freshRecord_ = false;     // the record in hand is read for the first time
    PlayerConfiguration configuration_;
    DeviceCalibration calibration_;
    bool configurationReported_ = false;
    bool dualEcho_ = false; // the configuration reported says dual echo
    int frameCounter_ = 0;
    std::uint64_t dataPackets_ = 0;
    std::uint64_t deviceInfoPackets_ = 0;
    std::uint64_t droppedFrames_ = 0;
};

} // namespace hvk32
