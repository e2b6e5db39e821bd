// Fuzz target: arbitrary datagrams as configuration packets for the simulator, which reads
// them from the network. A refused datagram must leave the device-info packet unchanged.

#include "fuzz/FuzzSeeds.h"
#include "sim/ScannerStream.h"

#include <cstdlib>
#include <cstring>

namespace {

hvk32::sim::ScannerSettings fixedSettings()
{
    hvk32::sim::ScannerSettings s;
    s.clockStart = hvk32::sim::ClockTime{2026, 12, 8, 12, 0, 0};
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    hvk32::sim::ScannerStream stream(fixedSettings());
    std::uint8_t before[1206];
    std::uint8_t after[1206];
    stream.deviceInfoPacket(0, before);
    const auto result = stream.applyConfiguration(data, size);
    stream.deviceInfoPacket(0, after);
    if (!result.accepted() && std::memcmp(before, after, sizeof before) != 0)
        std::abort();
    std::uint8_t packet[1206];
    stream.nextDataPacket(packet); // the stream still works
    return 0;
}

// Seeds: the device's own device-info packet turned into each kind of configuration packet.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    hvk32::sim::ScannerStream stream(fixedSettings());
    std::vector<std::uint8_t> info(1206);
    stream.deviceInfoPacket(0, info.data());
    const std::uint8_t user[8] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
    const std::uint8_t advanced[8] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xBB, 0xBB};
    const std::uint8_t marker[8] = {0x55, 0xAA, 0xAA, 0x55, 0x33, 0x33, 0x11, 0x11};
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::uint8_t> p = info;
        std::memcpy(p.data(), kind == 1 ? advanced : user, 8);
        if (kind == 0)
            std::memset(p.data() + 160, 0, 8);
        else
            std::memcpy(p.data() + 160, marker, 8);
        p[1204] = 0x0F;
        p[1205] = 0xF0;
        seeds.push_back(p);
    }
    return seeds;
}
