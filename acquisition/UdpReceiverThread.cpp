#include "acquisition/UdpReceiverThread.h"

#include "acquisition/ReceivedDatagram.h"
#include "platform/UdpSocket.h"

#include <array>

namespace hvk32 {

UdpReceiverThread::UdpReceiverThread(QObject* parent) : QThread(parent) {}

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
        socket.enableDatagramDetails();
        bound_ = socket.bind("0.0.0.0", static_cast<std::uint16_t>(port_.load()));
        const std::string group = multicastGroup();
        if (!group.empty())
            socket.joinMulticast(group);
    }
    std::array<std::uint8_t, kDatagramSize> buffer{};
    if (!socket.setReceiveTimeout(kReceiveTimeoutMs)) {
        bound_ = false;
        return;
    }

    const std::uint16_t localPort = socket.localPort();
    platform::DatagramDetails details;
    receiveDrops_ = 0;
    receiveStarted();
    while (!stop_) {
        const long n = socket.receive(buffer.data(), buffer.size(), details);
        if (n < 1)
            continue;
        ++datagrams_;
        receiveDrops_ = details.receiveBufferDrops; // this socket's count since it was opened
        if (DatagramSink* sink = sink_.load()) {
            ReceivedDatagram d;
            d.payload = buffer.data();
            d.length = static_cast<std::size_t>(n);
            d.originalLength = details.length;
            d.endpoints = {details.senderAddress, details.senderPort, details.destinationAddress, localPort};
            d.receivedMicros = details.receivedMicros;
            d.receiveBufferDrops = details.receiveBufferDrops;
            sink->takeDatagram(d);
        }
        // A short datagram would be decoded over the previous one's bytes: drop it.
        if (static_cast<std::size_t>(n) < kDatagramSize || !handleDatagram(buffer.data(), static_cast<std::size_t>(n)))
            ++dropped_;
    }
    receiveStopped();
    bound_ = false;
    socket.close();
    stop_ = false;
}

} // namespace hvk32
