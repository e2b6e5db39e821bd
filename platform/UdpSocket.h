#pragma once
// IPv4 UDP socket: the only place that calls the operating system's socket API.
// Closed by the destructor, so every socket that is opened is closed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct msghdr;
struct sockaddr_in;

namespace hvk32::platform {

// What the system tells about one received datagram, besides its bytes.
struct DatagramDetails {
    std::array<std::uint8_t, 4> senderAddress{}; // in dotted order
    std::uint16_t senderPort = 0;
    std::array<std::uint8_t, 4> destinationAddress{}; // as the datagram was addressed (a group for multicast); zero when unknown
    std::int64_t receivedMicros = 0; // arrival time, microseconds since 1970 (the kernel's stamp where it gives one)
    std::size_t length = 0;          // the datagram's full length; above the buffer's capacity it was cut
    // Datagrams this socket has dropped so far because its receive buffer was full (the
    // kernel's running count, 0 where the system does not report it).
    std::uint32_t receiveBufferDrops = 0;
};

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;

    bool open();
    void close();
    bool isOpen() const { return fd_ >= 0; }

    bool setReuseAddress(bool on);
    // Binds to address:port; "0.0.0.0" is any local address, port 0 lets the system choose.
    bool bind(const std::string& address, std::uint16_t port);
    // Joins a multicast group on the interface with the given local address ("0.0.0.0": any).
    bool joinMulticast(const std::string& group, const std::string& interfaceAddress = "0.0.0.0");
    // Outgoing multicast leaves through the interface with this local address.
    bool setMulticastInterface(const std::string& interfaceAddress);
    bool setMulticastLoop(bool on);
    bool setReceiveTimeout(int milliseconds);
    // Asks for a receive buffer of this size (beyond the system's limit where the process
    // may); true when the buffer was enlarged at all.
    bool setReceiveBufferSize(int bytes);
    // The receive buffer the system granted, in the units of the size asked for (Linux
    // reports twice that, the other half covering its bookkeeping per datagram); 0 when
    // unknown.
    int receiveBufferSize() const;
    std::uint16_t localPort() const;

    // Receives one datagram; returns its length, or -1 on time-out or error.
    long receive(std::uint8_t* buffer, std::size_t capacity, std::string* fromAddress = nullptr,
                 std::uint16_t* fromPort = nullptr);
    // Asks the system to report arrival times, destination addresses and receive-buffer
    // drops with every datagram (for the receive below); true when all three are on.
    bool enableDatagramDetails();
    // Receives one datagram; returns the bytes stored (at most `capacity`), or -1 on
    // time-out or error. `details` is filled for every datagram returned.
    long receive(std::uint8_t* buffer, std::size_t capacity, DatagramDetails& details);
    // Receives up to `count` (at most kMaxBatch) datagrams into consecutive slots of
    // `slotSize` bytes: waits up to the receive time-out for the first, then takes only what
    // is already queued, in one system call where the system offers it. Each datagram's
    // stored length (at most `slotSize`) goes to `lengths`, its details, when `details` is
    // not null, to `details` as receive() gives them. Returns how many arrived; 0 on
    // time-out or error.
    static constexpr int kMaxBatch = 64;
    int receiveBatch(std::uint8_t* slots, std::size_t slotSize, int count, std::size_t* lengths,
                     DatagramDetails* details = nullptr);
    // Sends one datagram; returns the bytes sent, or -1 on error.
    long sendTo(const std::uint8_t* data, std::size_t length, const std::string& address, std::uint16_t port);

private:
    void readDetails(const ::msghdr& message, const ::sockaddr_in& from, std::size_t length,
                     DatagramDetails& details);

    int fd_ = -1;
    std::uint32_t drops_ = 0; // the last drop count the system reported
};

bool isValidIpv4(const std::string& address);
bool isLoopbackAddress(const std::string& address);  // 127.0.0.0/8
bool isMulticastAddress(const std::string& address); // 224.0.0.0/4

// A free UDP port on loopback, chosen by the system (for tests and tools that need one).
std::uint16_t findFreeUdpPort();

} // namespace hvk32::platform
