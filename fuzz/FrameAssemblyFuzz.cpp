// Fuzz target: arbitrary datagrams through the data packet gate and the frame assembler,
// in every configuration and echo selection. Every emitted frame must keep its four
// per-channel lists the same length.

#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "fuzz/FuzzSeeds.h"
#include "sim/ScannerStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    hvk32::FrameAssembler assembler;
    const std::uint8_t mode = data[0];
    assembler.setConfiguration(static_cast<hvk32::SensorConfig>(mode % 3));
    assembler.setEchoSelection((mode >> 2) % 4); // 3 is an unknown selection: emits nothing
    ++data;
    --size;

    const auto check = [](LidarData& f) {
        if (f.distances.size() != 32)
            std::abort();
        for (int c = 0; c < 32; ++c) {
            const auto n = f.distances[c].size();
            if (f.intensities[c].size() != n || f.azimuths[c].size() != n || f.timestamps[c].size() != n)
                std::abort();
        }
    };
    // The input is cut into datagrams of up to one packet (kPacketSize bytes); a chunk's first byte picks its length.
    std::vector<std::uint8_t> datagram(hvk32::datapacket::kPacketSize);
    while (size > 0) {
        const std::size_t length = std::min<std::size_t>(size, data[0] % 2 ? hvk32::datapacket::kPacketSize : 1 + data[0]);
        std::memcpy(datagram.data(), data, length);
        if (hvk32::datapacket::isDataPacket(datagram.data(), length))
            assembler.addPacket(datagram.data(), check);
        data += length;
        size -= length;
    }
    return 0;
}

// Seeds: the simulator's stream in every configuration and echo selection.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int mode = 0; mode < 12; ++mode) {
        hvk32::sim::ScannerSettings settings;
        settings.echo = mode % 3 == 2 ? hvk32::sim::EchoMode::Dual : hvk32::sim::EchoMode::Single;
        settings.rpm = 1200;
        hvk32::sim::ScannerStream stream(settings);
        std::vector<std::uint8_t> input{static_cast<std::uint8_t>(mode)};
        std::vector<std::uint8_t> packet(hvk32::datapacket::kPacketSize);
        for (int k = 0; k < 200; ++k) {
            stream.nextDataPacket(packet.data());
            input.insert(input.end(), packet.begin(), packet.end());
        }
        seeds.push_back(std::move(input));
    }
    return seeds;
}
