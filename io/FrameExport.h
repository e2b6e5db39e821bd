#pragma once
// The window's exports of the frame on screen and of its selected points, in every format,
// through the command line's writers (makeSink): a frame played from a capture is written as
// "hvk32-cli export --from N --to N" writes frame N of it, apart from the CSV's FrameID,
// which is 1 as in every export of the window.

#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "io/FrameSinks.h"
#include "records/LidarData.h"

#include <QString>

#include <vector>

namespace hvk32 {

struct ConvertedPoint;

// The frame on screen and where it came from.
struct ShownFrame {
    const LidarData& frame;
    const ConversionSnapshot& snapshot;
    QString capture;       // the capture it was played from; empty for a live frame
    int number = 0;        // its number in the capture, from 1 (0: unknown, written as a live frame)
    bool dualEcho = false; // a live frame's device sends two returns
};

// Writes the frame's points that `options` let through into `path` as one frame of `format`,
// `software` ("hvk32 0.1.0") naming the writer where the format records it. A live frame is
// stamped with the time of the export. Returns the points written, or -1 with *error set and
// no file left behind.
qint64 exportShownFrame(const QString& path, OutputFormat format, const ShownFrame& shown, const SinkOptions& options,
                        const QString& software, QString* error);

// The same with the given points of the frame (named by channel and index), in their order,
// as the frame's whole conversion holds them (exact precision, every return).
qint64 exportShownPoints(const QString& path, OutputFormat format, const ShownFrame& shown,
                         const std::vector<ConvertedPoint>& selected, const QString& software, QString* error);

} // namespace hvk32
