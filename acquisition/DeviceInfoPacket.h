#pragma once
// The scanner's 1206-byte device-info packet. Big-endian; IPv4 addresses are four bytes in
// dotted order. The configuration packets sent back to the device start from a copy of
// this packet, so its offsets are shared with them.

#include "records/ByteOrder.h"

#include <cstddef>
#include <cstdint>

namespace hvk32::devinfo {

constexpr std::size_t kPacketSize = 1206;
constexpr std::uint8_t kHeader[4] = {0xA5, 0xFF, 0x00, 0x5A};

constexpr std::size_t kHeaderOffset = 0;
constexpr std::size_t kMotorSpeed = 8;          // BE16, rpm
constexpr std::size_t kDeviceIp = 10;           // 4 bytes
constexpr std::size_t kDestinationIp = 14;      // 4 bytes, the host
constexpr std::size_t kMacAddress = 18;         // 6 bytes
constexpr std::size_t kDataPort = 24;           // BE16
constexpr std::size_t kDevicePort = 26;         // BE16, device-info port
constexpr std::size_t kNtpServerIp = 28;        // 4 bytes
constexpr std::size_t kGatewayIp = 32;          // 4 bytes
constexpr std::size_t kSubnetMask = 36;         // 4 bytes
constexpr std::size_t kMotorState = 40;         // BE16: 0 run, 1 stop, 2 output-rate mode
constexpr std::size_t kPacketInterval = 42;     // BE16
constexpr std::size_t kPpsAngle = 48;           // BE16, angle x 100
constexpr std::size_t kPpsState = 50;           // BE16, bit 15 set: PPS disabled
constexpr std::size_t kClock = 52;              // 6 bytes: year-2000, month, day, hour, minute, second
constexpr std::size_t kLatitude = 58;           // 10 bytes: byte 58, then nine latitude characters
constexpr std::size_t kLongitude = 68;          // 10 longitude characters
constexpr std::size_t kLatitudeLast = 78;
constexpr std::size_t kLongitudeLast = 79;
constexpr std::size_t kApdTemperature = 80;     // BE16, raw / 4096 * 330 - 50 degrees C
constexpr std::size_t kByte82 = 82;
constexpr std::size_t kLvdsLock = 83;           // bit 0
constexpr std::size_t kHighVoltage = 99;        // BE16, board 2
constexpr std::size_t kHighVoltageAdjust = 101; // BE16, board 2
constexpr std::size_t kThresholdAdjust = 103;   // board 2
constexpr std::size_t kCleanliness = 104;       // 0, 1 or 2
constexpr std::size_t kBytes168 = 168;          // 10 bytes
constexpr std::size_t kMeasuringRange = 178;    // BE16, range x 100
constexpr std::size_t kTailThreshold = 180;     // BE16
constexpr std::size_t kTailDistance = 182;      // BE16
constexpr std::size_t kZeroDirection = 184;     // 0 or 1
constexpr std::size_t kEchoMode = 185;          // 1: dual echo
constexpr std::size_t kOffsetAngle1 = 186;      // BE16 angle code
constexpr std::size_t kOffsetAngle3 = 188;
constexpr std::size_t kOffsetAngle2 = 190;
constexpr std::size_t kOffsetAngle4 = 192;
constexpr std::size_t kVerticalAngles = 245;    // 32 x BE16: even channels, then odd channels
constexpr std::size_t kText1164 = 1164;         // 20 characters
constexpr std::size_t kVersionPairs = 1184;     // five (major, minor) pairs
constexpr std::size_t kAngleModeCode = 1194;    // BE16, 33: 0.33-degree layout
constexpr std::size_t kBoardVersionMajor = 1196;
constexpr std::size_t kBoardVersionMinor = 1197; // minor high nibble, patch low nibble
constexpr std::size_t kFirmwareDate = 1198;     // century, year, month, day
constexpr std::size_t kFirmwareMajor = 1202;
constexpr std::size_t kFirmwareMinor = 1203;    // minor high nibble, patch low nibble

constexpr std::uint8_t kDualEchoCode = 1;
constexpr std::uint16_t kAngleMode033Code = 33;
constexpr int kVerticalAngleCount = 32;

inline bool isDeviceInfoPacket(const std::uint8_t* p, std::size_t length)
{
    return length >= kPacketSize && p[0] == kHeader[0] && p[1] == kHeader[1] && p[2] == kHeader[2]
        && p[3] == kHeader[3];
}

inline void writeHeader(std::uint8_t* p)
{
    for (std::size_t i = 0; i < 4; ++i)
        p[kHeaderOffset + i] = kHeader[i];
}

// The device clock as its six bytes carry it: year - 2000, month, day, hour, minute, second.
// Every reader and writer of the clock (the packet, its JSON, the simulator's start time)
// takes the year rule from here.
constexpr std::size_t kClockSize = 6;
constexpr int kClockYearBase = 2000;
constexpr int kClockYearLast = kClockYearBase + 255; // the last year the byte holds

struct Clock {
    int year = kClockYearBase;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The year byte; years outside 2000..2255 wrap modulo 256 as the device's byte does.
constexpr std::uint8_t clockYearByte(int year) { return static_cast<std::uint8_t>(year - kClockYearBase); }

inline Clock readClock(const std::uint8_t* bytes)
{
    return {kClockYearBase + bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]};
}

inline void writeClock(std::uint8_t* bytes, const Clock& c)
{
    bytes[0] = clockYearByte(c.year);
    const int rest[] = {c.month, c.day, c.hour, c.minute, c.second};
    for (std::size_t i = 0; i < 5; ++i)
        bytes[1 + i] = static_cast<std::uint8_t>(rest[i]);
}

constexpr bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days of a month 1..12 of the given year.
constexpr int daysInMonth(int year, int month)
{
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Whether c is a day the calendar has and a time of day, in a year the year byte holds.
constexpr bool isValidClock(const Clock& c)
{
    return c.year >= kClockYearBase && c.year <= kClockYearLast && c.month >= 1 && c.month <= 12 && c.day >= 1
        && c.day <= daysInMonth(c.year, c.month) && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 && c.minute <= 59
        && c.second >= 0 && c.second <= 59;
}

// Channel whose vertical angle is packet entry i: the even channels come first.
constexpr int verticalEntryChannel(int entry) { return entry < 16 ? 2 * entry : 2 * (entry - 16) + 1; }
constexpr int channelVerticalEntry(int channel) { return channel % 2 == 0 ? channel / 2 : 16 + channel / 2; }

// Vertical angle encoding: hundredths, a negative value written as v + 65535, a raw value
// above 32767 read as raw - 65535.
inline float decodeVerticalAngle(std::uint16_t raw)
{
    const int v = raw > 32767 ? static_cast<int>(raw) - 65535 : static_cast<int>(raw);
    return static_cast<float>(v / 100.0);
}

inline std::uint16_t encodeVerticalAngle(double degrees)
{
    const long v = degrees >= 0 ? static_cast<long>(degrees * 100.0 + 0.5) : -static_cast<long>(-degrees * 100.0 + 0.5);
    return static_cast<std::uint16_t>(v < 0 ? v + 65535 : v);
}

// Horizontal offset angle code: hundredths; a value above 32767 reads as 327.67 - value/100.
inline float decodeAngleCode(std::uint16_t raw)
{
    double v = raw / 100.0;
    if (v > 327.67)
        v = 327.67 - v;
    return static_cast<float>(v);
}

} // namespace hvk32::devinfo
