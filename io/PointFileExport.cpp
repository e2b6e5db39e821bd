#include "io/PointFileExport.h"

#include "io/PcdFile.h"
#include "io/PlyFile.h"
#include "convert/PointFields.h"

namespace hvk32 {

PointFileFormat pointFileFormatOf(const QString& path)
{
    if (path.endsWith(QLatin1String(".pcd"), Qt::CaseInsensitive))
        return PointFileFormat::Pcd;
    if (path.endsWith(QLatin1String(".ply"), Qt::CaseInsensitive))
        return PointFileFormat::Ply;
    return PointFileFormat::Csv;
}

void convertFrameForFile(const LidarData& frame, const ConversionSnapshot& snapshot, ConversionOptions options,
                         PointArrays& out)
{
    options.precision = Precision::Exact;
    options.keepZeroDistances = false;
    PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, out);
}

namespace {

template <typename T>
void keep(const std::vector<T>& from, const std::vector<std::size_t>& positions, std::size_t size, std::vector<T>& to)
{
    to.clear();
    if (from.size() < size)
        return; // an array the conversion's precision does not fill
    for (std::size_t p : positions) {
        if (p < size)
            to.push_back(from[p]);
    }
}

} // namespace

void keepPoints(const PointArrays& all, const std::vector<std::size_t>& positions, PointArrays& out)
{
    const std::size_t n = all.size;
    keep(all.x, positions, n, out.x);
    keep(all.y, positions, n, out.y);
    keep(all.z, positions, n, out.z);
    keep(all.intensity, positions, n, out.intensity);
    keep(all.channel, positions, n, out.channel);
    keep(all.azimuth, positions, n, out.azimuth);
    keep(all.distance, positions, n, out.distance);
    keep(all.time, positions, n, out.time);
    keep(all.echo, positions, n, out.echo);
    keep(all.theta, positions, n, out.theta);
    keep(all.distanceCm, positions, n, out.distanceCm);
    keep(all.source, positions, n, out.source);
    out.size = out.x.size();
}

qint64 writePointFile(const QString& path, PointFileFormat format, const PointArrays& points, QString* error)
{
    const pointfile::FieldSet fields = pointfile::FieldSet::all();
    std::vector<char> scratch;
    std::string reason;
    const std::string target = path.toStdString();
    bool written = false;
    switch (format) {
    case PointFileFormat::Pcd: written = pointfile::writePcdFile(target, points, fields, scratch, &reason); break;
    case PointFileFormat::Ply: written = pointfile::writePlyFile(target, points, fields, scratch, &reason); break;
    case PointFileFormat::Csv: reason = target + ": not a PCD or PLY file name"; break;
    }
    if (!written) {
        if (error)
            *error = QString::fromStdString(reason);
        return -1;
    }
    return static_cast<qint64>(points.size);
}

} // namespace hvk32
