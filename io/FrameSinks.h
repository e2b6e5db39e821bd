#pragma once
// The writers of frames, one per output format (OutputFormats.h): the command line's export
// sends every frame it plays to one, the window one frame or its selected points. Every file
// is written under a temporary name beside its target and takes the target's name only once
// it is whole: a run that ends early or fails leaves the single-file outputs unwritten, and of
// the per-frame outputs only the files of frames written completely.

#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "convert/PointFields.h"
#include "io/OutputFormats.h"
#include "records/LidarData.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <memory>
#include <string>

namespace hvk32 {

struct FrameTime;

// One frame as the player emitted it, with what its conversion needs.
struct ExportFrame {
    int frameId; // the player's counter, from 1
    const LidarData& frame;
    const ConversionSnapshot& snapshot;
    bool dualEcho; // the capture's device reports dual echo
    const FrameTime& time;
    qint64 position; // the capture's file position after the frame's last record
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Whether the output can be created, asked before any work; false with error() set.
    virtual bool canCreate() = 0;
    virtual bool open() = 0;
    // The points written, or -1 with error() set. A sink that writes behind counts a frame
    // here when it has taken it; settle() corrects the counts.
    virtual qint64 write(const ExportFrame& frame) = 0;
    // The same with the frame's points given, converted by the caller (a selection of them).
    virtual qint64 writePoints(const ExportFrame& frame, const PointArrays& points) = 0;
    // Called once after the last write(): waits until the frames it took are on disk, and
    // takes those that did not get there off `frames` and `points`. False with error() set
    // when one did not.
    virtual bool settle(long& frames, unsigned long long& points)
    {
        Q_UNUSED(frames);
        Q_UNUSED(points);
        return true;
    }
    // Completes the output. Without this call (a run that stops early or failed) a
    // single-file output is removed when the sink goes.
    virtual bool finish() = 0;
    // Whether the frames written before a stop stay on disk (one file per frame).
    virtual bool keepsWrittenFrames() const = 0;
    const QString& error() const { return error_; }

protected:
    QString error_;
};

// Which points a sink writes, and how.
struct SinkOptions {
    QList<int> channels = allChannels(); // order and repeats do not matter
    float angleMin = 0.0f;               // azimuth range, bounds included [deg]
    float angleMax = 360.0f;
    // Distance range, bounds included [m]; the default lets every distance through.
    float distanceMin = 0.0f;
    float distanceMax = std::numeric_limits<float>::infinity();
    pointfile::FieldSet fields = pointfile::FieldSet::all(); // of each PCD and PLY point
    std::string compression = "zstd";                         // MCAP's chunks: zstd, lz4 or none

    static QList<int> allChannels(); // 0..31
    // The CSV's conversion: these channels and ranges, zero distances kept unless the
    // distance range starts above 0.
    ConversionOptions conversionOptions(Precision precision) const;
};

// The conversion every binary output shares: the options' filters, returns of distance 0
// (which carry no position) left out.
ConversionOptions binaryConversion(const SinkOptions& options);

// The part of a capture an export covers, for an output that carries more than its frames.
struct CapturePart {
    bool fromStart = true; // from the capture's first record, else from its first frame
    bool toEnd = true;     // to the capture's last record, else to the end of its last frame
};

// Where the frames come from and who writes them.
struct SinkSource {
    QString capture;   // the capture the frames are played from; empty for live frames
    CapturePart part;  // of the capture
    QString software;  // "hvk32-cli 0.1.0": LAS's generating software, MCAP's writing library
    bool oneFrame = false; // one frame: a format of one file per frame writes the name given
};

// The writer of `format` into `out` (a file, the first of one file per frame, or a folder as
// the format's layout says):
// - CSV: the header, then one line per point (the window's CSV export, byte for byte);
// - PCD, PLY: one binary file per frame, "scan.pcd" or "scan" with frame 7 giving
//   "scan-000007.pcd", with the options' fields;
// - LAS: one LAS 1.2 file (point data format 1) of every frame, the capture's date (else
//   today's) as its creation date;
// - KITTI: a folder of files, 000000.bin for the first frame written, created when missing;
// - MCAP: one file for ROS 2 and Foxglove: a sensor_msgs/msg/PointCloud2 (CDR) per frame on
//   /hvk32/points, stamped and logged at the capture time of the frame's first packet, and a
//   JSON message per device-info packet of the capture's part on /hvk32/device_info at its own
//   capture time (a part that starts at a frame begins with the packet in force there).
// The binary formats leave out returns of distance 0.
std::unique_ptr<FrameSink> makeSink(const QString& out, OutputFormat format, const SinkOptions& options,
                                    const SinkSource& source);

// "scan.pcd" or "scan" with frame 7: "scan-000007.pcd"; the same with ".ply".
QString frameFileName(const QString& out, int frameId, OutputFormat format);

// Writes one frame into `sink` and completes it: its points, or -1 with *error set and
// nothing left behind. With `chosen`, those points of the frame (see FrameSink::writePoints).
qint64 writeOneFrame(FrameSink& sink, const ExportFrame& frame, QString* error, const PointArrays* chosen = nullptr);

} // namespace hvk32
