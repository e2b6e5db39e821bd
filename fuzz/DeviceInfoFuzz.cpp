// Fuzz target: arbitrary datagrams as device-info packets, through what the receivers and
// dialogs make of them: the status values, the decoded record, the angle tables, and the
// texts the dialogs show. A packet the gate lets through must decode into 33 status values.

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/DeviceStatusText.h"
#include "device/VerticalAnglePacket.h"
#include "fuzz/FuzzSeeds.h"
#include "sim/ScannerStream.h"

#include <cmath>
#include <cstdlib>

using namespace hvk32;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!devinfo::isDeviceInfoPacket(data, size))
        return 0;
    const std::vector<int> status = decodeStatusValues(data);
    if (status.size() != static_cast<std::size_t>(StatusValueCount))
        std::abort();
    const SettingData record = decodeSettingData(data);
    for (float a : decodeOffsetAngles(data))
        if (!std::isfinite(a))
            std::abort();
    for (float a : decodeVerticalAngles(data))
        if (!std::isfinite(a))
            std::abort();
    (void)vertical::readBack(record.verticalAngles);
    (void)echoConfigurationOf(status[StatusEchoMode]);
    (void)degreeModeOf(status[StatusAngleModeCode]);
    if (isUsableDevice(status))
        (void)firmwareSupportsDisplay(status);

    using namespace statustext;
    (void)apdTemperatureText(status[StatusApdTemperature]);
    (void)highVoltageText(boardTwoSigned(status[StatusHighVoltage]));
    (void)decodePpsState(status[StatusPpsState]);
    (void)motorSpeedItemOf(record.motorSpeed, kNetworkSpeedTolerance);
    (void)clockText(record.dateTime);
    (void)latitudeText(record);
    (void)longitudeText(record);
    (void)macText(status);
    (void)boardVersionText(status);
    if (versionTexts(status, record).size() != 8)
        std::abort();
    return 0;
}

// Seeds: the substitute scanner's device-info packets in both layouts and echo modes.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int variant = 0; variant < 2; ++variant) {
        sim::ScannerSettings s;
        s.clockStart = sim::ClockTime{2026, 12, 8, 12, 0, 0};
        s.echo = variant ? sim::EchoMode::Dual : sim::EchoMode::Single;
        s.layout = variant ? sim::Layout::ThirdDegree : sim::Layout::OneDegree;
        const sim::ScannerStream stream(s);
        std::vector<std::uint8_t> packet(devinfo::kPacketSize);
        stream.deviceInfoPacket(0, packet.data());
        seeds.push_back(packet);
    }
    return seeds;
}
