#include "odometry/MapWriter.h"

#include "records/LidarData.h"

#include <QStringList>

#include <utility>

namespace hvk32::odometry {

namespace {

constexpr std::size_t kExpectedVoxels = 1u << 16;

} // namespace

bool isMapFormat(OutputFormat format)
{
    return format != OutputFormat::Csv && format != OutputFormat::Kitti;
}

QString mapFileDialogFilter(OutputFormat first)
{
    QStringList filters;
    for (const OutputFormatInfo& f : outputFormats()) {
        if (!isMapFormat(f.format))
            continue;
        const QString filter = QStringLiteral("%1 (*%2)").arg(QLatin1String(f.name), QLatin1String(f.extension));
        if (f.format == first)
            filters.prepend(filter);
        else
            filters << filter;
    }
    return filters.join(QLatin1String(";;"));
}

QString mapExtensionList()
{
    QStringList extensions;
    for (const OutputFormatInfo& f : outputFormats())
        if (isMapFormat(f.format))
            extensions << QLatin1String(f.extension);
    const QString last = extensions.takeLast();
    return extensions.join(QLatin1String(", ")) + QLatin1String(" or ") + last;
}

void appendMapPoint(const PointArrays& from, std::size_t i, const Eigen::Vector3f& p, float time, PointArrays& to)
{
    const std::size_t k = to.size++;
    const auto put = [k](auto& v, auto value) {
        if (v.size() <= k)
            v.resize(k + 1 + k / 2);
        v[k] = value;
    };
    put(to.x, p.x());
    put(to.y, p.y());
    put(to.z, p.z());
    put(to.intensity, from.intensity[i]);
    put(to.channel, from.channel[i]);
    put(to.azimuth, from.azimuth[i]);
    put(to.distance, from.distance[i]);
    put(to.time, time);
    put(to.echo, from.echo[i]);
}

MapThinning::MapThinning(double voxelSize) : inverse_(1.0 / voxelSize)
{
    voxels_.reset(kExpectedVoxels);
}

void MapThinning::clear()
{
    voxels_.reset(kExpectedVoxels);
}

MapWriter::MapWriter(const QString& out, OutputFormat format, double voxelSize, SinkSource source)
    : perFrame_(format == OutputFormat::Las || format == OutputFormat::Mcap), thinning_(voxelSize)
{
    source.oneFrame = !perFrame_;
    sink_ = makeSink(out, format, SinkOptions{}, source);
}

bool MapWriter::add(const ExportFrame& f, const PointArrays& points, const std::vector<Eigen::Vector3f>& world,
                    double secondsFromFirst)
{
    if (!opened_) {
        if (!sink_->open())
            return false;
        opened_ = true;
    }
    if (perFrame_)
        frame_.size = 0;
    for (std::size_t i = 0; i < points.size; ++i) {
        const Eigen::Vector3f& p = world[i];
        if (!thinning_.take(p))
            continue;
        appendMapPoint(points, i, p, perFrame_ ? points.time[i] : static_cast<float>(secondsFromFirst + points.time[i]),
                       frame_);
    }
    if (perFrame_) {
        if (sink_->writePoints(f, frame_) < 0)
            return false;
        written_ += frame_.size;
        ++frames_;
    } else {
        last_ = f.snapshot;
        lastTime_ = f.time;
        lastId_ = f.frameId;
        lastDual_ = f.dualEcho;
    }
    return true;
}

bool MapWriter::finish()
{
    if (!opened_)
        return true;
    if (!perFrame_) {
        const LidarData none;
        const ExportFrame e{lastId_, none, last_, lastDual_, lastTime_, 0};
        if (sink_->writePoints(e, frame_) < 0)
            return false;
        written_ = frame_.size;
        frames_ = 1;
    }
    unsigned long long points = written_;
    return sink_->settle(frames_, points) && sink_->finish();
}

} // namespace hvk32::odometry
