#include "device/ResetPacket.h"

#include "acquisition/DeviceInfoPacket.h"
#include "device/ConfigPacket.h"
#include "device/UcwpPacket.h"

#include <algorithm>
#include <iterator>

namespace hvk32 {

namespace {

constexpr long kFactoryMotorRpm = 300;
constexpr std::uint8_t kFactoryDeviceIp[4] = {192, 168, 1, 200};
constexpr std::uint8_t kFactoryHostIp[4] = {192, 168, 1, 102};
constexpr long kFactoryDataPort = 2368;
constexpr long kFactoryDevicePort = 2369;

} // namespace

std::array<std::uint8_t, configpacket::kPacketSize> factoryResetPacket(const QDateTime& localNow)
{
    using namespace devinfo;
    std::array<std::uint8_t, configpacket::kPacketSize> packet{}; // every byte not written below stays zero
    std::uint8_t* p = packet.data();
    std::copy(std::begin(configpacket::kUserHeader), std::end(configpacket::kUserHeader), p);
    configpacket::TwoBytesDecToHex(p + kMotorSpeed, kFactoryMotorRpm);
    std::copy(std::begin(kFactoryDeviceIp), std::end(kFactoryDeviceIp), p + kDeviceIp);
    std::copy(std::begin(kFactoryHostIp), std::end(kFactoryHostIp), p + kDestinationIp);
    configpacket::TwoBytesDecToHex(p + kDataPort, kFactoryDataPort);
    configpacket::TwoBytesDecToHex(p + kDevicePort, kFactoryDevicePort);

    devinfo::writeClock(p + kClock, ucwp::deviceClockOf(localNow));

    std::copy(std::begin(configpacket::kTail), std::end(configpacket::kTail), p + configpacket::kTailOffset);
    return packet;
}

} // namespace hvk32
