#pragma once
// Packet capture through libpcap: adapter listing and choice, live capture with a filter
// and a bounded wait, and capture-file writing. The only code that calls libpcap; every
// handle is closed by its owner's destructor. Errors come back as text for the user.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct pcap;
struct pcap_dumper;

namespace hvk32::platform {

struct CaptureAdapter {
    std::string name;
    std::string description; // empty when the system gives none
    bool ethernet = false;   // opened and found to deliver Ethernet frames
    std::string probeError;  // why it could not be opened, when it could not
    bool probeDenied = false; // it could not be opened for lack of capture rights
    bool loopback = false;    // the system's loopback adapter
    // Its IPv4 addresses, each with its netmask, in dotted order.
    struct Ipv4 {
        std::array<std::uint8_t, 4> address{};
        std::array<std::uint8_t, 4> netmask{};
    };
    std::vector<Ipv4> ipv4{};
};

// Every adapter the library knows, each opened briefly to learn whether it delivers
// Ethernet frames (this needs capture rights). Empty with `error` set on failure.
std::vector<CaptureAdapter> listCaptureAdapters(std::string* error);

// The adapter rule, in list order and among Ethernet adapters only: the first whose
// description begins with 'R', 'I', 'B' or 'A' (case as written); else the first. An
// adapter without a description has no first letter, so it never matches the letters, but
// it can be the fallback. Returns the index, or -1 when no adapter delivers Ethernet frames.
int chooseAdapterByRule(const std::vector<CaptureAdapter>& adapters);

// The adapter that carries datagrams from `deviceAddress`, among Ethernet adapters: the
// loopback adapter when the address is a loopback address or one of this computer's own
// (the system delivers those over loopback), else the first adapter whose subnet holds the
// address. -1 when none does, or the address is all zero (not known).
int chooseAdapterForDevice(const std::vector<CaptureAdapter>& adapters, const std::array<std::uint8_t, 4>& deviceAddress);

// The adapter named explicitly: `settingsDevice` when not empty, else the environment
// variable HVK32_CAPTURE_DEVICE; empty when neither names one (the rule applies then).
std::string captureDeviceOverride(const std::string& settingsDevice);

// The adapter to capture from: the one named (settingsDevice, else HVK32_CAPTURE_DEVICE),
// else the one that carries the device's datagrams when their sender is known
// (chooseAdapterForDevice), else the adapter rule among the adapters that can be opened.
// False, with `error` saying why, when there is none; `permissionDenied` (when given) then
// tells whether capture rights were what was missing.
bool chooseCaptureDevice(const std::string& settingsDevice, std::string* device, std::string* error,
                         bool* permissionDenied = nullptr, const std::array<std::uint8_t, 4>& deviceAddress = {});

// How a user gets the rights to capture on an adapter, for messages that report their lack.
std::string captureRightsHint();

// One captured frame; `data` stays valid until the next call on the capture.
struct CapturedPacket {
    std::int64_t seconds = 0;
    std::int64_t microseconds = 0;
    std::uint32_t capturedLength = 0;
    std::uint32_t originalLength = 0;
    const std::uint8_t* data = nullptr;
};

enum class CaptureStatus { Packet, TimedOut, Failed };

class LiveCapture {
public:
    static constexpr int kSnapLength = 65535;
    // Seconds of the fastest stream, so a writer the system keeps waiting loses no frame.
    static constexpr int kCaptureBufferBytes = 32 * 1024 * 1024;
    static constexpr int kEthernetLinkType = 1; // DLT_EN10MB

    LiveCapture() = default;
    ~LiveCapture();
    LiveCapture(const LiveCapture&) = delete;
    LiveCapture& operator=(const LiveCapture&) = delete;

    // Opens the adapter in promiscuous mode with the full snapshot length. A wait for a
    // packet never lasts much longer than `readTimeoutMs`, with or without traffic.
    bool open(const std::string& device, int readTimeoutMs, std::string* error);
    // After a failed open(): true when it failed for lack of capture rights.
    bool permissionDenied() const { return permissionDenied_; }
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string& device() const { return device_; }

    int linkType() const;
    std::string linkTypeName() const;

    // Compiles the expression (not optimised, with the adapter's netmask) and installs it.
    bool setFilter(const std::string& expression, std::string* error);

    // Waits up to the read time-out for one packet that passes the filter.
    CaptureStatus next(CapturedPacket* packet, std::string* error);

    // Frames the system dropped because the capture buffer was full, since the open.
    std::uint64_t bufferDrops() const;

private:
    friend class CaptureDumpFile;
    pcap* handle_ = nullptr;
    std::string device_;
    int readTimeoutMs_ = 0;
    int selectableFd_ = -1; // >= 0: the handle is non-blocking and waits by polling this
    bool permissionDenied_ = false;
};

// A capture file being written: the file header when opened, then one record per frame.
class CaptureDumpFile {
public:
    CaptureDumpFile() = default;
    ~CaptureDumpFile();
    CaptureDumpFile(const CaptureDumpFile&) = delete;
    CaptureDumpFile& operator=(const CaptureDumpFile&) = delete;

    // Creates (or truncates) the file, with the link type and snapshot length of `source`.
    bool open(const LiveCapture& source, const std::string& fileName, std::string* error);
    void close();
    bool isOpen() const { return dumper_ != nullptr; }

    // Appends the frame and flushes, so the file is complete after every frame.
    bool write(const CapturedPacket& packet, std::string* error);

private:
    pcap_dumper* dumper_ = nullptr;
    std::string fileName_;
};

} // namespace hvk32::platform
