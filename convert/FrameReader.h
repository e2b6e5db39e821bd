#pragma once
// The frames of a capture as the exports play them, from any frame on: the player goes to a
// frame through the capture's index and plays forward from there, and each frame comes with
// the snapshot it converts with and the data packets lost since the frame before it. The
// Python module reads captures through this, so its frames are the command line's.

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/LostSinceLastFrame.h"
#include "convert/ConversionSnapshot.h"

#include <QString>

#include <cstdint>

namespace hvk32 {

class CaptureFrameIndex;

// The snapshot a frame the player has just emitted converts with: the degree mode its capture
// reports, the distance unit known (the capture has reported its configuration for every frame
// the player emits) and the capture's own angles in force at the frame.
ConversionSnapshot playedFrameSnapshot(const CapturePlayerCore& player);
// Whether the capture's device reports dual echo.
bool playedFrameDualEcho(const CapturePlayerCore& player);


class FrameReader {
public:
    // `index` is of the whole capture at `path` and outlives this object.
    FrameReader(const QString& path, const CaptureFrameIndex& index) : path_(path), index_(index) {}

    // Makes frame n (1 .. index.frameCount()) the next one read. The frame before it is
    // played too, so that the packets lost between the two count as frame n's, as in a
    // whole run. False, with `message` saying why, when the frame cannot be reached.
    bool startAt(int n, QString* message);
    // Plays forward to the next frame; false at the end of the capture.
    bool next();
    // The number of the frame the next call of next() reads.
    int nextNumber() const { return number_ + 1; }

    const LidarData& frame() const { return player_.frame(); }
    int number() const { return number_; } // the last frame read, from 1
    std::uint64_t lostPackets() const { return lostPackets_; }
    ConversionSnapshot snapshot() const;
    bool dualEcho() const;

private:
    bool open(QString* message);

    QString path_;
    const CaptureFrameIndex& index_;
    CapturePlayerCore player_;
    LostSinceLastFrame lost_;
    int number_ = 0;
    std::uint64_t lostPackets_ = 0;
    bool started_ = false;
};

} // namespace hvk32
