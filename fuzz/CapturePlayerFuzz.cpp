// Fuzz target: arbitrary bytes as a capture file, walked forward to the end and then
// backward to the start. The walk must end and every frame keep equal-length lists.

#include "acquisition/CapturePlayerCore.h"
#include "fuzz/FuzzSeeds.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdlib>
#include <sstream>

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
    std::vector<std::vector<std::uint8_t>> seeds;
    for (hvk32::sim::EchoMode echo : {hvk32::sim::EchoMode::Single, hvk32::sim::EchoMode::Dual}) {
        hvk32::sim::ScannerSettings settings;
        settings.echo = echo;
        settings.rpm = 1200;
        hvk32::sim::ScannerStream stream(settings);
        std::ostringstream out;
        hvk32::sim::CaptureFileWriter writer(out);
        std::vector<std::uint8_t> packet(1206);
        stream.deviceInfoPacket(0, packet.data());
        writer.writeUdpRecord(0, "127.0.0.2", 2368, "127.0.0.1", 2369, packet.data(), packet.size());
        for (int k = 0; k < 200; ++k) {
            const auto due = stream.nextDataPacket(packet.data());
            writer.writeUdpRecord(due, "127.0.0.2", 2368, "127.0.0.1", 2368, packet.data(), packet.size());
        }
        const std::string bytes = out.str();
        seeds.emplace_back(bytes.begin(), bytes.end());
    }
    return seeds;
}
