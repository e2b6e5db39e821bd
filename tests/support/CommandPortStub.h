#pragma once
// Stands in for the scanner's command port in the dialog tests: a loopback socket on a free
// port that reads what a configuration dialog sends. Also the prompts' texts as "title: text".

#include "device/ConfigPacket.h"
#include "platform/UdpSocket.h"
#include "support/RecordingPrompts.h"

#include <QByteArray>
#include <QStringList>
#include <QtTest>

#include <array>
#include <cstdint>

namespace hvk32::test {

class CommandPortStub {
public:
    // Binds a free port at `address`; false when none could be bound.
    bool open(const char* address)
    {
        port_ = platform::findFreeUdpPort();
        return port_ != 0 && socket_.open() && socket_.bind(address, port_);
    }
    void close() { socket_.close(); }
    std::uint16_t port() const { return port_; }

    // The next datagram; empty when none arrives in time. Every datagram a dialog sends must
    // be a whole configuration packet.
    QByteArray received(int waitMs = 1000)
    {
        socket_.setReceiveTimeout(waitMs);
        std::array<std::uint8_t, 2048> buffer{};
        const long n = socket_.receive(buffer.data(), buffer.size());
        if (n < 0)
            return {};
        [&] { QCOMPARE(n, long(configpacket::kPacketSize)); }();
        return QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<int>(n));
    }
    bool nothingSent() { return received(50).isEmpty(); }

private:
    platform::UdpSocket socket_;
    std::uint16_t port_ = 0;
};

inline QStringList promptTexts(const QList<Prompt>& shown)
{
    QStringList out;
    for (const Prompt& p : shown)
        out.append(p.title + ": " + p.text);
    return out;
}

} // namespace hvk32::test
