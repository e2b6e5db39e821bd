#pragma once
// Where the player cuts the stream of block azimuths into frames; the player and the frame
// index both follow it, block by block.
//
// A frame has a reference azimuth, normally its first block's. It closes after a block when
// it holds more than 500 blocks and that block's azimuth is within 0.5 degrees of the
// reference. When packets are lost, the block that would close it may be among them, and
// the frame would run on into the next revolution. So the cutter also sums the turn since
// the reference, block to block (a step of half a turn or more counts as going back, so
// packets out of order do not count as a turn): a block that would take the frame more than
// a turn and 0.5 degrees past its reference closes the frame without it. That block starts
// the next frame, which keeps the reference and the turn from it, so the frames after a
// loss close at the same blocks as without it. A frame that grows past the longest
// revolution without closing (the azimuth stands still) is dropped.

#include "acquisition/PointDecoding.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace hvk32 {

class FrameCutter {
public:
    static constexpr std::size_t kMinBlocks = 500;   // a frame has more blocks than this
    static constexpr float kCloseAngle = 0.5f;       // [deg] last block to the reference
    static constexpr std::int32_t kTurn = 36000;     // [deg/100] one revolution
    static constexpr std::int32_t kCloseUnits = 50;  // [deg/100] kCloseAngle
    // The longest revolution the player sees is 7200 blocks (5 Hz, both echoes counted); a
    // frame far past that never closes, and is dropped so memory stays bounded.
    static constexpr std::size_t kMaxBlocks = 4 * 3600;

    enum class Cut {
        None,     // the block joins the frame
        After,    // the block joins the frame and closes it; the next block starts a new one
        Before,   // the frame closes without the block, which starts the next frame
        Overflow, // the frame (with the block) grew too long and is dropped
    };

    // The close test of the reference rule: a frame of more than kMinBlocks blocks closes
    // with a block this near its reference.
    static bool nearReference(float referenceAzimuth, float lastAzimuth)
    {
        return std::fabs(lastAzimuth - referenceAzimuth) <= kCloseAngle;
    }

    // The azimuths [first, last] (in hundredths, below a turn) near a reference by the rule
    // of nearReference(): one range, since the decoded angle grows with the raw value.
    // Finding it once per frame spares a division and a float comparison per block.
    struct Range {
        std::int32_t first, last;
    };
    static Range nearRange(std::uint16_t reference)
    {
        const float referenceAzimuth = decodeBlockAzimuth(reference);
        Range r{1, 0};
        const int to = std::min(kTurn - 1, int(reference) + 2 * kCloseUnits);
        for (int u = std::max(0, int(reference) - 2 * kCloseUnits); u <= to; ++u)
            if (nearReference(referenceAzimuth, decodeBlockAzimuth(std::uint16_t(u)))) {
                r.first = r.first > r.last ? u : r.first;
                r.last = u;
            }
        return r;
    }

    // Raw block azimuth in hundredths, as decodeBlockAzimuth reads it (a turn or more is 0).
    static std::uint16_t units(std::uint16_t raw) { return raw >= kTurn ? 0 : raw; }

    // Takes the next block's raw azimuth and says where the frame is cut.
    Cut add(std::uint16_t raw)
    {
        const std::uint16_t azimuth = units(raw);
        if (blocks_ == 0) {
            if (havePendingStart_)
                start(pendingReference_, pendingAdvance_, azimuth);
            else
                start(azimuth, 0, azimuth);
            return Cut::None;
        }
        std::int32_t step = (static_cast<std::int32_t>(azimuth) - last_ + kTurn) % kTurn;
        if (step >= kTurn / 2)
            step -= kTurn;
        last_ = azimuth;
        const std::int32_t turned = advance_ + step;
        if (std::abs(turned) > kTurn + kCloseUnits) {
            // The stream passed the reference without a block near it: this block belongs to
            // the next revolution.
            advance_ = turned > 0 ? turned - kTurn : turned + kTurn;
            blocks_ = 1;
            return Cut::Before;
        }
        advance_ = turned;
        ++blocks_;
        if (blocks_ > kMinBlocks && azimuth >= near_.first && azimuth <= near_.last) {
            restart();
            return Cut::After;
        }
        if (blocks_ > kMaxBlocks) {
            restart();
            return Cut::Overflow;
        }
        return Cut::None;
    }

    // The next block starts a new frame with itself as the reference.
    void restart()
    {
        blocks_ = 0;
        havePendingStart_ = false;
    }
    // The next block starts a frame with the given reference (raw hundredths) and turn from
    // it, as add() left them at that block: what seeking to a frame needs.
    void restart(std::uint16_t reference, std::int32_t advance)
    {
        blocks_ = 0;
        havePendingStart_ = true;
        pendingReference_ = units(reference);
        pendingAdvance_ = advance;
    }

    std::size_t blocks() const { return blocks_; }
    std::uint16_t reference() const { return reference_; }
    // [deg/100] the turn from the reference to the last block, going back negative.
    std::int32_t advance() const { return advance_; }

private:
    void start(std::uint16_t reference, std::int32_t advance, std::uint16_t azimuth)
    {
        reference_ = reference;
        near_ = nearRange(reference);
        advance_ = advance;
        last_ = azimuth;
        blocks_ = 1;
        havePendingStart_ = false;
    }

    std::size_t blocks_ = 0;
    std::uint16_t reference_ = 0;
    Range near_{1, 0}; // nearRange(reference_)
    std::int32_t advance_ = 0;
    std::int32_t last_ = 0;
    bool havePendingStart_ = false;
    std::uint16_t pendingReference_ = 0;
    std::int32_t pendingAdvance_ = 0;
};

} // namespace hvk32
