// Fuzz target: arbitrary bytes as a capture file, indexed, then played from several of its
// frames through the index. The index and forward play must count the same frames, and a
// seek to frame n must go on with frame n, its lists of equal length.

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "fuzz/FuzzSeeds.h"
#include "records/ByteOrder.h"
#include "fuzz/SimulatorCapture.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdlib>

namespace {

using Direction = hvk32::CapturePlayerCore::Direction;
using Event = hvk32::CapturePlayerCore::Event;

void checkLists(const LidarData& f)
{
    for (std::size_t c = 0; c < f.distances.size(); ++c)
        if (f.azimuths[c].size() != f.distances[c].size() || f.timestamps[c].size() != f.distances[c].size()
            || f.blockAzimuths.size() != f.distances[c].size())
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    hvk32::CaptureFrameIndex index;
    if (!index.build(&buffer))
        return 0;
    hvk32::CapturePlayerCore player;
    if (!player.open(&buffer))
        std::abort(); // the index took it as a capture
    player.start();
    std::size_t steps = 0;
    const std::size_t bound = size / 16 + 2; // every step passes a record header at least
    while (player.next(Direction::Forward) != Event::End)
        if (++steps > bound)
            std::abort();
    if (player.frameCounter() != index.frameCount())
        std::abort();

    // The first, the last, and frames picked by the input's last bytes.
    const int frames = index.frameCount();
    if (frames == 0)
        return 0;
    int targets[5] = {1, frames, frames / 2 + 1, 1, 1};
    if (size >= 2) {
        targets[3] = 1 + data[size - 1] % frames;
        targets[4] = 1 + data[size - 2] % frames;
    }
    for (int n : targets) {
        if (!player.seek(index, n))
            std::abort(); // the index names a record that is not there
        // A few records on: the next frame is frame n.
        for (int k = 0; k < 64; ++k) {
            const Event e = player.next(Direction::Forward);
            if (e == Event::End)
                break;
            if (e == Event::Frame) {
                if (player.frameCounter() != n)
                    std::abort();
                checkLists(player.frame());
                break;
            }
        }
        checkLists(player.pendingFrame());
    }
    return 0;
}

// Seeds: simulator captures with a lost wrap packet, dual echo, a zeroed record header and
// a record with a byte inserted.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    std::vector<std::vector<std::uint8_t>> seeds;
    // 300 packets a turn at 1200 rpm; packet 300 holds the wrap.
    for (hvk32::sim::EchoMode echo : {hvk32::sim::EchoMode::Single, hvk32::sim::EchoMode::Dual})
        seeds.push_back(simulatorCapture(echo, 700, 300));
    std::vector<std::uint8_t> zeroed = seeds[0];
    const std::size_t record =
        hvk32::capturefile::kFileHeaderSize + 100 * hvk32::capturefile::kScannerRecordSize;
    hvk32::putLe32(zeroed.data() + record + hvk32::capturefile::kCapturedLengthOffset, 0);
    seeds.push_back(zeroed);
    std::vector<std::uint8_t> inserted = seeds[1];
    inserted.insert(inserted.begin() + static_cast<long>(record + 600), 0x5a);
    seeds.push_back(inserted);
    return seeds;
}
