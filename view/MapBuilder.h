#pragma once
// The window's "Map" mode without widgets: the frames the window shows are registered with the
// odometry on a worker thread and their points accumulated into a voxel-thinned map with the
// trajectory. The window hands each frame over and never waits for a registration: when frames
// come faster than they are registered, the newest waiting frame replaces the one before it,
// which is counted as skipped (the odometry then sees a larger step between frames, so skipped
// frames make the map less exact). A frame whose first firing is not after the last one's, or
// more than kMaxGapSeconds after it (a seek, a jump back, a stream that stalled), starts the
// map afresh, as reset() does.

#include "acquisition/CapturePlayerCore.h"
#include "convert/CloudBuilder.h"
#include "convert/ConversionSnapshot.h"
#include "odometry/MapAccumulator.h"
#include "odometry/Odometry.h"
#include "records/LidarData.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace hvk32 {

namespace odometry {
class FrameTracker;
}

// What the window knows of a frame beside its points.
struct MapInput {
    int frameId = 1;
    bool dualEcho = false;
    // A capture time and the device time stamp of the same instant in the frame's stream (a
    // played frame's capture time, or the clock's time when a live frame arrived); the map's
    // first frame takes its capture time from it, the others follow the device's time stamps.
    FrameTime reference;
};

struct MapStatus {
    std::uint64_t generation = 0; // grows with every fresh start of the map
    std::size_t frames = 0;       // registered since the start
    std::size_t points = 0;
    std::size_t skipped = 0;      // frames replaced by a newer one before their registration
    bool full = false;            // the map holds its most points; frames only extend the trajectory
    std::size_t maxPoints = 0;
    double voxelSize = 0;         // [m] the grid the map is thinned on now
    int coarsenings = 0;          // how often the map was thinned again on a coarser grid
};

class MapBuilder {
public:
    static constexpr double kMaxGapSeconds = 5.0;

    explicit MapBuilder(const odometry::Parameters& parameters = {},
                        double voxelSize = odometry::MapAccumulator::kDefaultVoxelSize,
                        std::size_t maxPoints = odometry::MapAccumulator::kDefaultMaxPoints);
    ~MapBuilder(); // stops and joins the worker

    // Starts the worker (once); stop() ends and joins it, a frame waiting is dropped.
    void start();
    void stop();
    bool isRunning() const { return worker_.joinable(); }

    // Hands a frame over: copied, registered on the worker. A frame still waiting is replaced.
    void submit(const LidarData& frame, const ConversionSnapshot& snapshot, const MapInput& input);
    // Empties the map: a waiting frame is dropped, one being registered is left out of it.
    void reset();
    // Called on the worker after each frame joined the map (or started it afresh).
    void onChanged(std::function<void()> handler);

    // Runs `reader` with the map, under the map's lock: the worker only waits for it while
    // adding a registered frame's points, never a reader for a registration.
    void read(const std::function<void(const odometry::MapAccumulator& map, const MapStatus& status)>& reader) const;
    MapStatus status() const;
    // Waits at most `timeoutMs` until no frame waits or is being registered; false if one still does.
    bool waitIdle(int timeoutMs) const;

private:
    void run();
    // A fresh status of generation `generation` for an empty map (under the lock).
    void restartStatus(std::uint64_t generation);
    // The frame's time in the capture's time base, following the device's time stamps from
    // the map's first frame on; false when it does not follow the last frame (a jump).
    bool timeOf(const LidarData& frame, const MapInput& input, FrameTime& time, std::uint64_t& startStamp);

    const odometry::Parameters parameters_;
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_, idle_;
    std::thread worker_;
    bool stop_ = false;
    bool waiting_ = false; // a frame waits in pending*
    bool busy_ = false;    // the worker registers a frame
    LidarData pendingFrame_;
    ConversionSnapshot pendingSnapshot_;
    MapInput pendingInput_;
    odometry::MapAccumulator map_;
    MapStatus status_;
    std::function<void()> changed_;

    // The worker's own.
    std::unique_ptr<odometry::FrameTracker> tracker_;
    std::uint64_t trackerGeneration_ = 0;
    bool timed_ = false;                // the map's first frame gave the time base
    std::int64_t lastMicros_ = 0;       // the last frame's first firing [µs since 1970]
    std::uint64_t lastStamp_ = 0;       // and its device time stamp
    std::vector<Eigen::Vector3f> world_;
};

// Appends the cloud of map points [from, end) in the window's colouring to `out`: heights
// for the elevation colouring are those of the map.
void appendMapCloud(const PointArrays& map, std::size_t from, ColorMode mode, std::vector<CloudPoint>& out);

} // namespace hvk32
