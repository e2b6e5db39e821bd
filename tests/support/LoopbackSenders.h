#pragma once
// Datagram senders for tests: to 127.0.0.1 only, paced so that a receiver's socket buffer
// (or a capture's) keeps up on a loaded machine.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace hvk32::test {

constexpr const char* kLoopback = "127.0.0.1";

// One socket sending to 127.0.0.1:port, resting 1 ms after every `burst` datagrams.
class PacedSender {
public:
    explicit PacedSender(std::uint16_t port, int burst = 8) : port_(port), burst_(burst) { socket_.open(); }

    // Sends from address:sourcePort, as a device sends from its own data port.
    bool bindSource(const char* address, std::uint16_t sourcePort)
    {
        return socket_.setReuseAddress(true) && socket_.bind(address, sourcePort);
    }

    bool send(const std::uint8_t* data, std::size_t length) { return sendTo(port_, data, length); }

    bool sendTo(std::uint16_t port, const std::uint8_t* data, std::size_t length)
    {
        const bool sent = socket_.sendTo(data, length, kLoopback, port) == static_cast<long>(length);
        if (++sent_ % burst_ == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return sent;
    }

    // The stream's next `packets` data packets.
    void sendDataPackets(sim::ScannerStream& stream, int packets)
    {
        std::array<std::uint8_t, datapacket::kPacketSize> p{};
        for (int k = 0; k < packets; ++k) {
            stream.nextDataPacket(p.data());
            send(p.data(), p.size());
        }
    }

    // The stream's device-info packet to `port`.
    void sendDeviceInfo(const sim::ScannerStream& stream, std::uint16_t port)
    {
        std::array<std::uint8_t, devinfo::kPacketSize> p{};
        stream.deviceInfoPacket(0, p.data());
        sendTo(port, p.data(), p.size());
    }

private:
    platform::UdpSocket socket_;
    std::uint16_t port_;
    int burst_;
    long sent_ = 0;
};

// Data packets enough for `revolutions` whole revolutions: twelve blocks a packet, and two
// more packets so the last revolution is seen to end.
inline int packetsForRevolutions(const sim::ScannerStream& stream, int revolutions)
{
    return revolutions * stream.blocksPerRevolution() / 12 + 2;
}

// Sends to 127.0.0.1:port from its own thread until destroyed: each round whatever `round`
// holds, then a 10 ms pause, like a device that keeps reporting.
class RepeatingSender {
public:
    RepeatingSender(std::uint16_t port, std::vector<QByteArray> round)
        : thread_([this, port, round] {
              platform::UdpSocket s;
              s.open();
              while (!stop_) {
                  for (const QByteArray& d : round)
                      s.sendTo(reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size()), kLoopback, port);
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          })
    {
    }
    ~RepeatingSender()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace hvk32::test
