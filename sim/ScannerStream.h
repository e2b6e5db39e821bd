#pragma once
// The substitute scanner's byte stream: data packets of a synthetic scene and device-info
// packets, each with the time at which a device would send it. Plain, no I/O.
//
// Motion: 18000 firings a second at every speed; the block azimuth advances 10, 20 or 40
// hundredths of a degree per firing at 300, 600 or 1200 rpm and wraps to 0 once per
// revolution, starting at 0. Single echo puts 12 firings in a packet; dual echo puts 6,
// each as two blocks (first echo, then last echo) with the same azimuth.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hvk32::sim {

enum class EchoMode { Single, Dual };
enum class Layout { OneDegree, ThirdDegree }; // vertical table defaultVerticalAngles1 / defaultVerticalAngles033

// A local date and time of the device's clock.
struct ClockTime {
    int year = 2026;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct ScannerSettings {
    int rpm = 600; // 300, 600 or 1200
    EchoMode echo = EchoMode::Single;
    Layout layout = Layout::OneDegree;
    std::string deviceIp = "127.0.0.2"; // reported as the device's address
    std::string hostIp = "127.0.0.1";   // reported as the destination
    std::uint16_t dataPort = 2368, telemetryPort = 2369;
    int boardMajor = 2, boardMinor = 1;                          // minor 0..15
    int firmwareMajor = 3, firmwareMinor = 0, firmwarePatch = 0; // minor and patch 0..15
    std::optional<ClockTime> clockStart; // unset: the local time at construction
};

constexpr int kFiringsPerSecond = 18000;
constexpr std::uint64_t kMicrosPerSecond = 1000000;
constexpr std::uint32_t kMicrosPerHour = 3600000000u; // packet time stamps wrap here

class ScannerStream {
public:
    // Casts one revolution of the scene. Throws std::invalid_argument for a speed other
    // than 300, 600 or 1200 rpm.
    explicit ScannerStream(const ScannerSettings& settings);

    // Fills the next 1206-byte data packet; returns the stream time (microseconds since the
    // start) at which it is due: the time of its last firing.
    std::uint64_t nextDataPacket(std::uint8_t* out);
    // Fills a device-info packet describing the device at stream time `micros`.
    void deviceInfoPacket(std::uint64_t micros, std::uint8_t* out) const;

    double dataPacketsPerSecond() const;
    int blocksPerRevolution() const; // per echo stream
    std::uint16_t azimuthStepHundredths() const;
    const ScannerSettings& settings() const;

    // The device clock at stream time `micros`, and the same instant as microseconds since
    // 1970-01-01 00:00 of that clock (for capture-file record times).
    ClockTime clockAt(std::uint64_t micros) const;
    std::uint64_t clockEpochMicros(std::uint64_t micros) const;

private:
    struct Return {
        std::uint16_t distance; // raw count, 0: no return
        std::uint8_t intensity;
    };

    int echoCount() const;
    std::size_t returnIndex(int echo, int block, int channel) const;
    void castRevolution();

    ScannerSettings settings_;
    std::uint16_t azimuthStep_;  // [deg/100] per firing
    int blocksPerRevolution_;
    int firingsPerPacket_;
    std::uint64_t packetIndex_ = 0;
    std::int64_t clockStartSeconds_; // the start of the clock, seconds since 1970 of that clock
    std::vector<Return> returns_;    // [echo][block][channel] of one revolution
};

} // namespace hvk32::sim
