#include "odometry/MapAccumulator.h"

#include "records/LidarData.h"

namespace hvk32::odometry {

namespace {

// A frame that carries only its first firing's time stamp: what a map file's writer reads of
// a frame whose points it is given (LAS counts point times from it).
LidarData stampOnly(std::uint64_t startStamp)
{
    LidarData d = LidarData::empty();
    d.distances[0].push_back(0.0f);
    d.intensities[0].push_back(0);
    d.azimuths[0].push_back(0.0f);
    d.timestamps[0].push_back(startStamp);
    return d;
}

// Points [first, first + count) of `from` into `to`, and their places into `world`.
void copyRange(const PointArrays& from, std::size_t first, std::size_t count, PointArrays& to,
               std::vector<Eigen::Vector3f>& world)
{
    to.size = 0;
    world.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t k = first + i;
        world[i] = {from.x[k], from.y[k], from.z[k]};
        appendMapPoint(from, k, world[i], from.time[k], to);
    }
}

} // namespace

namespace {

// Moves point `from` of `p` to place `to` (to <= from).
void movePoint(PointArrays& p, std::size_t from, std::size_t to)
{
    p.x[to] = p.x[from];
    p.y[to] = p.y[from];
    p.z[to] = p.z[from];
    p.intensity[to] = p.intensity[from];
    p.channel[to] = p.channel[from];
    p.azimuth[to] = p.azimuth[from];
    p.distance[to] = p.distance[from];
    p.time[to] = p.time[from];
    p.echo[to] = p.echo[from];
}

} // namespace

MapAccumulator::MapAccumulator(double voxelSize, std::size_t maxPoints)
    : initialVoxelSize_(voxelSize), voxelSize_(voxelSize), maxPoints_(maxPoints), thinning_(voxelSize)
{
}

void MapAccumulator::clear()
{
    voxelSize_ = initialVoxelSize_;
    thinning_ = MapThinning(voxelSize_);
    points_.size = 0;
    frames_.clear();
    poses_.clear();
    full_ = false;
    coarsenings_ = 0;
}

std::size_t MapAccumulator::add(const PointArrays& points, const std::vector<Eigen::Vector3f>& world,
                                const Eigen::Isometry3d& pose, MapFrame frame)
{
    frame.firstPoint = points_.size;
    frame.pointCount = 0;
    frames_.push_back(frame);
    poses_.push_back(pose);
    MapFrame& added = frames_.back();
    for (std::size_t i = 0; i < points.size && !full_; ++i) {
        if (!thinning_.take(world[i]))
            continue;
        appendMapPoint(points, i, world[i], points.time[i], points_);
        ++added.pointCount;
        if (points_.size >= maxPoints_)
            coarsen();
    }
    return added.pointCount;
}

void MapAccumulator::coarsen()
{
    while (points_.size >= maxPoints_ / 4 * 3) {
        if (voxelSize_ * 2 > kMaxVoxelSize * 1.0001) {
            full_ = points_.size >= maxPoints_;
            return;
        }
        voxelSize_ *= 2;
        ++coarsenings_;
        thinning_ = MapThinning(voxelSize_);
        std::size_t kept = 0;
        for (MapFrame& f : frames_) {
            const std::size_t first = kept;
            for (std::size_t k = f.firstPoint; k < f.firstPoint + f.pointCount; ++k)
                if (thinning_.take({points_.x[k], points_.y[k], points_.z[k]}))
                    movePoint(points_, k, kept++);
            f.firstPoint = first;
            f.pointCount = kept - first;
        }
        points_.size = kept;
    }
}

qint64 MapAccumulator::save(const QString& out, OutputFormat format, const SinkSource& source, QString* error) const
{
    const auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return qint64(-1);
    };
    if (!isMapFormat(format))
        return fail(QStringLiteral("%1: a map is written as %2").arg(out, mapExtensionList()));
    if (frames_.empty())
        return fail(QStringLiteral("%1: the map holds no frame yet").arg(out));
    // Each frame's points are already the first of their voxels on the map's grid, so the
    // writer's thinning on the same grid keeps every one of them.
    MapWriter writer(out, format, voxelSize_, source);
    if (!writer.canCreate())
        return fail(writer.error());
    PointArrays chunk;
    std::vector<Eigen::Vector3f> world;
    for (const MapFrame& f : frames_) {
        copyRange(points_, f.firstPoint, f.pointCount, chunk, world);
        const LidarData stamp = stampOnly(f.startStamp);
        const ExportFrame e{f.frameId, stamp, f.snapshot, f.dualEcho, f.time, 0};
        if (!writer.add(e, chunk, world, f.seconds))
            return fail(writer.error());
    }
    if (!writer.finish())
        return fail(writer.error());
    return static_cast<qint64>(writer.points());
}

} // namespace hvk32::odometry
