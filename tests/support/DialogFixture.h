#pragma once
// A configuration dialog as its suites drive it: built with prompts and pauses the test
// records and answers, sending to a command port stub of the test on loopback; and the
// substitute scanner's device-info packets to feed it with.

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "records/ByteTypes.h"
#include "records/SettingData.h"
#include "sim/ScannerStream.h"
#include "support/CommandPortStub.h"
#include "support/RecordingPauses.h"
#include "support/RecordingPrompts.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace hvk32::test {

using DevicePacket = std::array<std::uint8_t, devinfo::kPacketSize>;

// The device-info packet the substitute scanner sends at `micros` with these settings.
inline DevicePacket simulatorDevicePacket(const sim::ScannerSettings& settings, std::uint64_t micros = 0)
{
    DevicePacket p{};
    sim::ScannerStream(settings).deviceInfoPacket(micros, p.data());
    return p;
}

// What the device-info receiver hands a dialog for one packet: the decoded record and status
// list to one slot, then the raw packet to the other (each dialog names its slots its own way).
template <typename Dialog>
void feedDialog(Dialog& dialog, const DevicePacket& packet, void (Dialog::*statusSlot)(SettingData*, std::vector<int>),
                void (Dialog::*packetSlot)(const u_char*))
{
    SettingData record = decodeSettingData(packet.data());
    (dialog.*statusSlot)(&record, decodeStatusValues(packet.data()));
    (dialog.*packetSlot)(packet.data());
}

template <typename Dialog>
class DialogFixture {
protected:
    RecordingPrompts prompts;
    RecordingPauses pauses;
    CommandPortStub device; // stands in for the scanner's command port
    std::unique_ptr<Dialog> dialog;

    // Opens the stub at `address`, forgets the prompts, answers and pauses of earlier tests
    // and builds a fresh dialog; false when the stub cannot be opened.
    bool makeDialog(const char* address)
    {
        if (!device.open(address))
            return false;
        prompts.shown.clear();
        prompts.answers.clear();
        prompts.fileNames.clear();
        pauses.made.clear();
        pauses.during = nullptr;
        dialog = std::make_unique<Dialog>(&prompts, &pauses);
        return true;
    }

    void closeDialog()
    {
        dialog.reset();
        device.close();
    }
};

} // namespace hvk32::test
