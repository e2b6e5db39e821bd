#include "device/SettingsFile.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/DeviceInfoPacket.h"
#include "platform/PacketCapture.h"
#include "platform/UserText.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <chrono>

namespace hvk32 {

namespace {

constexpr int kLongestWaitMs = 100; // how often the overall time limit is looked at

// A whole scanner frame whose payload starts with the device-info header.
bool isDeviceInfoFrame(const platform::CapturedPacket& frame)
{
    return frame.capturedLength == capturefile::kScannerFrameLength
        && devinfo::isDeviceInfoPacket(frame.data + capturefile::kUdpFrameOverhead, capturefile::kScannerPayloadSize);
}

} // namespace

QByteArray settingsFileText(const std::uint8_t* deviceInfoPacket)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray text(kSettingsFileLength, ' ');
    for (std::size_t i = 0; i < devinfo::kPacketSize; ++i) {
        text[int(3 * i)] = digits[deviceInfoPacket[i] >> 4];
        text[int(3 * i + 1)] = digits[deviceInfoPacket[i] & 0x0F];
    }
    return text;
}

bool writeSettingsFile(const QString& path, const std::uint8_t* deviceInfoPacket, QString* error)
{
    const QByteArray text = settingsFileText(deviceInfoPacket);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush()) {
        file.close();
        return true;
    }
    if (error)
        *error = QCoreApplication::translate("SettingsFile", "Cannot write the settings file %1: %2").arg(path, file.errorString());
    return false;
}

bool captureDeviceInfoPacket(const SettingsCapture& settings, std::array<std::uint8_t, devinfo::kPacketSize>& packet,
                             std::string* error, std::string* adapter)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(settings.timeoutMs, 0));

    if (adapter)
        adapter->clear();
    std::string device;
    if (!platform::chooseCaptureDevice(settings.device, &device, &message, nullptr, settings.deviceAddress))
        return false;
    platform::LiveCapture capture;
    // Each wait is short, so the time limit holds on a quiet adapter as on a busy one.
    if (!capture.open(device, std::clamp(settings.timeoutMs, 1, kLongestWaitMs), &message))
        return false;
    if (adapter)
        *adapter = device;
    // The frame test counts on a 14-byte Ethernet header before IPv4 and UDP.
    if (capture.linkType() != platform::LiveCapture::kEthernetLinkType) {
        message = platform::userText("SettingsFile",
                                     QT_TRANSLATE_NOOP("SettingsFile", "The adapter \"%1\" does not deliver Ethernet frames (link type %2)."),
                                     device, capture.linkTypeName());
        return false;
    }
    if (!settings.filter.empty() && !capture.setFilter(settings.filter, &message))
        return false;

    int packets = 0;
    while (packets < settings.maxPackets) {
        platform::CapturedPacket frame;
        const platform::CaptureStatus status = capture.next(&frame, &message);
        if (status == platform::CaptureStatus::Failed)
            return false;
        if (status == platform::CaptureStatus::Packet) {
            ++packets;
            if (isDeviceInfoFrame(frame)) {
                const std::uint8_t* payload = frame.data + capturefile::kUdpFrameOverhead;
                std::copy(payload, payload + packet.size(), packet.begin());
                return true;
            }
        }
        if (Clock::now() >= deadline)
            break;
    }
    if (packets >= settings.maxPackets)
        message = platform::userText(
            "SettingsFile", QT_TRANSLATE_NOOP("SettingsFile", "No device-info packet among the first %1 packets on the adapter \"%2\"."),
            std::to_string(packets), device);
    else
        message = platform::userText(
            "SettingsFile", QT_TRANSLATE_NOOP("SettingsFile", "No device-info packet arrived on the adapter \"%1\" within %2 ms (%3 other packets)."),
            device, std::to_string(settings.timeoutMs), std::to_string(packets));
    return false;
}

} // namespace hvk32
