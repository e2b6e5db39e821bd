#pragma once
// Where "hvk32-cli export" sends the frames it plays: one CSV file, one PCD or PLY file per
// frame, one LAS file, or a folder of KITTI files. Every file is written under a temporary
// name beside its target and takes the target's name only once it is whole: a run that ends
// early or fails leaves the single-file outputs unwritten, and of the per-frame outputs only
// the files of frames written completely.

#include "records/LidarData.h"
#include "convert/ConversionSnapshot.h"
#include "io/CsvExport.h"

#include "convert/PointFields.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <string>

namespace hvk32 {

class CapturePlayerCore;
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

// The window's CSV export, byte for byte.
std::unique_ptr<FrameSink> makeCsvSink(const QString& path, const CsvExportOptions& selection);

enum class CloudFormat { Pcd, Ply };
// "scan.pcd" or "scan" with frame 7: "scan-000007.pcd"; the same with ".ply".
QString cloudFileName(const QString& out, int frameId, CloudFormat format);
// One binary PCD or PLY file per frame, returns of distance 0 left out.
std::unique_ptr<FrameSink> makeCloudFileSink(const QString& out, CloudFormat format, const CsvExportOptions& selection,
                                             const pointfile::FieldSet& fields);

// What a LAS file's header says about where it came from.
struct LasOrigin {
    QString generatingSoftware;        // "hvk32-cli 0.1.0"
    std::uint16_t creationDayOfYear = 0; // the capture's date
    std::uint16_t creationYear = 0;
};
// One LAS 1.2 file (point data format 1) of every frame, returns of distance 0 left out.
std::unique_ptr<FrameSink> makeLasSink(const QString& path, const CsvExportOptions& selection, const LasOrigin& origin);

// The part of a capture an export covers, for an output that carries more than its frames.
struct CapturePart {
    bool fromStart = true; // from the capture's first record, else from its first frame
    bool toEnd = true;     // to the capture's last record, else to the end of its last frame
};

// One MCAP file for ROS 2 and Foxglove: a sensor_msgs/msg/PointCloud2 (CDR) per frame on
// /hvk32/points, stamped and logged at the capture time of the frame's first packet, and a
// JSON message per device-info packet of `part` on /hvk32/device_info, logged at its own
// capture time (a part that starts at a frame begins with the packet in force there).
// `compression` is "zstd", "lz4" or "none"; `pcap` is the capture the frames come from.
std::unique_ptr<FrameSink> makeMcapSink(const QString& path, const QString& pcap, const CsvExportOptions& selection,
                                        const std::string& compression, const std::string& library,
                                        const CapturePart& part);

// A folder of KITTI files, 000000.bin for the first frame written; created when missing.
std::unique_ptr<FrameSink> makeKittiSink(const QString& dir, const CsvExportOptions& selection);

} // namespace hvk32
