#pragma once
// A map of registered frames written through the format list's writers (io/FrameSinks.h):
// every frame's points in the first frame's coordinates, thinned to the first point of each
// voxel, with intensity, ring and frame number. LAS and MCAP take the map frame by frame (LAS
// names each point's frame in its point source ID, MCAP writes one message per frame); PCD and
// PLY, which have no frame field, take it once at the end, their time field counting seconds
// from the first frame's first firing. The command line's "odometry --map" and the window's
// "Save map" both write maps through it.

#include "acquisition/CapturePlayerCore.h"
#include "convert/PointConversion.h"
#include "io/FrameSinks.h"
#include "io/OutputFormats.h"
#include "odometry/VoxelGrid.h"

#include <Eigen/Core>

#include <QString>

#include <memory>
#include <vector>

namespace hvk32::odometry {

// Whether `format` can hold a map: not CSV (a frame's angles and distances) nor KITTI (a
// folder of frames).
bool isMapFormat(OutputFormat format);
// A file dialog's filter of the map formats in the format list's order, `first` first:
// "LAS (*.las);;PCD (*.pcd);;...".
QString mapFileDialogFilter(OutputFormat first);
// ".pcd, .ply, .las or .mcap": the map formats' extensions.
QString mapExtensionList();

// Appends point i of `from`, moved to `p` and given `time`, to `to`.
void appendMapPoint(const PointArrays& from, std::size_t i, const Eigen::Vector3f& p, float time, PointArrays& to);

// The first point of each voxel of a grid through the origin: a point whose voxel already
// holds one is left out.
class MapThinning {
public:
    explicit MapThinning(double voxelSize);
    void clear();
    // True when p's voxel held no point yet; it holds p from now on.
    bool take(const Eigen::Vector3f& p)
    {
        const auto n = static_cast<std::int32_t>(voxels_.size());
        return voxels_.insert(voxelOf(p.x(), p.y(), p.z(), inverse_), n) == n;
    }
    std::size_t size() const { return voxels_.size(); }

private:
    double inverse_;
    VoxelIndex voxels_;
};

class MapWriter {
public:
    // `source` says where the frames come from and who writes; whether it is written as one
    // frame follows from the format.
    MapWriter(const QString& out, OutputFormat format, double voxelSize, SinkSource source);

    bool canCreate() { return sink_->canCreate(); }
    QString error() const { return sink_->error(); }

    // Adds frame `f`'s points (`points`, moved into the map as `world`, one per point), its first
    // firing `secondsFromFirst` after the first frame's. False with error() set when the
    // output cannot be written.
    bool add(const ExportFrame& f, const PointArrays& points, const std::vector<Eigen::Vector3f>& world,
             double secondsFromFirst);
    // Completes the output (nothing is written when no frame was added).
    bool finish();

    unsigned long long points() const { return written_; }

private:
    bool perFrame_;
    std::unique_ptr<FrameSink> sink_;
    MapThinning thinning_;
    PointArrays frame_;
    bool opened_ = false;
    unsigned long long written_ = 0;
    long frames_ = 0;
    ConversionSnapshot last_;
    FrameTime lastTime_;
    int lastId_ = 1;
    bool lastDual_ = false;
};

} // namespace hvk32::odometry
