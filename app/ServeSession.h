#pragma once
// The window's "Serve" switch behind the widgets: a Foxglove WebSocket server (the one the
// command line's serve runs) of the frames the window receives or plays, its device-info
// packets and its stream's health. Frames are encoded on a worker thread of their own, so a
// large frame's message does not hold the window up; while one is encoded only the newest
// frame waits, older ones are replaced. It touches no widget.

#include "convert/ConversionSnapshot.h"
#include "foxglove/FoxgloveServer.h"
#include "records/LidarData.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class ServeSession {
public:
    ServeSession();
    ~ServeSession(); // stop()
    ServeSession(const ServeSession&) = delete;
    ServeSession& operator=(const ServeSession&) = delete;

    // Serves on 127.0.0.1:`port` (0: a free port); false with `error` set when that port
    // cannot be listened on.
    bool start(std::uint16_t port, std::string* error);
    // Closes the connections, joins the encoder and the server's thread. Frames and
    // device-info packets given while stopped are dropped.
    void stop();
    bool isServing() const { return serving_; }
    std::uint16_t port() const { return server_.port(); }
    std::uint32_t connectedClients() const { return server_.connectedClients(); }
    hvk32::foxglove::ServerSummary summary() const { return server_.summary(); }

    // A frame with its time (ns since 1970), handed to the encoder.
    void publishFrame(const LidarData& frame, const hvk32::ConversionSnapshot& snapshot, std::uint64_t timeNs);
    // A played frame, whose capture time the player reports right after it: kept until
    // releaseHeldFrame() gives the time.
    void holdFrame(const LidarData& frame, const hvk32::ConversionSnapshot& snapshot);
    void releaseHeldFrame(std::uint64_t timeNs);
    // One device-info packet's payload. The last one is also kept while stopped: Serve turned
    // on later starts with it, as a capture reports its device once when it is opened.
    void publishDeviceInfo(const std::uint8_t* payload, std::uint64_t timeNs);
    // The stream's counts the next health messages carry.
    void setHealth(const hvk32::foxglove::HealthCounts& counts);

    static std::uint64_t nowNs();

private:
    void encodeLoop();

    hvk32::foxglove::Server server_;
    bool serving_ = false;
    std::string lastDeviceInfo_; // JSON, empty before the first
    std::uint64_t lastDeviceInfoTime_ = 0;

    std::mutex healthMutex_;
    hvk32::foxglove::HealthCounts health_;

    // The frame waiting for the encoder (the window's thread writes it, the encoder swaps it out).
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool pending_ = false;
    LidarData pendingFrame_;
    hvk32::ConversionSnapshot pendingSnapshot_;
    std::uint64_t pendingTime_ = 0;
    std::thread encoder_;

    // The played frame waiting for its time (the window's thread only).
    bool held_ = false;
    LidarData heldFrame_;
    hvk32::ConversionSnapshot heldSnapshot_;
};
