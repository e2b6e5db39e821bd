#pragma once
// The substitute scanner's byte stream: data packets of a synthetic scene and device-info
// packets, each with the time at which a device would send it, and the device's settings,
// which configuration datagrams change. Plain, no I/O.
//
// Motion: 18000 firings a second at every speed; the block azimuth advances 10, 20 or 40
// hundredths of a degree per firing at 300, 600 or 1200 rpm and wraps to 0 once per
// revolution, starting at 0. Single echo puts 12 firings in a packet; dual echo puts 6,
// each as two blocks (first echo, then last echo) with the same azimuth. A new speed or echo
// mode takes effect at the next data packet; the rotation goes on from the same azimuth.
//
// Scenes: the hall (the scanner fixed at its origin) or the town. Firing n happens at
// n / 18000 s of stream time. A scanner that moves along a trajectory, or whose ranges carry
// noise, casts every firing from its pose at that time; a still scanner without noise casts
// one revolution and repeats it.

#include "acquisition/DataPacket.h"
#include "sim/DeviceConfiguration.h"
#include "sim/Scene.h"
#include "sim/TownScene.h"
#include "sim/Trajectory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hvk32::sim {

enum class Layout { OneDegree, ThirdDegree }; // vertical table defaultVerticalAngles1 / defaultVerticalAngles033
enum class SceneKind { Hall, Town };

constexpr double kTownRangeNoise = 0.01;     // [m], the town's default range noise
constexpr double kTownScannerHeight = 1.8;   // [m], the still scanner in the town: a crossing's middle

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

    // What the scanner sees and from where.
    SceneKind scene = SceneKind::Hall;
    std::uint64_t seed = town::kDefaultSeed; // places the town's things and draws the range noise
    std::optional<double> rangeNoise;        // [m], standard deviation; unset: the scene's default
    std::shared_ptr<const Trajectory> trajectory; // unset: still at the scene's home pose

    // Settings that only configuration datagrams change in a running device.
    std::string ntpServerIp = "127.0.0.1";
    std::string gatewayIp;                 // empty: .1 of the device's subnet
    std::string subnetMask = "255.255.255.0";
    MotorState motorState = MotorState::Run;
    std::uint16_t packetInterval = 0;
    std::uint16_t ppsAngle = 0;            // angle x 100
    std::uint16_t measuringRange = 20000;  // range x 100
    std::uint16_t tailThreshold = 0, tailDistance = 0;
    std::uint8_t zeroDirection = 0;
    std::array<std::uint16_t, 4> offsetAngleCodes{}; // horizontal offset angles 1..4, angle code
    std::optional<std::array<float, 32>> verticalAngles; // by data-packet channel; unset: the layout's table
};

constexpr int kFiringsPerSecond = datapacket::kFiringsPerSecond;
constexpr std::uint64_t kMicrosPerSecond = 1000000;
constexpr std::uint32_t kMicrosPerHour = datapacket::kTimestampWrap; // packet time stamps wrap here

class ScannerStream {
public:
    // Casts one revolution of the scene. Throws std::invalid_argument for a speed other
    // than 300, 600 or 1200 rpm. These settings are also what a factory reset returns the
    // advanced settings and the vertical angles to.
    explicit ScannerStream(const ScannerSettings& settings);

    // Applies one received configuration datagram as the device would, at stream time
    // `micros` (a clock it carries is set at that time; a motor started again resumes there).
    // A refused datagram changes nothing. Addresses are taken as asked, except that the
    // device's own address stays on loopback: the tool sends its configuration datagrams to
    // the address the device reports, and a substitute device must never steer it off the
    // machine. A non-loopback device address is kept aside (refusedDeviceIp()) instead.
    ConfigResult applyConfiguration(const std::uint8_t* datagram, std::size_t length, std::uint64_t micros = 0);
    // The last device address refused for not being loopback; empty when none was.
    const std::string& refusedDeviceIp() const { return refusedDeviceIp_; }
    // False while the motor state is Stop: no data packets are due then, and callers do not
    // ask for them.
    bool motorRunning() const;

    // Fills the next data packet (kPacketSize bytes); returns the stream time (microseconds since the
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

    // The scanner's pose at `seconds` of stream time, in the scene's frame.
    Pose poseAt(double seconds) const;
    // The standard deviation of the range noise in effect [m].
    double rangeNoise() const { return rangeNoise_; }

private:
    struct Return {
        std::uint16_t distance; // raw count, 0: no return
        std::uint8_t intensity;
    };

    int echoCount() const;
    std::size_t returnIndex(int echo, int block, int channel) const;
    const float* verticalAngles() const; // by data-packet channel
    void setMotion(int rpm, EchoMode echo, bool anglesChanged);
    void prepareRays();
    void castRevolution();
    void castFiring(std::uint64_t firing, int block, std::uint8_t* out, int packetFiring) const;
    Return returnOf(const Echo& echo) const;
    void applyUser(const UserConfiguration& user, std::uint64_t micros);
    void setClock(const ClockTime& time, std::uint64_t micros);

    ScannerSettings settings_;
    std::string refusedDeviceIp_;
    ScannerSettings factory_;       // as constructed: what a factory reset restores
    std::uint16_t azimuthStep_ = 0; // [deg/100] per firing
    int blocksPerRevolution_ = 0;
    int firingsPerPacket_ = 0;
    std::uint64_t nextFiring_ = 0;   // firings since the start of the stream
    int azimuthBlock_ = 0;           // block of the next firing within the revolution
    std::int64_t clockStartSeconds_; // the start of the clock, seconds since 1970 of that clock
    std::vector<Return> returns_;    // [echo][block][channel] of one revolution, when still
    std::shared_ptr<const Scene> scene_;
    Pose home_;                      // the pose without a trajectory
    double rangeNoise_ = 0.0;        // [m]
    bool castEachFiring_ = false;    // moving or noisy: no revolution is repeated
    std::vector<Vec3> rayOrigins_;   // [block][channel] in the scanner's frame
    std::vector<Vec3> rayDirections_;
};

} // namespace hvk32::sim
