#pragma once
// Capture files written by the simulator, as fuzz seeds: one device-info packet, then data
// packets of a 1200 rpm stream, one of them optionally left out as if lost.

#include "acquisition/DataPacket.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> simulatorCapture(hvk32::sim::EchoMode echo, int dataPackets, int lostPacket = -1)
{
    hvk32::sim::ScannerSettings settings;
    settings.echo = echo;
    settings.rpm = 1200;
    hvk32::sim::ScannerStream stream(settings);
    std::ostringstream out;
    hvk32::sim::CaptureFileWriter writer(out);
    std::vector<std::uint8_t> packet(hvk32::datapacket::kPacketSize);
    stream.deviceInfoPacket(0, packet.data());
    writer.writeUdpRecord(0, "127.0.0.2", 2368, "127.0.0.1", 2369, packet.data(), packet.size());
    for (int k = 0; k < dataPackets; ++k) {
        const auto due = stream.nextDataPacket(packet.data());
        if (k != lostPacket)
            writer.writeUdpRecord(due, "127.0.0.2", 2368, "127.0.0.1", 2368, packet.data(), packet.size());
    }
    const std::string bytes = out.str();
    return {bytes.begin(), bytes.end()};
}
