// Fuzz target: arbitrary bytes as a capture file, walked forward to the end and then
// backward to the start. The walk must end and every frame keep equal-length lists.

#include "acquisition/CapturePlayerCore.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/SimulatorCapture.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    hvk32::CapturePlayerCore player;
    if (!player.open(&buffer))
        return 0;
    using Direction = hvk32::CapturePlayerCore::Direction;
    using Event = hvk32::CapturePlayerCore::Event;
    player.start();
    // Forward through part of the file, then backward to the start. Every step moves over
    // at least one record header, so the file's size bounds the walk.
    const std::size_t bound = 2 * (size / 16 + 2);
    const std::size_t forwardSteps = size / 64 + 1;
    for (std::size_t steps = 0;; ++steps) {
        if (steps > bound)
            std::abort(); // the walk did not end
        const Direction direction = steps < forwardSteps ? Direction::Forward : Direction::Backward;
        const Event event = player.next(direction);
        if (event == Event::End)
            break;
        if (event != Event::Frame)
            continue;
        const LidarData& f = player.frame();
        for (std::size_t c = 0; c < f.distances.size(); ++c)
            if (f.azimuths[c].size() != f.distances[c].size() || f.timestamps[c].size() != f.distances[c].size())
                std::abort();
    }
    return 0;
}

// Seeds: short simulator captures with device-info packets among the data packets.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    return {simulatorCapture(hvk32::sim::EchoMode::Single, 200), simulatorCapture(hvk32::sim::EchoMode::Dual, 200)};
}
