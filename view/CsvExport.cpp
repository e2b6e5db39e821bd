#include "view/CsvExport.h"

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

constexpr double kFullTurn = 360.0;
constexpr float kCentimetresPerMetre = 100.0f;

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

ConversionSnapshot ConversionSnapshot::of(const CloudParameters& params)
{
    ConversionSnapshot s;
    s.degreeMode = params.degreeMode;
    s.modeKnown = params.modeKnown;
    std::copy(params.offsetAngles, params.offsetAngles + 4, s.offsetAngles);
    std::copy(params.deviceVerticalAngles, params.deviceVerticalAngles + kChannelCount, s.deviceVerticalAngles);
    return s;
}

ConversionSnapshot ConversionSnapshot::of(int degreeMode, int modeKnown, const DeviceCalibration& calibration)
{
    ConversionSnapshot s;
    s.degreeMode = degreeMode;
    s.modeKnown = modeKnown;
    std::copy(calibration.offsetAngles.begin(), calibration.offsetAngles.end(), s.offsetAngles);
    std::copy(calibration.verticalAngles.begin(), calibration.verticalAngles.end(), s.deviceVerticalAngles);
    return s;
}

ConversionSnapshot ConversionSnapshot::ofDevice(int degreeMode, int modeKnown, const std::array<float, 4>& offsetAngles)
{
    DeviceCalibration calibration = publishedCalibration();
    calibration.offsetAngles = offsetAngles;
    return of(degreeMode, modeKnown, calibration);
}

FixedOffsetConverter::FixedOffsetConverter(const ConversionSnapshot& snapshot) : modeKnown_(snapshot.modeKnown)
{
    const float* vertical = verticalAnglesInUse(snapshot.degreeMode, snapshot.deviceVerticalAngles);
    for (int c = 0; c < kChannelCount; ++c) {
        beams_[c] = beamTrigOf(vertical[c]);
        offsets_[c] = snapshot.offsetAngles[fixedOffsetIndex(snapshot.degreeMode, c)];
    }
}

FixedOffsetConverter::Point FixedOffsetConverter::convert(int channel, float rawDistance, float azimuth) const
{
    const float d = scaledDistanceCm(rawDistance, modeKnown_);
    const double theta = static_cast<double>(azimuth) + offsets_[channel];
    const Xyz p = beamCoordinates(d, beams_[channel], theta);
    return {p.x, p.y, p.z, theta, d};
}

float exportAzimuth(double theta)
{
    if (theta > kFullTurn)
        theta -= kFullTurn;
    else if (theta < 0.0)
        theta += kFullTurn;
    return static_cast<float>(theta);
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

// One point's line, or none when its azimuth lies outside the options' range.
bool writeCsvPoint(std::ostream& out, CsvLine& line, int frameId, const LidarData& frame, int c, std::size_t j,
                   const FixedOffsetConverter& converter, const CsvExportOptions* options)
{
    const FixedOffsetConverter::Point p = converter.convert(c, frame.distances[c][j], frame.azimuths[c][j]);
    const float azimuth = exportAzimuth(p.theta);
    if (options && !options->inRange(azimuth))
        return false;
    const std::uint64_t time = frame.timestamps[c][j];
    line.field(frameId).field(p.x).field(p.y).field(p.z).field(frame.intensities[c][j]);
    line.field(static_cast<unsigned>(c)).field(azimuth).field(p.distanceCm / kCentimetresPerMetre);
    line.field(time).field(time).writeTo(out);
    return true;
}

// The export's lines of one frame.
qint64 writeCsvPoints(std::ostream& out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                      const ConversionSnapshot& snapshot)
{
    CsvLine line;
    const FixedOffsetConverter converter(snapshot);
    const std::array<bool, kChannelCount> listed = channelMask(options.channels);
    qint64 written = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!listed[static_cast<std::size_t>(c)])
            continue;
        const std::size_t n = channelPointCount(frame, c);
        for (std::size_t j = 0; j < n; ++j)
            written += writeCsvPoint(out, line, frameId, frame, c, j, converter, &options);
    }
    return out ? written : -1;
}

// The export's lines of the listed points of one frame, in their order.
qint64 writeCsvPoints(std::ostream& out, int frameId, const LidarData& frame,
                      const std::vector<ConvertedPoint>& points, const ConversionSnapshot& snapshot)
{
    CsvLine line;
    const FixedOffsetConverter converter(snapshot);
    qint64 written = 0;
    for (const ConvertedPoint& p : points)
        if (p.channel >= 0 && p.channel < kChannelCount && p.index < channelPointCount(frame, p.channel))
            written += writeCsvPoint(out, line, frameId, frame, p.channel, p.index, converter, nullptr);
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

bool CsvExportSession::arm(const QString& path, int frames, float angleMin, float angleMax, const QList<int>& channels)
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
    options_ = {channels, angleMin, angleMax};
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
