#include "device/CommandTransport.h"

#include "device/ConfigPacket.h"
#include "platform/UdpSocket.h"

namespace hvk32::device {

bool SendPacketDataToLidar(const std::uint8_t* packet, const char* ip_data, std::uint16_t portdata)
{
    if (!packet || !ip_data)
        return false;
    platform::UdpSocket socket; // closed when it goes out of scope
    if (!socket.open())
        return false;
    const long sent = socket.sendTo(packet, configpacket::kPacketSize, ip_data, portdata);
    return sent == static_cast<long>(configpacket::kPacketSize);
}

} // namespace hvk32::device
