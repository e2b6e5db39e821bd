// Fuzz target: arbitrary datagrams as configuration packets for the simulator, which reads
// them from the network. A refused datagram must leave the device-info packet unchanged.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/ConfigPacket.h"
#include "fuzz/FuzzSeeds.h"
#include "sim/ScannerStream.h"

#include <cstdlib>
#include <cstring>

namespace {

using hvk32::devinfo::kPacketSize;

hvk32::sim::ScannerSettings fixedSettings()
{
    hvk32::sim::ScannerSettings s;
    s.clockStart = hvk32::sim::ClockTime{2026, 12, 8, 12, 0, 0};
    return s;
}

// Building a stream casts a whole revolution of rays; each input starts from a copy of
// one built stream instead.
const hvk32::sim::ScannerStream& builtStream()
{
    static const hvk32::sim::ScannerStream stream(fixedSettings());
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    hvk32::sim::ScannerStream stream = builtStream();
    std::uint8_t before[kPacketSize];
    std::uint8_t after[kPacketSize];
    stream.deviceInfoPacket(0, before);
    const auto result = stream.applyConfiguration(data, size);
    stream.deviceInfoPacket(0, after);
    if (!result.accepted() && std::memcmp(before, after, sizeof before) != 0)
        std::abort();
    std::uint8_t packet[hvk32::datapacket::kPacketSize];
    stream.nextDataPacket(packet); // the stream still works
    return 0;
}

// Seeds: the device's own device-info packet turned into each kind of configuration packet.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    const hvk32::sim::ScannerStream& stream = builtStream();
    std::vector<std::uint8_t> info(kPacketSize);
    stream.deviceInfoPacket(0, info.data());
    using namespace hvk32::configpacket;
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::uint8_t> p = info;
        std::memcpy(p.data(), kind == 1 ? kAdvancedHeader : kUserHeader, kHeaderSize);
        if (kind == 0)
            std::memset(p.data() + kMarkerOffset, 0, kMarkerSize);
        else
            std::memcpy(p.data() + kMarkerOffset, kMarker, kMarkerSize);
        std::memcpy(p.data() + kTailOffset, kTail, sizeof kTail);
        seeds.push_back(p);
    }
    return seeds;
}
