#pragma once
// How the configuration dialogs show the device's state from a device-info record and its
// status values: temperatures, voltages, the PPS state, the speed item a measured speed
// stands for, the clock, byte texts and version texts. Plain functions, no widgets.

#include "records/SettingData.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hvk32::statustext {

// Motor speed for each item of the speed boxes, in index order.
constexpr int kMotorSpeedRpm[] = {300, 600, 1200};
// How far from an item's speed a measured speed may be and still select it: the network
// dialog shows a coarse reading, the advanced dialog a close one.
constexpr int kNetworkSpeedTolerance = 100;
constexpr int kAdvancedSpeedTolerance = 50;
// Measured speeds below this read as stopped (0).
constexpr int kStoppedBelowRpm = 50;

// The speed-box item whose speed lies strictly within `tolerance` rpm of `rpm`, or -1.
int motorSpeedItemOf(int rpm, int tolerance);
// The measured speed as shown: 0 below kStoppedBelowRpm.
int shownMotorSpeed(int rpm);

QString apdTemperatureText(int raw);    // degrees C with two decimals
int boardTwoSigned(int raw);            // board-2 values: above 32767 reads as raw - 65535
QString highVoltageText(int value);     // board-2 high voltage from the signed raw value
QString hundredthsText(int hundredths); // "1.5", "-1", "200"

// PPS state word: bit 15 set means PPS disabled; the rest carries the error angle.
struct PpsState {
    bool disabled;
    int errorAngle;
};
PpsState decodePpsState(int word);

// One character per byte, NUL padding left out.
QString paddedText(const std::uint8_t* bytes, std::size_t count);
// The latitude and longitude texts of a record, each with its separately sent last character.
QString latitudeText(const SettingData& record);
QString longitudeText(const SettingData& record);
// "2026/12/8 21:5:9": the device clock without padding.
QString clockText(const std::uint8_t* clock);
// "00-1a-2b-3c-4d-5e" from the status values.
QString macText(const std::vector<int>& status);

QString boardVersionText(const std::vector<int>& status);       // "V2.10"
QString boardVersionDottedText(const std::vector<int>& status); // "V2.1.0"
QString firmwareVersionText(const std::vector<int>& status);    // "2026-11-16  V3.00"
// The About list: board and firmware versions, the text at 1164, then the five version pairs.
QStringList versionTexts(const std::vector<int>& status, const SettingData& record);

} // namespace hvk32::statustext
