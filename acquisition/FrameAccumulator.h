#pragma once
// One stream of blocks on its way to becoming a frame: the five lists of LidarData plus
// the points carried over into the next revolution.
//
// Horizontal angles lag one block behind the other lists: a block's angles need the step
// to the next block, so they are appended when that block arrives, and for the last block
// when the frame is closed.

#include "acquisition/PointDecoding.h"
#include "records/LidarData.h"

#include <cstddef>
#include <cstdint>

namespace hvk32 {

class FrameAccumulator {
public:
    // Points whose angle is below this, among a channel's last kCarryWindow points at the
    // wrap, belong to the next revolution.
    static constexpr float kCarryAzimuthLimit = 5.0f; // [deg]
    static constexpr std::size_t kCarryWindow = 10;

    FrameAccumulator();

    // Empties every list, carried points included.
    void clear();

    // `echo` marks its points: 0 single or first echo, 1 second echo.
    void addBlock(const DecodedBlock& block, std::uint8_t echo = 0);

    // The azimuth wrapped past 0 between the last two blocks.
    bool frameComplete() const;

    // Completes the last block's angles, then moves the start of the next revolution out
    // of the frame into the carry lists (the frame keeps zeroed placeholders).
    void close();

    // Empties the frame and puts the carried points back at the front of each channel.
    void startNextFrame();

    const LidarData& frame() const { return frame_; }
    LidarData& frame() { return frame_; }
    std::size_t blockCount() const { return frame_.blockAzimuths.size(); }

private:
    void completeAzimuths();
    void carryOver();

    LidarData frame_;
    LidarData carried_; // per-channel lists only
    std::size_t closedBlocks_ = 0; // blocks in the last closed frame
};

} // namespace hvk32
