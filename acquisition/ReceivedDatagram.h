#pragma once
// One datagram as a receiving socket got it, with where it came from and when, and the
// interface through which the receivers hand every datagram to a recorder.

#include "acquisition/UdpFrame.h"

#include <cstddef>
#include <cstdint>

namespace hvk32 {

struct ReceivedDatagram {
    const std::uint8_t* payload = nullptr;
    std::size_t length = 0;         // bytes at `payload`
    std::size_t originalLength = 0; // the datagram's full length; above `length` it was cut
    udpframe::Endpoints endpoints;  // sender address and port; destination address and the receiving port
    std::int64_t receivedMicros = 0; // microseconds since 1970
    // The receiving socket's running count of datagrams lost to its full receive buffer.
    std::uint32_t receiveBufferDrops = 0;
};

// Takes datagrams from receiver threads; called in those threads, so it must be thread-safe.
class DatagramSink {
public:
    virtual ~DatagramSink() = default;
    virtual void takeDatagram(const ReceivedDatagram& datagram) = 0;
};

} // namespace hvk32
