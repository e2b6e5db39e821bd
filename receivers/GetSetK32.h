#pragma once
// The device-info receiver: receives device-info packets on the telemetry port, publishes
// the device's angle values and hands the decoded record, the status list and the raw
// packet to the window and the configuration dialogs.

#include "acquisition/DeviceInfoPacket.h"
#include "receivers/UdpReceiverThread.h"
#include "records/SettingData.h"

#include "records/ByteTypes.h"

#include <array>
#include <atomic>
#include <vector>

class GetSetK32 : public hvk32::UdpReceiverThread {
    Q_OBJECT
public:
    explicit GetSetK32(QObject* parent = nullptr);
    ~GetSetK32() override;

    std::uint64_t packetsDecoded() const { return packetsDecoded_; }

signals:
    // `data` and the raw packet point into this object's storage: receivers copy what they
    // need when the call arrives.
    void SendLidarStatusToSettingUI(SettingData* data, std::vector<int> Mac);
    void SendDataDifo(const u_char* data);

protected:
    bool handleDatagram(const std::uint8_t* datagram, std::size_t length) override;

private:
    // The signals queue pointers, so a packet's storage must outlive the delivery of its
    // signals. Successive packets rotate through this many slots instead of overwriting
    // one record that a receiver may be reading.
    static constexpr std::size_t kSlots = 32;
    struct Slot {
        SettingData record{};
        std::array<u_char, hvk32::devinfo::kPacketSize> raw{};
    };
    std::array<Slot, kSlots> slots_{};
    std::size_t next_ = 0;
    std::atomic<std::uint64_t> packetsDecoded_{0};
};
