#include "device/ResetPacket.h"

#include "acquisition/DeviceInfoPacket.h"
#include "device/ConfigPacket.h"
#include "device/UcwpPacket.h"

#include <algorithm>
#include <iterator>

namespace hvk32 {

std::array<std::uint8_t, configpacket::kPacketSize> factoryResetPacket(const QDateTime& localNow)
{
    using namespace devinfo;
    namespace factory = factoryreset;
    std::array<std::uint8_t, configpacket::kPacketSize> packet{}; // every byte not written below stays zero
    std::uint8_t* p = packet.data();
    std::copy(std::begin(configpacket::kUserHeader), std::end(configpacket::kUserHeader), p);
    configpacket::TwoBytesDecToHex(p + kMotorSpeed, factory::kMotorRpm);
    std::copy(std::begin(factory::kDeviceIp), std::end(factory::kDeviceIp), p + kDeviceIp);
    std::copy(std::begin(factory::kHostIp), std::end(factory::kHostIp), p + kDestinationIp);
    configpacket::TwoBytesDecToHex(p + kDataPort, factory::kDataPort);
    configpacket::TwoBytesDecToHex(p + kDevicePort, factory::kDevicePort);

    devinfo::writeClock(p + kClock, ucwp::deviceClockOf(localNow));

    std::copy(std::begin(configpacket::kTail), std::end(configpacket::kTail), p + configpacket::kTailOffset);
    return packet;
}

} // namespace hvk32
