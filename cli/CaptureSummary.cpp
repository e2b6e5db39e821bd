#include "cli/CaptureSummary.h"

#include "acquisition/CaptureFrameIndex.h"

#include <cmath>

namespace hvk32 {

namespace {

// Three decimals are all a rate or a percentage needs.
double rounded(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

} // namespace

// One key per line of this list, so keys are easy to add.
QJsonObject captureSummary(const CaptureFrameIndex& index)
{
    const CaptureFrameIndex::Summary& s = index.summary();
    const StreamHealth& h = s.health;
    const QJsonValue first = s.hasRecords ? QJsonValue(s.firstTime) : QJsonValue();
    const QJsonValue last = s.hasRecords ? QJsonValue(s.lastTime) : QJsonValue();
    return {
        {"frames", index.frameCount()},
        {"dataPackets", double(s.dataPackets)},
        {"deviceInfoPackets", double(s.deviceInfoPackets)},
        {"otherRecords", double(s.otherRecords)},
        {"droppedFrames", double(s.droppedFrames)},
        {"firstTimestamp", first},
        {"lastTimestamp", last},
        {"durationSeconds", s.duration},
        {"truncatedRecords", double(s.damage.truncatedRecords)},
        {"badLengthRecords", double(s.damage.badLengths)},
        {"damagedPlaces", double(s.damage.damagedPlaces)},
        {"damagedBytesSkipped", double(s.damage.skippedBytes)},
        {"timeStepsBack", double(s.timeStepsBack)},
        {"largestTimeStepBackSeconds", rounded(s.largestStepBack)},
        {"lostPackets", double(h.lostPackets)},
        {"lostPercent", rounded(h.lostPercent())},
        {"duplicatePackets", double(h.duplicatePackets)},
        {"outOfOrderPackets", double(h.outOfOrderPackets)},
        {"latePackets", double(h.latePackets)},
        {"shortFrames", double(h.shortFrames)},
        {"revolutionsPerSecond", rounded(h.revolutionsPerSecond)},
    };
}

} // namespace hvk32
