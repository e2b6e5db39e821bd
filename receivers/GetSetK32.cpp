#include "receivers/GetSetK32.h"

#include "acquisition/DeviceInfoDecoding.h"

#include <cstring>

GetSetK32::GetSetK32(QObject* parent) : UdpReceiverThread(parent) {}

GetSetK32::~GetSetK32()
{
    stopAndWait();
}

bool GetSetK32::handleDatagram(const std::uint8_t* datagram, std::size_t length)
{
    if (!hvk32::devinfo::isDeviceInfoPacket(datagram, length))
        return false;
    Slot& slot = slots_[next_];
    next_ = (next_ + 1) % kSlots;
    std::memcpy(slot.raw.data(), datagram, slot.raw.size());
    const std::vector<int> statusValues = hvk32::decodeStatusValues(datagram);
    hvk32::publishOffsetAngles(datagram);
    hvk32::publishVerticalAngles(datagram);
    slot.record = hvk32::decodeSettingData(datagram);
    ++packetsDecoded_;
    emit SendLidarStatusToSettingUI(&slot.record, statusValues);
    emit SendDataDifo(slot.raw.data());
    return true;
}
