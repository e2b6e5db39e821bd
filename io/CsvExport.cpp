#include "io/CsvExport.h"

#include "records/AngleValues.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <locale>
#include <charconv>
#include <ostream>
#include <type_traits>
#include <sstream>

namespace hvk32 {

namespace {


// Channels 0..31 named in the list; anything else in it is ignored.
std::array<bool, kChannelCount> channelMask(const QList<int>& channels)
{
    std::array<bool, kChannelCount> mask{};
    for (int c : channels)
        if (c >= 0 && c < kChannelCount)
            mask[static_cast<std::size_t>(c)] = true;
    return mask;
}

} // namespace

ConversionOptions CsvExportOptions::conversionOptions(Precision precision) const
{
    ConversionOptions o;
    o.precision = precision;
    o.channels = channelMask(channels);
    o.keepZeroDistances = true;
    o.limitAzimuth = true;
    o.azimuthMin = angleMin;
    o.azimuthMax = angleMax;
    o.limitDistance = limitsDistance();
    o.distanceMin = distanceMin;
    o.distanceMax = distanceMax;
    return o;
}

void convertWholeFrame(const LidarData& frame, const ConversionSnapshot& snapshot, PointArrays& points)
{
    ConversionOptions whole; // every channel, every return, no azimuth range
    whole.precision = Precision::Exact;
    PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), whole, points);
}

std::vector<std::size_t> wholeFramePositions(const LidarData& frame, const std::vector<ConvertedPoint>& points)
{
    // The whole conversion keeps every point, channel after channel in list order.
    std::array<std::size_t, kChannelCount + 1> start{};
    for (int c = 0; c < kChannelCount; ++c)
        start[static_cast<std::size_t>(c) + 1] = start[static_cast<std::size_t>(c)] + channelPointCount(frame, c);
    std::vector<std::size_t> positions;
    positions.reserve(points.size());
    for (const ConvertedPoint& p : points)
        if (p.channel >= 0 && p.channel < kChannelCount && p.index < channelPointCount(frame, p.channel))
            positions.push_back(start[static_cast<std::size_t>(p.channel)] + p.index);
    return positions;
}

QByteArray csvHeaderLine()
{
    return "FrameID,Points_X,Points_Y,Points_Z,intensity,channel,azimuth,distance,adjustedtime,timestamp\n";
}

QString csvDefaultFileName(const QDateTime& now)
{
    return now.toString("yyyy-MM-dd-hh-mm") + ".csv";
}

namespace {

// Builds one CSV line with std::to_chars: the same text a default std::ostream writes
// (6 significant digits for floats, "." as the decimal point), without its cost.
class CsvLine {
public:
    template <typename T>
    CsvLine& field(T value)
    {
        if (end_ != buffer_)
            *end_++ = ',';
        std::to_chars_result r;
        if constexpr (std::is_floating_point_v<T>)
            r = std::to_chars(end_, buffer_ + sizeof buffer_, value, std::chars_format::general, 6);
        else
            r = std::to_chars(end_, buffer_ + sizeof buffer_, value);
        end_ = r.ptr;
        return *this;
    }
    void writeTo(std::ostream& out)
    {
        *end_++ = '\n';
        out.write(buffer_, end_ - buffer_);
        end_ = buffer_;
    }

private:
    char buffer_[256];
    char* end_ = buffer_;
};

QString cannotWrite(const QString& path, const QString& reason)
{
    return QCoreApplication::translate("CsvExport", "%1 cannot be written: %2").arg(path, reason);
}

// Point k's line.
void writeCsvLine(std::ostream& out, CsvLine& line, int frameId, const LidarData& frame, const PointArrays& points,
                  std::size_t k)
{
    const int c = points.channel[k];
    const std::size_t j = points.source[k];
    const std::uint64_t time = frame.timestamps[c][j];
    line.field(frameId).field(points.x[k]).field(points.y[k]).field(points.z[k]).field(frame.intensities[c][j]);
    line.field(static_cast<unsigned>(c)).field(points.azimuth[k]).field(points.distance[k]);
    line.field(time).field(time).writeTo(out);
}

// The export's lines of one frame.
qint64 writeCsvPoints(std::ostream& out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                      const ConversionSnapshot& snapshot)
{
    CsvLine line;
    // Exact: the text of every number stays what the export has always written.
    PointArrays points;
    PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options.conversionOptions(Precision::Exact),
                              points);
    for (std::size_t k = 0; k < points.size; ++k)
        writeCsvLine(out, line, frameId, frame, points, k);
    return out ? static_cast<qint64>(points.size) : -1;
}

// The export's lines of the given points of one frame, in their order.
qint64 writeCsvPoints(std::ostream& out, int frameId, const LidarData& frame,
                      const std::vector<ConvertedPoint>& selected, const ConversionSnapshot& snapshot)
{
    CsvLine line;
    PointArrays points;
    convertWholeFrame(frame, snapshot, points);
    qint64 written = 0;
    for (std::size_t k : wholeFramePositions(frame, selected)) {
        writeCsvLine(out, line, frameId, frame, points, k);
        ++written;
    }
    return out ? written : -1;
}

// Writes what `write` puts into a stream to the device, or returns -1.
template <typename Write>
qint64 writeToDevice(QIODevice* out, const Write& write)
{
    if (out == nullptr || !out->isWritable())
        return -1;
    std::ostringstream text;
    text.imbue(std::locale::classic()); // "." as the decimal point whatever the user's locale
    const qint64 points = write(text);
    const std::string bytes = text.str();
    if (points < 0 || out->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        return -1;
    return points;
}

} // namespace

qint64 writeCsvFrame(std::ostream& out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                     const ConversionSnapshot& snapshot)
{
    return writeCsvPoints(out, frameId, frame, options, snapshot);
}

qint64 writeCsvFrame(QIODevice* out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                     const ConversionSnapshot& snapshot)
{
    return writeToDevice(out, [&](std::ostream& text) { return writeCsvPoints(text, frameId, frame, options, snapshot); });
}

qint64 writeCsvPoints(QIODevice* out, int frameId, const LidarData& frame, const PointArrays& points)
{
    return writeToDevice(out, [&](std::ostream& text) {
        CsvLine line;
        for (std::size_t k = 0; k < points.size; ++k)
            writeCsvLine(text, line, frameId, frame, points, k);
        return text ? static_cast<qint64>(points.size) : -1;
    });
}

qint64 writeCsvSelection(QIODevice* out, const LidarData& frame, const std::vector<ConvertedPoint>& points,
                         const ConversionSnapshot& snapshot)
{
    const QByteArray header = csvHeaderLine();
    if (out == nullptr || !out->isWritable() || out->write(header) != header.size())
        return -1;
    return writeToDevice(out, [&](std::ostream& text) { return writeCsvPoints(text, 1, frame, points, snapshot); });
}

qint64 writeCsvSelection(const QString& path, const LidarData& frame, const std::vector<ConvertedPoint>& points,
                         const ConversionSnapshot& snapshot, QString* error)
{
    QFile file(path);
    qint64 written = -1;
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        written = writeCsvSelection(&file, frame, points, snapshot);
        if (!file.flush())
            written = -1;
    }
    if (written < 0 && error)
        *error = cannotWrite(path, file.errorString());
    return written;
}

bool CsvExportSession::arm(const QString& path, int frames, float angleMin, float angleMax, const QList<int>& channels,
                           float distanceMin, float distanceMax)
{
    if (file_.isOpen())
        file_.close(); // an earlier export still armed ends with what it has written
    frameCounter_ = 0;
    error_.clear();
    if (path.isEmpty()) {
        error_ = QCoreApplication::translate("CsvExport", "No file name was given");
        return false;
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        error_ = cannotWrite(path, file_.errorString());
        return false;
    }
    const QByteArray header = csvHeaderLine();
    if (file_.write(header) != header.size()) {
        error_ = cannotWrite(path, file_.errorString());
        file_.close();
        return false;
    }
    // Counting up to 0 would never end the export.
    framesToWrite_ = std::max(frames, 1);
    options_ = {channels, angleMin, angleMax, distanceMin, distanceMax};
    return true;
}

bool CsvExportSession::writeNext(const LidarData& frame, const ConversionSnapshot& snapshot)
{
    ++frameCounter_;
    if (writeCsvFrame(&file_, frameCounter_, frame, options_, snapshot) < 0) {
        error_ = cannotWrite(file_.fileName(), file_.errorString());
        return false;
    }
    return true;
}

void CsvExportSession::finish()
{
    if (!file_.flush() && error_.isEmpty())
        error_ = cannotWrite(file_.fileName(), file_.errorString());
    file_.close();
    frameCounter_ = 0;
}

bool CsvExportSession::writeFrame(const LidarData& frame, const ConversionSnapshot& snapshot)
{
    if (!file_.isOpen())
        return false;
    if (!writeNext(frame, snapshot) || frameCounter_ >= framesToWrite_) {
        finish();
        return true;
    }
    return false;
}

bool CsvExportSession::writeFinalFrame(const LidarData& frame, const ConversionSnapshot& snapshot)
{
    if (!file_.isOpen())
        return false;
    writeNext(frame, snapshot);
    finish();
    return error_.isEmpty();
}

void CsvExportSession::cancel()
{
    if (file_.isOpen())
        finish();
}

} // namespace hvk32
