#include "sim/GroundTruth.h"

#include "sim/Trajectory.h"

namespace hvk32::sim {

void GroundTruthWriter::writeBefore(std::uint64_t micros)
{
    for (; next_ < micros; next_ += kIntervalMicros)
        out_ << tumLine(stream_.clockEpochMicros(next_),
                        stream_.poseAt(static_cast<double>(next_) / static_cast<double>(kMicrosPerSecond)));
}

} // namespace hvk32::sim
