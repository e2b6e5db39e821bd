#include "view/MapBuilder.h"

#include "convert/PointColours.h"
#include "odometry/FrameInstant.h"
#include "odometry/FrameTracker.h"

#include <chrono>
#include <utility>

namespace hvk32 {

namespace {

constexpr std::int64_t kStampWrap = 3600000000LL; // device time stamps count microseconds in the hour

// b - a across the hourly wrap, the nearer way round [µs].
std::int64_t stampDelta(std::uint64_t a, std::uint64_t b)
{
    std::int64_t d = static_cast<std::int64_t>(b % kStampWrap) - static_cast<std::int64_t>(a % kStampWrap);
    if (d > kStampWrap / 2)
        d -= kStampWrap;
    else if (d < -kStampWrap / 2)
        d += kStampWrap;
    return d;
}

bool hasSecondEchoes(const LidarData& frame)
{
    for (const auto& channel : frame.echoes)
        for (std::uint8_t e : channel)
            if (e != 0)
                return true;
    return false;
}

} // namespace

MapBuilder::MapBuilder(const odometry::Parameters& parameters, double voxelSize, std::size_t maxPoints)
    : parameters_(parameters), map_(voxelSize, maxPoints)
{
    restartStatus(0);
}

void MapBuilder::restartStatus(std::uint64_t generation)
{
    status_ = MapStatus{};
    status_.generation = generation;
    status_.maxPoints = map_.maxPoints();
    status_.voxelSize = map_.voxelSize();
}

MapBuilder::~MapBuilder()
{
    stop();
}

void MapBuilder::start()
{
    if (worker_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
    }
    worker_ = std::thread([this] { run(); });
}

void MapBuilder::stop()
{
    if (!worker_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        waiting_ = false;
    }
    wake_.notify_all();
    worker_.join();
    const std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    idle_.notify_all();
}

void MapBuilder::submit(const LidarData& frame, const ConversionSnapshot& snapshot, const MapInput& input)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_)
            ++status_.skipped;
        pendingFrame_ = frame; // into storage kept between frames
        pendingSnapshot_ = snapshot;
        pendingInput_ = input;
        waiting_ = true;
    }
    wake_.notify_one();
}

void MapBuilder::reset()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    waiting_ = false;
    map_.clear();
    restartStatus(status_.generation + 1);
}

void MapBuilder::onChanged(std::function<void()> handler)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    changed_ = std::move(handler);
}

void MapBuilder::read(const std::function<void(const odometry::MapAccumulator&, const MapStatus&)>& reader) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    reader(map_, status_);
}

MapStatus MapBuilder::status() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

bool MapBuilder::waitIdle(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !waiting_ && !busy_; });
}

bool MapBuilder::timeOf(const LidarData& frame, const MapInput& input, FrameTime& time, std::uint64_t& startStamp)
{
    startStamp = frameStartTime(frame);
    std::int64_t micros = 0;
    if (!timed_) {
        FrameTime reference = input.reference;
        if (reference.captureMicros == 0) {
            reference.captureMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count();
            reference.deviceStamp = static_cast<std::uint32_t>(startStamp % kStampWrap);
        }
        micros = odometry::firstFiringMicros(frame, reference);
    } else {
        micros = lastMicros_ + stampDelta(lastStamp_, startStamp);
        if (micros <= lastMicros_ || micros - lastMicros_ > static_cast<std::int64_t>(kMaxGapSeconds * 1e6))
            return false;
    }
    timed_ = true;
    lastMicros_ = micros;
    lastStamp_ = startStamp;
    // The frame's own stamp beside the instant: the tracker finds this instant again.
    time.captureMicros = micros;
    time.deviceStamp = static_cast<std::uint32_t>(startStamp % kStampWrap);
    time.seconds = static_cast<std::uint32_t>(micros / 1000000);
    time.fraction = static_cast<std::uint32_t>(micros % 1000000);
    return true;
}

void MapBuilder::run()
{
    LidarData frame;
    ConversionSnapshot snapshot;
    MapInput input;
    for (;;) {
        std::uint64_t generation = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || waiting_; });
            if (stop_)
                return;
            std::swap(frame, pendingFrame_);
            snapshot = pendingSnapshot_;
            input = pendingInput_;
            waiting_ = false;
            busy_ = true;
            generation = status_.generation;
        }
        if (!tracker_ || generation != trackerGeneration_) {
            tracker_ = std::make_unique<odometry::FrameTracker>(parameters_);
            trackerGeneration_ = generation;
            timed_ = false;
        }
        odometry::MapFrame mapFrame;
        if (!timeOf(frame, input, mapFrame.time, mapFrame.startStamp)) {
            // Not the next frame of the run: the map starts afresh with it.
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (status_.generation == generation) {
                    map_.clear();
                    generation = status_.generation + 1;
                    const std::size_t skipped = status_.skipped;
                    restartStatus(generation);
                    status_.skipped = skipped;
                } else {
                    generation = status_.generation;
                }
            }
            tracker_ = std::make_unique<odometry::FrameTracker>(parameters_);
            trackerGeneration_ = generation;
            timed_ = false;
            timeOf(frame, input, mapFrame.time, mapFrame.startStamp);
        }
        const odometry::StampedPose stamped = tracker_->add(frame, snapshot, mapFrame.time);
        tracker_->odometry().toMap(tracker_->framePoints(), world_);
        mapFrame.frameId = input.frameId;
        mapFrame.snapshot = snapshot;
        mapFrame.dualEcho = input.dualEcho || hasSecondEchoes(frame);
        mapFrame.seconds = tracker_->seconds();
        std::function<void()> changed;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
            if (status_.generation == generation) {
                map_.add(tracker_->points(), world_, stamped.pose, mapFrame);
                status_.frames = map_.frames().size();
                status_.points = map_.size();
                status_.full = map_.full();
                status_.voxelSize = map_.voxelSize();
                status_.coarsenings = map_.coarsenings();
            }
            changed = changed_;
        }
        idle_.notify_all();
        if (changed)
            changed();
    }
}

void appendMapCloud(const PointArrays& map, std::size_t from, ColorMode mode, std::vector<CloudPoint>& out)
{
    for (std::size_t k = from; k < map.size; ++k) {
        Rgb8 rgb{255, 255, 255};
        switch (mode) {
        case ColorMode::Intensity: rgb = intensityColour(static_cast<int>(map.intensity[k])); break;
        case ColorMode::Elevation: rgb = elevationColour(map.z[k]); break;
        case ColorMode::Azimuth: rgb = azimuthColour(map.azimuth[k]); break;
        case ColorMode::LaserID: rgb = laserColour(map.channel[k]); break;
        case ColorMode::Solid:
        default: break;
        }
        out.push_back({map.x[k], map.y[k], map.z[k], rgb.r, rgb.g, rgb.b});
    }
}

} // namespace hvk32
