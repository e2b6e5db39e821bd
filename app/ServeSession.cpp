#include "app/ServeSession.h"

#include "acquisition/DeviceInfoJson.h"
#include "foxglove/PointsMessage.h"

#include <chrono>
#include <utility>

ServeSession::ServeSession() = default;

ServeSession::~ServeSession()
{
    stop();
}

bool ServeSession::start(std::uint16_t port, std::string* error)
{
    if (serving_)
        return true;
    hvk32::foxglove::ServerOptions options; // loopback, as the command line's default
    options.port = port;
    {
        std::lock_guard<std::mutex> lock(healthMutex_);
        health_ = {};
    }
    if (!server_.start(options, [this] {
            std::lock_guard<std::mutex> lock(healthMutex_);
            return health_;
        }, error))
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        pending_ = false;
    }
    encoder_ = std::thread([this] { encodeLoop(); });
    serving_ = true;
    if (!lastDeviceInfo_.empty())
        server_.publishDeviceInfo(lastDeviceInfo_, lastDeviceInfoTime_);
    return true;
}

void ServeSession::stop()
{
    if (!serving_)
        return;
    serving_ = false;
    held_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        pending_ = false;
    }
    wake_.notify_one();
    encoder_.join(); // the server is not published to while it stops
    server_.stop();
}

void ServeSession::publishFrame(const LidarData& frame, const hvk32::ConversionSnapshot& snapshot,
                                std::uint64_t timeNs)
{
    if (!serving_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Copied into storage kept between frames; a frame not encoded yet is replaced.
        pendingFrame_ = frame;
        pendingSnapshot_ = snapshot;
        pendingTime_ = timeNs;
        pending_ = true;
    }
    wake_.notify_one();
}

void ServeSession::holdFrame(const LidarData& frame, const hvk32::ConversionSnapshot& snapshot)
{
    if (!serving_)
        return;
    heldFrame_ = frame;
    heldSnapshot_ = snapshot;
    held_ = true;
}

void ServeSession::releaseHeldFrame(std::uint64_t timeNs)
{
    if (!held_ || !serving_)
        return;
    held_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(pendingFrame_, heldFrame_);
        pendingSnapshot_ = heldSnapshot_;
        pendingTime_ = timeNs;
        pending_ = true;
    }
    wake_.notify_one();
}

void ServeSession::publishDeviceInfo(const std::uint8_t* payload, std::uint64_t timeNs)
{
    lastDeviceInfo_ = hvk32::deviceInfoJson(payload).toStdString();
    lastDeviceInfoTime_ = timeNs;
    if (serving_)
        server_.publishDeviceInfo(lastDeviceInfo_, timeNs);
}

void ServeSession::setHealth(const hvk32::foxglove::HealthCounts& counts)
{
    std::lock_guard<std::mutex> lock(healthMutex_);
    health_ = counts;
}

std::uint64_t ServeSession::nowNs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

void ServeSession::encodeLoop()
{
    hvk32::foxglove::PointsMessage points;
    LidarData frame;
    hvk32::ConversionSnapshot snapshot;
    for (;;) {
        std::uint64_t time = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_; });
            if (stopping_)
                return;
            std::swap(frame, pendingFrame_);
            snapshot = pendingSnapshot_;
            time = pendingTime_;
            pending_ = false;
        }
        server_.publishPoints(points.encode(frame, snapshot, time), time);
    }
}
