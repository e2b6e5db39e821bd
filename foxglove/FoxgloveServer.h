#pragma once
// A Foxglove WebSocket server of the scanner's stream: three channels (/hvk32/points,
// /hvk32/device_info, /hvk32/health, see FoxgloveProtocol.h) to any number of clients up to a
// limit. The network runs on one thread of its own; publish*() may be called from any thread
// and only hand the message over. Each message is serialized once and its bytes shared by every
// client. A client that reads slowly keeps a few messages waiting (the newest: older frames
// are dropped and counted), so it neither grows the server's memory nor holds the others up.
// The command line (serve) and the window use this same class.

#include "foxglove/FoxgloveProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace hvk32::foxglove {

struct ServerOptions {
    std::string address = "127.0.0.1"; // IPv4 address to listen on
    std::uint16_t port = 8765;          // 0: a free port the system picks (see Server::port())
    int maxClients = 16;                // clients beyond are closed with a reason
    // Messages waiting per client besides the ones the socket is writing; the oldest frame
    // goes when a new one comes.
    std::size_t clientQueue = 2;
};

struct ServerSummary {
    std::uint64_t clients = 0;         // accepted
    std::uint64_t refusedClients = 0;  // closed because the server was full
    std::uint64_t messagesSent = 0;    // messageData frames handed to the sockets
    std::uint64_t bytesSent = 0;       // their bytes, WebSocket framing included
    std::uint64_t framesPublished = 0; // frames given to publishPoints()
    std::uint64_t framesDropped = 0;   // frames slow clients lost
};

class Server {
public:
    // The source's counts for the health message, asked once a second on the server's thread
    // (the source makes it safe to call from there). The server fills in its own counts.
    using HealthSource = std::function<HealthCounts()>;

    Server();
    ~Server(); // stop()
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens and starts the server's thread; false with `error` set when the address cannot
    // be listened on. After stop() it may be called again (the window's switch turned on
    // again); the summary then counts afresh. Not to be called while another thread publishes.
    bool start(const ServerOptions& options, HealthSource health, std::string* error);
    // The port listened on (the one picked when 0 was asked), 0 before start().
    std::uint16_t port() const;

    // One frame's sensor_msgs/msg/PointCloud2 (CDR), stamped `timeNs` (ns since 1970).
    void publishPoints(std::string cdr, std::uint64_t timeNs);
    // One device-info packet as JSON; also kept for clients that subscribe later.
    void publishDeviceInfo(std::string json, std::uint64_t timeNs);

    // Closes every connection (going away), stops listening and joins the thread. Waits at
    // most a few seconds for clients to answer the close.
    void stop();

    // The counts since the last start().
    ServerSummary summary() const;
    // The clients connected now (0 while stopped).
    std::uint32_t connectedClients() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace hvk32::foxglove
