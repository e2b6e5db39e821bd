#include "acquisition/CaptureSummary.h"

#include "acquisition/CaptureFrameIndex.h"

#include <QJsonArray>

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
    // Each silence of more than a second: when the stream came back (record time, and seconds
    // after the first record), how long it was and the data packets it would have held.
    QJsonArray gaps;
    for (const CaptureFrameIndex::Summary::Gap& g : s.gaps)
        gaps.append(QJsonObject{{"time", g.time},
                                {"sinceStart", rounded(g.time - s.firstTime)},
                                {"seconds", rounded(g.seconds)},
                                {"packets", double(g.packets)}});
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
        {"gaps", double(h.gaps)},
        {"gapSeconds", rounded(h.gapSeconds())},
        {"gapPackets", double(h.gapPackets)},
        {"gapList", gaps},
    };
}

} // namespace hvk32
