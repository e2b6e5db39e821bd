#pragma once
// An index of the frames that forward play emits from a capture file, built in one walk
// that reads only record headers, block azimuths and device-info packets. For every frame
// it keeps where the frame starts (the data record and the block inside it), the azimuth it
// closes at, the calibration (vertical and offset angles) in force there and the start
// record's time, so the player can start at any frame and show exactly what forward play
// showed. It counts the stream's health on the way, as forward play does. Plain object: no
// thread; the caller may stop a
// build through the progress callback.

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "records/DeviceCalibration.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace hvk32 {

class CaptureFrameIndex {
public:
    static constexpr std::uint32_t kNoCalibration = 0xFFFFFFFF;

    // Where one frame starts. 32 bytes.
    struct Frame {
        qint64 recordOffset = 0;        // record header of the data record with the first block
        std::uint32_t seconds = 0;      // that record's time stamp
        std::uint32_t fraction = 0;     // micro- or nanoseconds, as the file says
        std::uint32_t calibration = kNoCalibration; // calibration in force: an entry of the calibration sets
        std::uint8_t block = 0;         // the frame's first block in that record
        std::uint16_t reference = 0;    // [deg/100] the azimuth the frame closes at (FrameCutter)
        std::int16_t advance = 0;       // [deg/100] the turn from it to the first block
        // Packets of the frame that came early, before its first record in the file, start
        // this many bytes before that record (0: none).
        std::uint32_t earlyBytes = 0;
    };

    // What the walk counted.
    struct Summary {
        std::uint64_t dataPackets = 0;
        std::uint64_t deviceInfoPackets = 0;
        std::uint64_t otherRecords = 0;  // records of other traffic, and scanner records of no known kind
        std::uint64_t droppedFrames = 0; // grew past the player's longest frame without closing
        bool hasRecords = false;
        double firstTime = 0; // [s] time stamp of the first whole record
        double lastTime = 0;  // [s] time stamp of the last whole record
        // [s] the time the records span: from the first to the last, except where the record
        // times step back (a clock set back while recording); each rising run counts alone.
        double duration = 0;
        std::uint64_t timeStepsBack = 0; // records timed before the record ahead of them
        double largestStepBack = 0;      // [s]
        capturefile::Damage damage;
        StreamHealth health; // of the data packets in file order, frames closed as the player closes them
        // The stream's silences of more than a second (the first PacketLossDetector::kGapsKept).
        struct Gap {
            double time = 0;           // [s] record time of the first packet after it
            double seconds = 0;        // its length by the device's time stamps
            std::uint64_t packets = 0; // data packets it would have held
        };
        std::vector<Gap> gaps;
    };

    // Told how far the walk is (bytes, of the file's length); returns false to stop it.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // Walks a capture file (or a readable device, not owned). False when it cannot be read as
    // a capture or the build was stopped; `message` says which. A damaged or truncated file
    // is indexed as far as the player would play it; summary().damage says what was skipped.
    bool build(const QString& path, QString* message = nullptr, const Progress& progress = {});
    bool build(QIODevice* device, QString* message = nullptr, const Progress& progress = {});

    // Makes the next builds end once `frames` frames are indexed (0: walk the whole file),
    // for a caller that only wants to start at a frame; the summary then covers that part.
    void stopAfterFrames(int frames) { frameLimit_ = frames; }
    // The same once a frame starts `seconds` or more after the first record (negative: walk
    // the whole file), for a caller that wants the frames of a time range.
    void stopAfterTime(double seconds) { timeLimit_ = seconds; }

    int frameCount() const { return static_cast<int>(frames_.size()); }
    // Frame n, numbered from 1 as the player counts (1 <= n <= frameCount()).
    const Frame& frame(int n) const { return frames_[static_cast<std::size_t>(n - 1)]; }
    // The last frame starting at or before a byte position of the file; 1 before the first
    // frame, 0 when there is no frame at all.
    int frameAtPosition(qint64 position) const;
    // The record time of frame n's start, in seconds.
    double frameTime(int n) const;
    // The calibration in force where frame n starts; none before the first device-info packet.
    std::optional<DeviceCalibration> calibrationAt(int n) const;

    // The configuration the player reports; every indexed frame comes after it.
    const PlayerConfiguration& configuration() const { return configuration_; }
    bool configurationReported() const { return configurationReported_; }
    // The device-info packet that reported it (all zero when none did): what the capture
    // says of its device, for the window's dialogs.
    const std::array<std::uint8_t, 1206>& configurationPacket() const { return configurationPacket_; }

    const Summary& summary() const { return summary_; }
    qint64 fileLength() const { return fileLength_; }
    // Heap bytes the index holds.
    std::size_t memoryBytes() const;

private:
    void clear();
    double seconds(std::uint32_t s, std::uint32_t fraction) const;

    std::vector<Frame> frames_;
    std::vector<DeviceCalibration> calibrationSets_; // each differs from the one before it
    PlayerConfiguration configuration_;
    bool configurationReported_ = false;
    std::array<std::uint8_t, 1206> configurationPacket_{};
    bool nanoseconds_ = false;
    qint64 fileLength_ = 0;
    int frameLimit_ = 0;
    double timeLimit_ = -1;
    Summary summary_;
};

} // namespace hvk32
