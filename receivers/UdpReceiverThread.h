#pragma once
// A QThread that receives 1206-byte datagrams on one UDP port (optionally through a
// multicast group), in batches where several are queued, and hands each to the subclass.
// The receive time-out of 100 ms bounds how long a stop request waits; every socket it
// opens is closed when run() ends.

#include "acquisition/DataPacket.h"

#include <QThread>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace hvk32 {

class DatagramSink;

class UdpReceiverThread : public QThread {
    Q_OBJECT
public:
    static constexpr int kReceiveTimeoutMs = 100;
    static constexpr std::size_t kDatagramSize = hvk32::datapacket::kPacketSize;
    // Datagrams taken from the socket per system call when they queue up.
    static constexpr int kBatchSize = 64;
    // After a batch that emptied the socket, the thread lets datagrams gather this long
    // before it asks again: at a steady stream it then wakes about 500 times a second rather
    // than once per datagram. Far below what the receive buffer holds at any rate.
    static constexpr int kGatherMicros = 2000;
    // Room for about a second of the fastest stream, so a receiver that the system keeps
    // waiting for a moment loses nothing.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;

    explicit UdpReceiverThread(QObject* parent = nullptr);

    // Read once when run() starts: a change takes effect at the next start.
    void setPort(int port) { port_ = port; }
    int port() const { return port_; }
    void setMulticastGroup(const std::string& group);
    std::string multicastGroup() const;

    // The loop sees the flag within one receive time-out and clears it on its way out.
    void setStop(bool stop) { stop_ = stop; }
    bool stopRequested() const { return stop_; }

    // Sets the stop flag and waits until run() has returned.
    void stopAndWait();
    // Stops a running thread, waits until it has left run(), then starts it again.
    void restart();

    // Every datagram received, whatever its length or kind, also goes to this sink (a
    // recorder) before it is handled; null for none. The sink must outlive the thread's run.
    void setDatagramSink(DatagramSink* sink) { sink_ = sink; }

    // True while run() receives on a socket bound to the port; false before, after, and
    // when the bind failed (the loop then only times out).
    bool isBound() const { return bound_; }

    // The sender address, in dotted order, of the last datagram handled as the expected kind
    // since the thread was constructed; all zero before the first.
    std::array<std::uint8_t, 4> lastSenderAddress() const;

    std::uint64_t datagramsReceived() const { return datagrams_; }
    std::uint64_t datagramsDropped() const { return dropped_; }
    // Datagrams the operating system dropped on the socket before this thread could read
    // them (its receive buffer was full), since the last start; 0 where not reported.
    std::uint64_t receiveDrops() const { return receiveDrops_; }
    // The receive buffer the system granted the running socket
    // (UdpSocket::receiveBufferSize); 0 before the first start.
    int receiveBufferBytes() const { return receiveBufferBytes_; }
    // The buffer is smaller than asked for: the system's limit (net.core.rmem_max on Linux)
    // is lower and this process may not exceed it, so bursts are dropped sooner.
    bool receiveBufferLimited() const;

protected:
    void run() override;

    // Called in the receiver thread before the first and after the last datagram.
    virtual void receiveStarted() {}
    virtual void receiveStopped() {}
    // Called for every full-size datagram; returns false when it was not of the expected kind.
    virtual bool handleDatagram(const std::uint8_t* datagram, std::size_t length) = 0;
    // During handleDatagram(): when the datagram arrived, microseconds since 1970.
    std::int64_t datagramReceivedMicros() const { return receivedMicros_; }

private:
    std::int64_t receivedMicros_ = 0; // receiver thread only
    std::atomic<int> port_{0};
    std::atomic<bool> stop_{false};
    std::atomic<DatagramSink*> sink_{nullptr};
    std::atomic<bool> bound_{false};
    mutable std::mutex groupMutex_;
    std::string group_;
    std::atomic<std::uint32_t> lastSender_{0}; // the four address bytes, first in the high byte
    std::atomic<std::uint64_t> datagrams_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> receiveDrops_{0};
    std::atomic<int> receiveBufferBytes_{0};
};

} // namespace hvk32
