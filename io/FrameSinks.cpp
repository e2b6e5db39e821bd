#include "io/FrameSinks.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoJson.h"
#include "io/KittiFiles.h"
#include "io/LasFile.h"
#include "io/McapFile.h"
#include "io/OutputDevice.h"
#include "io/PointCloud2.h"
#include "io/OutputFile.h"
#include "io/PcdFile.h"
#include "io/PlyFile.h"
#include "convert/PointConversion.h"
#include "io/PointFileOutput.h"
#include "io/WritingThread.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <deque>
#include <limits>
#include <vector>

namespace hvk32 {

namespace {

constexpr double kMicrosecondsPerSecond = 1e6; // device time stamps

// The conversion every binary output shares: the export's filters, returns of distance 0
// (which carry no position) left out.
ConversionOptions binaryConversion(const CsvExportOptions& selection)
{
    ConversionOptions options = selection.conversionOptions(Precision::Fast);
    options.keepZeroDistances = false;
    return options;
}

// OutputFile::checkTarget with the error kept as a sink keeps it.
bool checkTarget(const QString& path, bool seeks, QString& error)
{
    std::string reason;
    if (pointfile::OutputFile::checkTarget(path.toLocal8Bit().toStdString(), seeks, &reason))
        return true;
    error = QString::fromLocal8Bit(reason.c_str());
    return false;
}

class CsvSink : public FrameSink {
public:
    CsvSink(const QString& path, const CsvExportOptions& selection)
        : path_(path), file_(pointfile::OutputFile::Writing::Behind), device_(file_), selection_(selection)
    {
    }

    bool canCreate() override { return checkTarget(path_, false, error_); }

    bool open() override
    {
        const QByteArray header = csvHeaderLine();
        return file_.open(path_.toLocal8Bit().toStdString()) && file_.write(header.data(), std::size_t(header.size()))
            ? true
            : fail();
    }

    qint64 write(const ExportFrame& f) override
    {
        const qint64 points = writeCsvFrame(&device_, f.frameId, f.frame, selection_, f.snapshot);
        if (points < 0)
            fail();
        return points;
    }

    bool finish() override { return file_.commit() ? true : fail(); }
    bool keepsWrittenFrames() const override { return false; }

private:
    bool fail()
    {
        if (error_.isEmpty())
            error_ = file_.error().empty() ? QStringLiteral("%1 cannot be written").arg(path_)
                                           : QString::fromLocal8Bit(file_.error().c_str());
        return false;
    }

    QString path_;
    pointfile::OutputFile file_;
    OutputDevice device_;
    CsvExportOptions selection_;
};

// The files of a frame-per-file output, written behind the conversion (WritingThread), with the
// points of each frame handed over, so the counts can be corrected for files that never
// reached the disk.
class FramesBehind {
public:
    // Hands over one frame's file; false with `error` set once a file has failed.
    bool submit(const std::string& path, const std::string& header, std::vector<char>& body, std::size_t bodyBytes,
                qint64 points, QString& error)
    {
        if (!files_.submit(path, header, body, bodyBytes)) {
            error = QString::fromLocal8Bit(files_.error().c_str());
            return false;
        }
        taken_.push_back(points);
        return true;
    }

    // FrameSink::settle.
    bool settle(long& frames, unsigned long long& points, QString& error)
    {
        for (std::size_t i = files_.settle(); i < taken_.size(); ++i) {
            --frames;
            points -= static_cast<unsigned long long>(taken_[i]);
        }
        taken_.clear();
        const std::string failure = files_.error();
        if (failure.empty())
            return true;
        error = QString::fromLocal8Bit(failure.c_str());
        return false;
    }

private:
    static std::string writeFile(pointfile::WritingThread::Piece& file)
    {
        std::string error;
        if (pointfile::writeWhole(file.path, file.header, file.body, file.body.size(), &error))
            return {};
        return error.empty() ? file.path + " cannot be written" : error;
    }

    pointfile::WritingThread files_{writeFile};
    std::vector<qint64> taken_; // the points of each frame handed over
};

// The points the CSV export would write for the frame, less the returns of distance 0.
class CloudFileSink : public FrameSink {
public:
    CloudFileSink(const QString& out, CloudFormat format, const CsvExportOptions& selection,
                  const pointfile::FieldSet& fields)
        : out_(out), format_(format), options_(binaryConversion(selection)), fields_(fields)
    {
        options_.fillIntensity = fields.has(pointfile::Field::Intensity);
        options_.fillChannel = fields.has(pointfile::Field::Ring);
        options_.fillTime = fields.has(pointfile::Field::Time);
        options_.fillEcho = fields.has(pointfile::Field::Return);
    }

    // The files go beside the first one.
    bool canCreate() override { return checkTarget(cloudFileName(out_, 1, format_), false, error_); }
    bool open() override { return true; }

    qint64 write(const ExportFrame& f) override
    {
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        const std::string path = cloudFileName(out_, f.frameId, format_).toLocal8Bit().toStdString();
        const std::size_t n = points_.size;
        pointfile::packRecords(points_, fields_, records_);
        const std::string header = format_ == CloudFormat::Pcd ? pointfile::pcdHeader(fields_, n)
                                                              : pointfile::plyHeader(fields_, n);
        const qint64 points = static_cast<qint64>(n);
        return files_.submit(path, header, records_, n * fields_.recordSize(), points, error_) ? points : -1;
    }

    bool settle(long& frames, unsigned long long& points) override { return files_.settle(frames, points, error_); }

    bool finish() override { return error_.isEmpty(); }
    bool keepsWrittenFrames() const override { return true; }

private:
    QString out_;
    CloudFormat format_;
    ConversionOptions options_;
    pointfile::FieldSet fields_;
    PointConversion conversion_;
    PointArrays points_;        // storage kept from frame to frame
    std::vector<char> records_; // likewise
    FramesBehind files_;
};

// The header is written last, over the space kept for it, once the counts and bounds are known.
class LasSink : public FrameSink {
public:
    LasSink(const QString& path, const CsvExportOptions& selection, const LasOrigin& origin)
        : path_(path), file_(pointfile::OutputFile::Writing::Behind), options_(binaryConversion(selection))
    {
        header_.systemIdentifier = "HVK32";
        header_.generatingSoftware = origin.generatingSoftware.toStdString();
        header_.creationDayOfYear = origin.creationDayOfYear;
        header_.creationYear = origin.creationYear;
    }

    // The header is written last, over its place at the start: the file must take that.
    bool canCreate() override { return checkTarget(path_, true, error_); }

    bool open() override
    {
        const std::vector<char> placeholder(las::kHeaderSize, 0);
        return file_.open(path_.toLocal8Bit().toStdString()) && file_.write(placeholder.data(), placeholder.size())
            ? true
            : fail();
    }

    qint64 write(const ExportFrame& f) override
    {
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        records_.clear();
        const double start = static_cast<double>(frameStartTime(f.frame)) / kMicrosecondsPerSecond;
        if (!packer_.pack(points_, static_cast<std::uint16_t>(f.frameId & 0xFFFF), start, f.dualEcho, records_)) {
            error_ = QStringLiteral("%1 cannot hold more than %2 points, the most a LAS 1.2 file counts")
                         .arg(path_)
                         .arg(las::kMaxPoints);
            return -1;
        }
        if (!file_.writeBlock(records_)) {
            fail();
            return -1;
        }
        return static_cast<qint64>(points_.size);
    }

    bool finish() override
    {
        if (!error_.isEmpty())
            return false;
        packer_.fill(header_);
        const std::vector<char> header = las::headerBytes(header_);
        return file_.writeAt(0, header.data(), header.size()) && file_.commit() ? true : fail();
    }

    bool keepsWrittenFrames() const override { return false; }

private:
    bool fail()
    {
        if (error_.isEmpty())
            error_ = QString::fromLocal8Bit(file_.error().c_str());
        return false;
    }

    QString path_;
    pointfile::OutputFile file_;
    ConversionOptions options_;
    las::Header header_;
    las::PointPacker packer_;
    PointConversion conversion_;
    PointArrays points_;
    std::vector<char> records_;
};

class McapSink : public FrameSink {
public:
    McapSink(const QString& path, const QString& pcap, const CsvExportOptions& selection,
             mcap::Compression compression, const std::string& library, const CapturePart& part)
        : path_(path), pcap_(pcap), options_(binaryConversion(selection)), writer_(compression), library_(library),
          part_(part)
    {
    }

    bool canCreate() override { return checkTarget(path_, false, error_); }

    bool open() override
    {
        QString message;
        if (!infoReader_.open(pcap_, &message)) {
            error_ = QStringLiteral("%1: %2").arg(pcap_, message);
            return false;
        }
        const std::string definition = ros2::pointCloud2Definition();
        const QByteArray schema = deviceInfoJsonSchema();
        if (!file_.open(path_.toLocal8Bit().toStdString()) || !writer_.open(file_, "ros2", library_)
            || !writer_.add(mcap::Schema{kPointsSchema, "sensor_msgs/msg/PointCloud2", "ros2msg", definition})
            || !writer_.add(mcap::Schema{kInfoSchema, "hvk32/DeviceInfo", "jsonschema", schema.toStdString()})
            || !writer_.add(mcap::Channel{kPointsChannel, kPointsSchema, "/hvk32/points", "cdr"})
            || !writer_.add(mcap::Channel{kInfoChannel, kInfoSchema, "/hvk32/device_info", "json"}))
            return fail();
        return true;
    }

    qint64 write(const ExportFrame& f) override
    {
        const std::uint64_t time = nanoseconds(f.time.seconds, f.time.fraction);
        if (!writeDeviceInfosUpTo(time, pointsSequence_ == 0 && !part_.fromStart))
            return -1;
        lastFrameEnd_ = f.position;
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        const auto encode = [&](char* message) {
            ros2::encodePointCloud2(static_cast<std::int32_t>(f.time.seconds),
                                    static_cast<std::uint32_t>(time % kNanosecondsPerSecond), kFrameId, points_, message);
        };
        if (!writer_.write(kPointsChannel, pointsSequence_++, time, time, ros2::pointCloud2Size(kFrameId, points_.size),
                           encode)) {
            fail();
            return -1;
        }
        return static_cast<qint64>(points_.size);
    }

    bool finish() override
    {
        if (!error_.isEmpty() || !writeDeviceInfosBefore(part_.toEnd ? kWholeFile : lastFrameEnd_))
            return false;
        return writer_.close() && file_.commit() ? true : fail();
    }

    bool keepsWrittenFrames() const override { return false; }

private:
    static constexpr std::uint16_t kPointsSchema = 1, kInfoSchema = 2;
    static constexpr std::uint16_t kPointsChannel = 1, kInfoChannel = 2;
    static constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
    inline static const std::string kFrameId = "hvk32";

    static constexpr qint64 kWholeFile = std::numeric_limits<qint64>::max();

    struct DeviceInfo {
        std::uint64_t time; // [ns]
        qint64 offset;      // of its record in the capture
        QByteArray json;
    };

    std::uint64_t nanoseconds(std::uint32_t seconds, std::uint32_t fraction) const
    {
        return seconds * kNanosecondsPerSecond + fraction * (infoReader_.format().nanoseconds ? 1u : 1000u);
    }

    // Reads on through the capture, beside the player, until `pending_` holds `count`
    // device-info packets not yet written or the capture ends. A frame needs only those up
    // to its start, so nothing is read ahead of the export.
    void readDeviceInfos(std::size_t count)
    {
        while (pending_.size() < count && !infosRead_) {
            const std::uint8_t* record = nullptr;
            qint64 offset = 0;
            const auto read = infoReader_.next(&record, &offset);
            if (read == capturefile::CaptureReader::Read::End) {
                infosRead_ = true;
                break;
            }
            if (read != capturefile::CaptureReader::Read::Scanner)
                continue;
            const std::uint8_t* payload = record + capturefile::kPayloadOffset;
            if (payloadKindOf(payload) == PayloadKind::DeviceInfo)
                pending_.push_back({nanoseconds(infoReader_.lastHeader().seconds, infoReader_.lastHeader().fraction),
                                    offset, deviceInfoJson(payload)});
        }
    }

    // The device-info packets recorded up to `time`, in file order; before the first frame of
    // a part that starts there, only the one in force at its start.
    bool writeDeviceInfosUpTo(std::uint64_t time, bool firstFrameOnly)
    {
        if (firstFrameOnly)
            for (readDeviceInfos(2); pending_.size() > 1 && pending_[1].time <= time; readDeviceInfos(2))
                pending_.pop_front();
        for (readDeviceInfos(1); !pending_.empty() && pending_.front().time <= time; readDeviceInfos(1))
            if (!writeFirstPending())
                return false;
        return true;
    }

    // After the last frame: the device-info packets recorded before file position `end`
    // that no frame's start has called for yet.
    bool writeDeviceInfosBefore(qint64 end)
    {
        for (readDeviceInfos(1); !pending_.empty() && pending_.front().offset < end; readDeviceInfos(1))
            if (!writeFirstPending())
                return false;
        return true;
    }

    bool writeFirstPending()
    {
        const DeviceInfo& info = pending_.front();
        if (!writer_.write(kInfoChannel, infoSequence_++, info.time, info.time, info.json.constData(),
                           static_cast<std::size_t>(info.json.size())))
            return fail();
        pending_.pop_front();
        return true;
    }

    bool fail()
    {
        if (error_.isEmpty())
            error_ = !writer_.error().empty() ? QStringLiteral("%1 cannot be written: %2").arg(path_, QString::fromStdString(writer_.error()))
                                              : QString::fromLocal8Bit(file_.error().c_str());
        return false;
    }

    QString path_;
    QString pcap_;
    ConversionOptions options_;
    pointfile::OutputFile file_;
    mcap::Writer writer_;
    std::string library_;
    capturefile::CaptureReader infoReader_; // the device-info packets, read as frames need them
    std::deque<DeviceInfo> pending_;         // read, not yet written
    bool infosRead_ = false;                 // to the end of the capture
    const CapturePart part_;
    qint64 lastFrameEnd_ = 0;                // file position after the last frame written
    std::uint32_t pointsSequence_ = 0, infoSequence_ = 0;
    PointConversion conversion_;
    PointArrays points_;
};

class KittiSink : public FrameSink {
public:
    KittiSink(const QString& dir, const CsvExportOptions& selection)
        : dir_(dir), options_(binaryConversion(selection))
    {
        // x, y, z and intensity
        options_.fillChannel = options_.fillTime = options_.fillEcho = false;
    }

    // An existing folder takes the files; a missing one is made inside the nearest folder
    // above it, which must be writable.
    bool canCreate() override
    {
        QFileInfo at(dir_);
        if (at.exists())
            return at.isDir() ? checkTarget(QString::fromLocal8Bit(kitti::fileName(dir_.toLocal8Bit().toStdString(), 0).c_str()),
                                            false, error_)
                              : refuse(QStringLiteral("%1 is not a folder").arg(dir_));
        while (!at.exists() && !at.isRoot() && at.absoluteFilePath() != at.absolutePath())
            at = QFileInfo(at.absolutePath());
        if (at.isDir() && at.isWritable())
            return true;
        return refuse(QStringLiteral("the folder %1 cannot be created: %2 is not a writable folder")
                          .arg(dir_, at.absoluteFilePath()));
    }

    bool open() override
    {
        if (QDir().mkpath(dir_))
            return true;
        error_ = QStringLiteral("the folder %1 cannot be created").arg(dir_);
        return false;
    }

    qint64 write(const ExportFrame& f) override
    {
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        kitti::packRecords(points_, records_);
        const qint64 points = static_cast<qint64>(points_.size);
        if (!files_.submit(kitti::fileName(dir_.toLocal8Bit().toStdString(), next_), {}, records_, records_.size(),
                           points, error_))
            return -1;
        ++next_;
        return points;
    }

    bool settle(long& frames, unsigned long long& points) override { return files_.settle(frames, points, error_); }

    bool finish() override { return error_.isEmpty(); }
    bool keepsWrittenFrames() const override { return true; }

private:
    QString dir_;
    ConversionOptions options_;
    bool refuse(const QString& reason)
    {
        error_ = reason;
        return false;
    }

    long next_ = 0; // number of the next file
    PointConversion conversion_;
    PointArrays points_;
    std::vector<char> records_;
    FramesBehind files_;
};

} // namespace

QString cloudFileName(const QString& out, int frameId, CloudFormat format)
{
    const QLatin1String suffix(format == CloudFormat::Pcd ? ".pcd" : ".ply");
    QString stem = out;
    if (stem.endsWith(suffix, Qt::CaseInsensitive))
        stem.chop(suffix.size());
    return QStringLiteral("%1-%2%3").arg(stem).arg(frameId, 6, 10, QLatin1Char('0')).arg(suffix);
}

std::unique_ptr<FrameSink> makeCsvSink(const QString& path, const CsvExportOptions& selection)
{
    return std::make_unique<CsvSink>(path, selection);
}

std::unique_ptr<FrameSink> makeCloudFileSink(const QString& out, CloudFormat format, const CsvExportOptions& selection,
                                             const pointfile::FieldSet& fields)
{
    return std::make_unique<CloudFileSink>(out, format, selection, fields);
}

std::unique_ptr<FrameSink> makeLasSink(const QString& path, const CsvExportOptions& selection, const LasOrigin& origin)
{
    return std::make_unique<LasSink>(path, selection, origin);
}

std::unique_ptr<FrameSink> makeMcapSink(const QString& path, const QString& pcap, const CsvExportOptions& selection,
                                        const std::string& compression, const std::string& library,
                                        const CapturePart& part)
{
    mcap::Compression c = mcap::Compression::Zstd;
    mcap::parseCompression(compression, c);
    return std::make_unique<McapSink>(path, pcap, selection, c, library, part);
}

std::unique_ptr<FrameSink> makeKittiSink(const QString& dir, const CsvExportOptions& selection)
{
    return std::make_unique<KittiSink>(dir, selection);
}

} // namespace hvk32
