#pragma once
// The scanner's true pose as TUM lines ("t x y z qx qy qz qw"), one every 5 ms of stream time
// from the start, t in the capture's record-time base: seconds since 1970 of the device clock,
// as the capture file's record times. Plain, writes to a stream it is given.

#include "sim/ScannerStream.h"

#include <cstdint>
#include <ostream>

namespace hvk32::sim {

class GroundTruthWriter {
public:
    static constexpr std::uint64_t kIntervalMicros = 5000; // 200 poses a second

    GroundTruthWriter(std::ostream& out, const ScannerStream& stream) : out_(out), stream_(stream) {}

    // Writes the poses due before stream time `micros` that are not written yet.
    void writeBefore(std::uint64_t micros);
    std::uint64_t lines() const { return next_ / kIntervalMicros; }

private:
    std::ostream& out_;
    const ScannerStream& stream_;
    std::uint64_t next_ = 0; // stream time of the next pose [us]
};

} // namespace hvk32::sim
