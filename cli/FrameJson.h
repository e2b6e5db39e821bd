#pragma once
// Text forms of a frame for the command line: one JSON object per line whose keys are the
// LidarData member names, and a one-line summary.

#include "records/LidarData.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace hvk32 {

// Floats are written with 9 significant digits, so they read back to the same float.
// lostPackets: the data packets found missing since the previous frame.
// A frame that follows gaps in the stream also carries gapPackets and gapSeconds.
void writeFrameJson(std::ostream& out, const LidarData& frame, std::uint64_t lostPackets, std::uint64_t gapPackets = 0,
                    double gapSeconds = 0);

// "blocks 1800, points per channel 1800" or, when channels differ, the 32 counts.
std::string frameSummary(const LidarData& frame);

} // namespace hvk32
