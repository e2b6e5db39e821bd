#include "io/FrameSinks.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoJson.h"
#include "io/CsvExport.h"
#include "io/KittiFiles.h"
#include "io/LasFile.h"
#include "io/McapFile.h"
#include "io/OutputDevice.h"
#include "io/OutputFile.h"
#include "io/PcdFile.h"
#include "io/PlyFile.h"
#include "io/PointCloud2.h"
#include "io/PointFileOutput.h"
#include "io/WritingThread.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <deque>
#include <limits>
#include <vector>

namespace hvk32 {

QList<int> SinkOptions::allChannels()
{
    QList<int> all;
    for (int c = 0; c < kChannelCount; ++c)
        all << c;
    return all;
}

ConversionOptions SinkOptions::conversionOptions(Precision precision) const
{
    return CsvExportOptions{channels, angleMin, angleMax, distanceMin, distanceMax}.conversionOptions(precision);
}

ConversionOptions binaryConversion(const SinkOptions& options)
{
    ConversionOptions conversion = options.conversionOptions(Precision::Fast);
    conversion.keepZeroDistances = false;
    return conversion;
}

namespace {

constexpr double kMicrosecondsPerSecond = 1e6; // device time stamps

// OutputFile::checkTarget with the error kept as a sink keeps it.
bool checkTarget(const QString& path, bool seeks, QString& error)
{
    std::string reason;
    if (pointfile::OutputFile::checkTarget(path.toLocal8Bit().toStdString(), seeks, &reason))
        return true;
    error = QString::fromLocal8Bit(reason.c_str());
    return false;
}

// Converts each frame with the sink's options and hands its points to the format.
class PointSink : public FrameSink {
public:
    qint64 write(const ExportFrame& f) final
    {
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        return writePoints(f, points_);
    }

protected:
    explicit PointSink(const ConversionOptions& options) : options_(options) {}

    ConversionOptions options_;

private:
    PointConversion conversion_;
    PointArrays points_; // storage kept from frame to frame
};

// An output of one file: opened under a temporary name, renamed to its target by finish(),
// removed when the sink goes without it. The first failure is the one reported.
class SingleFileSink : public PointSink {
public:
    bool canCreate() override { return checkTarget(path_, seeks_, error_); }
    bool open() override
    {
        if (!prepare())
            return false;
        return file_.open(path_.toLocal8Bit().toStdString()) && begin() ? true : fail();
    }
    bool finish() override
    {
        if (!error_.isEmpty())
            return false;
        return end() && file_.commit() ? true : fail();
    }
    bool keepsWrittenFrames() const override { return false; }

protected:
    // `seeks`: the format writes over its start last.
    SingleFileSink(const QString& path, const ConversionOptions& options, bool seeks)
        : PointSink(options), path_(path), file_(pointfile::OutputFile::Writing::Behind), seeks_(seeks)
    {
    }

    // Before the file is made; false with error_ set.
    virtual bool prepare() { return true; }
    // What comes before the first frame and after the last.
    virtual bool begin() { return true; }
    virtual bool end() { return true; }
    // Why the output failed, when nothing said so before.
    virtual QString failure() const
    {
        return file_.error().empty() ? QStringLiteral("%1 cannot be written").arg(path_)
                                     : QString::fromLocal8Bit(file_.error().c_str());
    }
    bool fail()
    {
        if (error_.isEmpty())
            error_ = failure();
        return false;
    }

    QString path_;
    pointfile::OutputFile file_;

private:
    bool seeks_;
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

// An output of one file per frame, each written behind the conversion and complete on its own.
class FrameFilesSink : public PointSink {
public:
    // The files go beside the first one.
    bool canCreate() override { return checkTarget(oneFile_.isEmpty() ? fileOf(1, 0) : oneFile_, false, error_); }
    bool open() override { return true; }

    qint64 writePoints(const ExportFrame& f, const PointArrays& points) final
    {
        std::string header;
        const std::size_t bytes = pack(points, header, records_);
        const qint64 n = static_cast<qint64>(points.size);
        const QString path = oneFile_.isEmpty() ? fileOf(f.frameId, written_) : oneFile_;
        if (!files_.submit(path.toLocal8Bit().toStdString(), header, records_, bytes, n, error_))
            return -1;
        ++written_;
        return n;
    }

    bool settle(long& frames, unsigned long long& points) override { return files_.settle(frames, points, error_); }
    bool finish() override { return error_.isEmpty(); }
    bool keepsWrittenFrames() const override { return true; }

protected:
    // `oneFile`: the one frame's file, instead of a file per frame.
    FrameFilesSink(const ConversionOptions& options, const QString& oneFile) : PointSink(options), oneFile_(oneFile) {}

    // The file of the frame with this id, the `written`-th of the run (from 0).
    virtual QString fileOf(int frameId, long written) const = 0;
    // Fills `header` and `records` with the file of `points`; returns the records' bytes.
    virtual std::size_t pack(const PointArrays& points, std::string& header, std::vector<char>& records) = 0;

    const QString oneFile_;

private:
    long written_ = 0;
    std::vector<char> records_; // storage kept from frame to frame
    FramesBehind files_;
};

class CsvSink : public SingleFileSink {
public:
    CsvSink(const QString& path, const SinkOptions& options)
        : SingleFileSink(path, options.conversionOptions(Precision::Exact), false), device_(file_)
    {
    }

    qint64 writePoints(const ExportFrame& f, const PointArrays& points) override
    {
        const qint64 n = writeCsvPoints(&device_, f.frameId, f.frame, points);
        if (n < 0)
            fail();
        return n;
    }

private:
    bool begin() override
    {
        const QByteArray header = csvHeaderLine();
        return file_.write(header.data(), std::size_t(header.size()));
    }

    OutputDevice device_;
};

// The points the CSV export would write for the frame, less the returns of distance 0.
class CloudFileSink : public FrameFilesSink {
public:
    CloudFileSink(const QString& out, OutputFormat format, const SinkOptions& options, const QString& oneFile)
        : FrameFilesSink(binaryConversion(options), oneFile), out_(out), format_(format), fields_(options.fields)
    {
        options_.fillIntensity = fields_.has(pointfile::Field::Intensity);
        options_.fillChannel = fields_.has(pointfile::Field::Ring);
        options_.fillTime = fields_.has(pointfile::Field::Time);
        options_.fillEcho = fields_.has(pointfile::Field::Return);
    }

private:
    QString fileOf(int frameId, long) const override { return frameFileName(out_, frameId, format_); }
    std::size_t pack(const PointArrays& points, std::string& header, std::vector<char>& records) override
    {
        pointfile::packRecords(points, fields_, records);
        header = format_ == OutputFormat::Pcd ? pointfile::pcdHeader(fields_, points.size)
                                              : pointfile::plyHeader(fields_, points.size);
        return points.size * fields_.recordSize();
    }

    QString out_;
    OutputFormat format_;
    pointfile::FieldSet fields_;
};

class KittiSink : public FrameFilesSink {
public:
    KittiSink(const QString& dir, const SinkOptions& options, const QString& oneFile)
        : FrameFilesSink(binaryConversion(options), oneFile), dir_(dir)
    {
        // x, y, z and intensity
        options_.fillChannel = options_.fillTime = options_.fillEcho = false;
    }

    // An existing folder takes the files; a missing one is made inside the nearest folder
    // above it, which must be writable.
    bool canCreate() override
    {
        if (!oneFile_.isEmpty())
            return FrameFilesSink::canCreate();
        QFileInfo at(dir_);
        if (at.exists())
            return at.isDir() ? FrameFilesSink::canCreate() : refuse(QStringLiteral("%1 is not a folder").arg(dir_));
        while (!at.exists() && !at.isRoot() && at.absoluteFilePath() != at.absolutePath())
            at = QFileInfo(at.absolutePath());
        if (at.isDir() && at.isWritable())
            return true;
        return refuse(QStringLiteral("the folder %1 cannot be created: %2 is not a writable folder")
                          .arg(dir_, at.absoluteFilePath()));
    }

    bool open() override
    {
        if (!oneFile_.isEmpty() || QDir().mkpath(dir_))
            return true;
        return refuse(QStringLiteral("the folder %1 cannot be created").arg(dir_));
    }

private:
    QString fileOf(int, long written) const override
    {
        return QString::fromLocal8Bit(kitti::fileName(dir_.toLocal8Bit().toStdString(), written).c_str());
    }
    std::size_t pack(const PointArrays& points, std::string&, std::vector<char>& records) override
    {
        kitti::packRecords(points, records);
        return records.size();
    }
    bool refuse(const QString& reason)
    {
        error_ = reason;
        return false;
    }

    QString dir_;
};

// What a LAS file's header says about where it came from.
struct LasOrigin {
    QString generatingSoftware;          // "hvk32-cli 0.1.0"
    std::uint16_t creationDayOfYear = 0; // the capture's date
    std::uint16_t creationYear = 0;
};

// The software, and the capture's date: that of its first record (UTC), or today's when
// there is none.
LasOrigin lasOrigin(const SinkSource& source)
{
    LasOrigin origin;
    origin.generatingSoftware = source.software;
    QDate date = QDateTime::currentDateTimeUtc().date();
    capturefile::CaptureReader reader;
    capturefile::ScannerRecord record;
    if (!source.capture.isEmpty() && reader.open(source.capture)
        && reader.next(record) != capturefile::CaptureReader::Read::End)
        date = QDateTime::fromSecsSinceEpoch(reader.lastHeader().seconds, Qt::UTC).date();
    origin.creationDayOfYear = static_cast<std::uint16_t>(date.dayOfYear());
    origin.creationYear = static_cast<std::uint16_t>(date.year());
    return origin;
}

// The header is written last, over the space kept for it, once the counts and bounds are known.
class LasSink : public SingleFileSink {
public:
    LasSink(const QString& path, const SinkOptions& options, const LasOrigin& origin)
        : SingleFileSink(path, binaryConversion(options), true)
    {
        header_.systemIdentifier = "HVK32";
        header_.generatingSoftware = origin.generatingSoftware.toStdString();
        header_.creationDayOfYear = origin.creationDayOfYear;
        header_.creationYear = origin.creationYear;
    }

    qint64 writePoints(const ExportFrame& f, const PointArrays& points) override
    {
        records_.clear();
        const double start = static_cast<double>(frameStartTime(f.frame)) / kMicrosecondsPerSecond;
        if (!packer_.pack(points, static_cast<std::uint16_t>(f.frameId & 0xFFFF), start, f.dualEcho, records_)) {
            error_ = QStringLiteral("%1 cannot hold more than %2 points, the most a LAS 1.2 file counts")
                         .arg(path_)
                         .arg(las::kMaxPoints);
            return -1;
        }
        if (!file_.writeBlock(records_)) {
            fail();
            return -1;
        }
        return static_cast<qint64>(points.size);
    }

private:
    bool begin() override
    {
        const std::vector<char> placeholder(las::kHeaderSize, 0);
        return file_.write(placeholder.data(), placeholder.size());
    }
    bool end() override
    {
        packer_.fill(header_);
        const std::vector<char> header = las::headerBytes(header_);
        return file_.writeAt(0, header.data(), header.size());
    }

    las::Header header_;
    las::PointPacker packer_;
    std::vector<char> records_;
};

class McapSink : public SingleFileSink {
public:
    McapSink(const QString& path, const SinkOptions& options, mcap::Compression compression, const SinkSource& source)
        : SingleFileSink(path, binaryConversion(options), false), pcap_(source.capture), writer_(compression),
          library_(source.software.toStdString()), part_(source.part)
    {
    }

    qint64 writePoints(const ExportFrame& f, const PointArrays& points) override
    {
        const std::uint64_t time = nanoseconds(f.time.seconds, f.time.fraction);
        if (!writeDeviceInfosUpTo(time, pointsSequence_ == 0 && !part_.fromStart))
            return -1;
        lastFrameEnd_ = f.position;
        const auto encode = [&](char* message) {
            ros2::encodePointCloud2(static_cast<std::int32_t>(f.time.seconds),
                                    static_cast<std::uint32_t>(time % kNanosecondsPerSecond), kFrameId, points, message);
        };
        if (!writer_.write(kPointsChannel, pointsSequence_++, time, time, ros2::pointCloud2Size(kFrameId, points.size),
                           encode)) {
            fail();
            return -1;
        }
        return static_cast<qint64>(points.size);
    }

private:
    // The capture's device-info packets are read beside the frames; live frames have none.
    bool prepare() override
    {
        if (pcap_.isEmpty()) {
            infosRead_ = true;
            return true;
        }
        QString message;
        if (infoReader_.open(pcap_, &message))
            return true;
        error_ = QStringLiteral("%1: %2").arg(pcap_, message);
        return false;
    }

    bool begin() override
    {
        const std::string definition = ros2::pointCloud2Definition();
        const QByteArray schema = deviceInfoJsonSchema();
        return writer_.open(file_, "ros2", library_)
            && writer_.add(mcap::Schema{kPointsSchema, "sensor_msgs/msg/PointCloud2", "ros2msg", definition})
            && writer_.add(mcap::Schema{kInfoSchema, "hvk32/DeviceInfo", "jsonschema", schema.toStdString()})
            && writer_.add(mcap::Channel{kPointsChannel, kPointsSchema, "/hvk32/points", "cdr"})
            && writer_.add(mcap::Channel{kInfoChannel, kInfoSchema, "/hvk32/device_info", "json"});
    }

    bool end() override
    {
        return writeDeviceInfosBefore(part_.toEnd ? kWholeFile : lastFrameEnd_) && writer_.close();
    }

    QString failure() const override
    {
        return writer_.error().empty() ? SingleFileSink::failure()
                                       : QStringLiteral("%1 cannot be written: %2").arg(path_, QString::fromStdString(writer_.error()));
    }

    static constexpr std::uint16_t kPointsSchema = 1, kInfoSchema = 2;
    static constexpr std::uint16_t kPointsChannel = 1, kInfoChannel = 2;
    static constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
    inline static const std::string& kFrameId = ros2::kFrameId;

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

    QString pcap_;
    mcap::Writer writer_;
    std::string library_;
    capturefile::CaptureReader infoReader_; // the device-info packets, read as frames need them
    std::deque<DeviceInfo> pending_;         // read, not yet written
    bool infosRead_ = false;                 // to the end of the capture
    const CapturePart part_;
    qint64 lastFrameEnd_ = 0;                // file position after the last frame written
    std::uint32_t pointsSequence_ = 0, infoSequence_ = 0;
};

} // namespace

QString frameFileName(const QString& out, int frameId, OutputFormat format)
{
    const QLatin1String suffix(outputFormatInfo(format).extension);
    QString stem = out;
    if (stem.endsWith(suffix, Qt::CaseInsensitive))
        stem.chop(suffix.size());
    return QStringLiteral("%1-%2%3").arg(stem).arg(frameId, 6, 10, QLatin1Char('0')).arg(suffix);
}

std::unique_ptr<FrameSink> makeSink(const QString& out, OutputFormat format, const SinkOptions& options,
                                    const SinkSource& source)
{
    const QString oneFile = source.oneFrame ? out : QString();
    switch (format) {
    case OutputFormat::Csv: return std::make_unique<CsvSink>(out, options);
    case OutputFormat::Pcd:
    case OutputFormat::Ply: return std::make_unique<CloudFileSink>(out, format, options, oneFile);
    case OutputFormat::Las: return std::make_unique<LasSink>(out, options, lasOrigin(source));
    case OutputFormat::Kitti: return std::make_unique<KittiSink>(out, options, oneFile);
    case OutputFormat::Mcap: break;
    }
    mcap::Compression compression = mcap::Compression::Zstd;
    mcap::parseCompression(options.compression, compression);
    return std::make_unique<McapSink>(out, options, compression, source);
}

qint64 writeOneFrame(FrameSink& sink, const ExportFrame& frame, QString* error, const PointArrays* chosen)
{
    long frames = 1;
    unsigned long long points = 0;
    qint64 written = -1;
    if (sink.canCreate() && sink.open()) {
        written = chosen ? sink.writePoints(frame, *chosen) : sink.write(frame);
        if (written >= 0)
            points = static_cast<unsigned long long>(written);
        if (!sink.settle(frames, points) || written < 0 || !sink.finish())
            written = -1;
    }
    if (written < 0 && error)
        *error = sink.error();
    return written;
}

} // namespace hvk32
