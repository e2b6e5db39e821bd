#include "receivers/UdpReceiverThread.h"

#include "acquisition/ReceivedDatagram.h"
#include "platform/UdpSocket.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

namespace hvk32 {

namespace {

std::uint32_t packedAddress(const std::array<std::uint8_t, 4>& a)
{
    return std::uint32_t(a[0]) << 24 | std::uint32_t(a[1]) << 16 | std::uint32_t(a[2]) << 8 | a[3];
}

} // namespace

UdpReceiverThread::UdpReceiverThread(QObject* parent) : QThread(parent) {}

std::array<std::uint8_t, 4> UdpReceiverThread::lastSenderAddress() const
{
    const std::uint32_t a = lastSender_.load(std::memory_order_relaxed);
    return {std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a)};
}

void UdpReceiverThread::setMulticastGroup(const std::string& group)
{
    std::lock_guard<std::mutex> lock(groupMutex_);
    group_ = group;
}

std::string UdpReceiverThread::multicastGroup() const
{
    std::lock_guard<std::mutex> lock(groupMutex_);
    return group_;
}

bool UdpReceiverThread::receiveBufferLimited() const
{
    const int granted = receiveBufferBytes_;
    return granted > 0 && granted < kReceiveBufferBytes;
}

void UdpReceiverThread::stopAndWait()
{
    if (isRunning()) {
        stop_ = true;
        quit();
        wait();
    }
    stop_ = false;
}

void UdpReceiverThread::restart()
{
    stopAndWait();
    start(QThread::InheritPriority);
}

void UdpReceiverThread::run()
{
    platform::UdpSocket socket;
    // Bind, join and reuse failures are not fatal: the loop then only times out, and
    // unicast traffic still arrives when only the join failed.
    if (socket.open()) {
        socket.setReuseAddress(true);
        socket.setReceiveBufferSize(kReceiveBufferBytes);
        receiveBufferBytes_ = socket.receiveBufferSize();
        socket.enableDatagramDetails();
        bound_ = socket.bind("0.0.0.0", static_cast<std::uint16_t>(port_.load()));
        const std::string group = multicastGroup();
        if (!group.empty())
            socket.joinMulticast(group);
    }
    std::vector<std::uint8_t> buffers(kBatchSize * kDatagramSize);
    std::array<std::size_t, kBatchSize> lengths{};
    std::array<platform::DatagramDetails, kBatchSize> details{};
    if (!socket.setReceiveTimeout(kReceiveTimeoutMs)) {
        bound_ = false;
        return;
    }

    const std::uint16_t localPort = socket.localPort();
    receiveDrops_ = 0;
    receiveStarted();
    while (!stop_) {
        const int n = socket.receiveBatch(buffers.data(), kDatagramSize, kBatchSize, lengths.data(), details.data());
        for (int i = 0; i < n; ++i) {
            if (lengths[i] == 0)
                continue;
            const std::uint8_t* datagram = buffers.data() + static_cast<std::size_t>(i) * kDatagramSize;
            ++datagrams_;
            receiveDrops_ = details[i].receiveBufferDrops; // this socket's count since it was opened
            if (DatagramSink* sink = sink_.load()) {
                ReceivedDatagram d;
                d.payload = datagram;
                d.length = lengths[i];
                d.originalLength = details[i].length;
                d.endpoints = {details[i].senderAddress, details[i].senderPort, details[i].destinationAddress, localPort};
                d.receivedMicros = details[i].receivedMicros;
                d.receiveBufferDrops = details[i].receiveBufferDrops;
                sink->takeDatagram(d);
            }
            receivedMicros_ = details[i].receivedMicros;
            // A short datagram would be decoded over the previous one's bytes: drop it.
            if (lengths[i] < kDatagramSize || !handleDatagram(datagram, lengths[i]))
                ++dropped_;
            else
                lastSender_.store(packedAddress(details[i].senderAddress), std::memory_order_relaxed);
        }
        if (n > 0 && n < kBatchSize && !stop_)
            std::this_thread::sleep_for(std::chrono::microseconds(kGatherMicros));
    }
    receiveStopped();
    bound_ = false;
    socket.close();
    stop_ = false;
}

} // namespace hvk32
