#include "platform/UdpSocket.h"

#include "records/AddressRanges.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace hvk32::platform {

namespace {

bool parseAddress(const std::string& text, in_addr& out)
{
    return ::inet_pton(AF_INET, text.c_str(), &out) == 1;
}

} // namespace

UdpSocket::~UdpSocket()
{
    close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), drops_(std::exchange(other.drops_, 0u))
{
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        drops_ = std::exchange(other.drops_, 0u);
    }
    return *this;
}

bool UdpSocket::open()
{
    close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    return fd_ >= 0;
}

void UdpSocket::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    drops_ = 0;
}

bool UdpSocket::setReuseAddress(bool on)
{
    const int value = on ? 1 : 0;
    return ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) == 0;
}

bool UdpSocket::bind(const std::string& address, std::uint16_t port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (!parseAddress(address, local.sin_addr))
        return false;
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool UdpSocket::joinMulticast(const std::string& group, const std::string& interfaceAddress)
{
    ip_mreq request{};
    if (!parseAddress(group, request.imr_multiaddr) || !parseAddress(interfaceAddress, request.imr_interface))
        return false;
    return ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
}

bool UdpSocket::setMulticastInterface(const std::string& interfaceAddress)
{
    in_addr address{};
    if (!parseAddress(interfaceAddress, address))
        return false;
    return ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address) == 0;
}

bool UdpSocket::setMulticastLoop(bool on)
{
    const unsigned char value = on ? 1 : 0;
    return ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &value, sizeof value) == 0;
}

bool UdpSocket::setReceiveTimeout(int milliseconds)
{
    timeval timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0;
}

bool UdpSocket::setReceiveBufferSize(int bytes)
{
#ifdef SO_RCVBUFFORCE
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return true;
#endif
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

int UdpSocket::receiveBufferSize() const
{
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0)
        return 0;
#ifdef __linux__
    bytes /= 2;
#endif
    return bytes;
}

std::uint16_t UdpSocket::localPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

long UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, std::string* fromAddress, std::uint16_t* fromPort)
{
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n;
    do {
        n = ::recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &length);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (fromAddress) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        *fromAddress = text;
    }
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    return static_cast<long>(n);
}

bool UdpSocket::enableDatagramDetails()
{
    const int on = 1;
    bool all = ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on) == 0;
    all = ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0 && all;
#ifdef SO_RXQ_OVFL
    all = ::setsockopt(fd_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0 && all;
#else
    all = false;
#endif
    return all;
}

void UdpSocket::readDetails(const msghdr& message, const sockaddr_in& from, std::size_t length,
                            DatagramDetails& details)
{
    details = DatagramDetails{};
    std::memcpy(details.senderAddress.data(), &from.sin_addr, 4);
    details.senderPort = ntohs(from.sin_port);
    details.length = length;
    bool stamped = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(const_cast<msghdr*>(&message)); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&message), c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMP) {
            timeval stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            details.receivedMicros = static_cast<std::int64_t>(stamp.tv_sec) * 1000000 + stamp.tv_usec;
            stamped = true;
        } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            std::memcpy(details.destinationAddress.data(), &info.ipi_addr, 4);
#ifdef SO_RXQ_OVFL
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::memcpy(&drops_, CMSG_DATA(c), sizeof drops_);
#endif
        }
    }
    // The count comes only with datagrams that arrive after a drop; the last one still holds.
    details.receiveBufferDrops = drops_;
    if (!stamped)
        details.receivedMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
}

long UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, DatagramDetails& details)
{
    sockaddr_in from{};
    iovec part{buffer, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval)) + CMSG_SPACE(sizeof(in_pktinfo))
                                  + CMSG_SPACE(sizeof(std::uint32_t))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(fd_, &message, MSG_TRUNC); // MSG_TRUNC: the full length even when cut
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;

    readDetails(message, from, static_cast<std::size_t>(n), details);
    return static_cast<long>(std::min(details.length, capacity));
}

int UdpSocket::receiveBatch(std::uint8_t* slots, std::size_t slotSize, int count, std::size_t* lengths,
                            DatagramDetails* details)
{
    count = std::min(count, kMaxBatch);
    if (count < 1)
        return 0;
#ifdef __linux__
    constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(timeval)) + CMSG_SPACE(sizeof(in_pktinfo))
        + CMSG_SPACE(sizeof(std::uint32_t));
    mmsghdr messages[kMaxBatch];
    iovec parts[kMaxBatch];
    sockaddr_in senders[kMaxBatch];
    alignas(cmsghdr) char controls[kMaxBatch][kControlSize];
    for (int i = 0; i < count; ++i) {
        parts[i] = iovec{slots + static_cast<std::size_t>(i) * slotSize, slotSize};
        messages[i] = mmsghdr{};
        msghdr& m = messages[i].msg_hdr;
        m.msg_name = &senders[i];
        m.msg_namelen = sizeof senders[i];
        m.msg_iov = &parts[i];
        m.msg_iovlen = 1;
        if (details) {
            m.msg_control = controls[i];
            m.msg_controllen = kControlSize;
        }
    }
    int n;
    do {
        // MSG_WAITFORONE: wait (up to the receive time-out) for the first datagram only.
        // MSG_TRUNC: each length is the datagram's full length even when cut.
        n = ::recvmmsg(fd_, messages, static_cast<unsigned>(count), MSG_WAITFORONE | MSG_TRUNC, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return 0;
    for (int i = 0; i < n; ++i) {
        const std::size_t length = messages[i].msg_len;
        lengths[i] = std::min(length, slotSize);
        if (details)
            readDetails(messages[i].msg_hdr, senders[i], length, details[i]);
    }
    return n;
#else
    const long n = details ? receive(slots, slotSize, details[0]) : receive(slots, slotSize);
    if (n < 0)
        return 0;
    lengths[0] = static_cast<std::size_t>(n);
    return 1;
#endif
}

long UdpSocket::sendTo(const std::uint8_t* data, std::size_t length, const std::string& address, std::uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (!parseAddress(address, to.sin_addr))
        return -1;
    const ssize_t n = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n < 0 ? -1 : static_cast<long>(n);
}

bool isValidIpv4(const std::string& address)
{
    in_addr parsed{};
    return parseAddress(address, parsed);
}

bool isLoopbackAddress(const std::string& address)
{
    in_addr parsed{};
    return parseAddress(address, parsed) && (ntohl(parsed.s_addr) >> 24) == 127;
}

bool isMulticastAddress(const std::string& address)
{
    in_addr parsed{};
    return parseAddress(address, parsed) && isMulticastFirstOctet(ntohl(parsed.s_addr) >> 24);
}

std::uint16_t findFreeUdpPort()
{
    UdpSocket probe;
    if (!probe.open() || !probe.bind("127.0.0.1", 0))
        return 0;
    return probe.localPort();
}

} // namespace hvk32::platform
