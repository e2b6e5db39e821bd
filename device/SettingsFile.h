#pragma once
// The settings file: one device-info packet as text, each of its 1206 bytes as two
// lower-case hex digits and a space (3618 characters, no line breaks); and the capture of
// one device-info packet from a network adapter to fill it.

#include "acquisition/DeviceInfoPacket.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

namespace hvk32 {

constexpr int kSettingsFileLength = 3618;
constexpr int kSettingsCaptureMaxPackets = 3000;

QByteArray settingsFileText(const std::uint8_t* deviceInfoPacket);

// Writes the text to `path`; false with `error` set when the file cannot be written.
bool writeSettingsFile(const QString& path, const std::uint8_t* deviceInfoPacket, QString* error);

struct SettingsCapture {
    // empty: the adapter that carries datagrams from deviceAddress, else the adapter rule
    // (or HVK32_CAPTURE_DEVICE)
    std::string device;
    int timeoutMs = 3000; // the whole capture ends after this long, packet or not
    int maxPackets = kSettingsCaptureMaxPackets;
    std::string filter;   // a capture filter expression; empty: every packet is read and counted
    std::array<std::uint8_t, 4> deviceAddress{}; // the device's, where known; all zero: not known
};

// Reads packets from the adapter until the first 1248-byte frame whose payload starts
// A5 FF 00 5A (at most maxPackets packets, at most timeoutMs); copies its payload into
// `packet`. False when none came, the adapter could not be opened or there is none;
// `error` then says why. `adapter` (when given) names the adapter once it was opened, and
// stays empty when none could be.
bool captureDeviceInfoPacket(const SettingsCapture& settings, std::array<std::uint8_t, devinfo::kPacketSize>& packet,
                             std::string* error, std::string* adapter = nullptr);

} // namespace hvk32
