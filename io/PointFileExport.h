#pragma once
// The window's PCD and PLY exports of the frame on screen and of its selection: the points
// as the CSV export converts them (one device offset angle per channel, exact precision),
// written with every field by the same writers as the command line's.

#include "records/LidarData.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"

#include <QString>

#include <vector>

namespace hvk32 {

enum class PointFileFormat { Csv, Pcd, Ply };

// By the file name's suffix, in any case: ".pcd", ".ply", anything else CSV.
PointFileFormat pointFileFormatOf(const QString& path);

// The points of `frame` with a distance, converted with `options`' filters (its precision
// and zero distances are set here).
void convertFrameForFile(const LidarData& frame, const ConversionSnapshot& snapshot, ConversionOptions options,
                         PointArrays& out);

// The points of `all` at `positions`, in that order; positions past its end are left out.
void keepPoints(const PointArrays& all, const std::vector<std::size_t>& positions, PointArrays& out);

// Replaces `path` with `points` as a PCD or PLY file. Returns the number of points, or -1
// with *error set.
qint64 writePointFile(const QString& path, PointFileFormat format, const PointArrays& points, QString* error);

} // namespace hvk32
