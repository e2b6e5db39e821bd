#include "cli/FrameSinks.h"

#include "cli/KittiFiles.h"
#include "cli/LasFile.h"
#include "cli/OutputFile.h"
#include "cli/PcdFile.h"
#include "cli/PlyFile.h"
#include "cli/PointFileOutput.h"
#include "view/PointConversion.h"

#include <QDir>
#include <QIODevice>

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

// The device the CSV writer takes, over an output file.
class OutputDevice : public QIODevice {
public:
    explicit OutputDevice(pointfile::OutputFile& file) : file_(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        return file_.write(data, static_cast<std::size_t>(size)) ? size : -1;
    }

private:
    pointfile::OutputFile& file_;
};

class CsvSink : public FrameSink {
public:
    CsvSink(const QString& path, const CsvExportOptions& selection) : path_(path), device_(file_), selection_(selection) {}

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

// The points the CSV export would write for the frame, less the returns of distance 0.
class CloudFileSink : public FrameSink {
public:
    CloudFileSink(const QString& out, CloudFormat format, const CsvExportOptions& selection,
                  const pointfile::FieldSet& fields)
        : out_(out), format_(format), options_(binaryConversion(selection)), fields_(fields)
    {
    }

    bool open() override { return true; }

    qint64 write(const ExportFrame& f) override
    {
        conversion_.convert(f.frame, f.snapshot, AngleTerms::fixed(f.snapshot), options_, points_);
        const std::string path = cloudFileName(out_, f.frameId, format_).toLocal8Bit().toStdString();
        std::string error;
        const bool written = format_ == CloudFormat::Pcd
            ? pointfile::writePcdFile(path, points_, fields_, records_, &error)
            : pointfile::writePlyFile(path, points_, fields_, records_, &error);
        if (written)
            return static_cast<qint64>(points_.size);
        error_ = QString::fromLocal8Bit(error.c_str());
        return -1;
    }

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
};

// The header is written last, over the space kept for it, once the counts and bounds are known.
class LasSink : public FrameSink {
public:
    LasSink(const QString& path, const CsvExportOptions& selection, const LasOrigin& origin)
        : path_(path), options_(binaryConversion(selection))
    {
        header_.systemIdentifier = "HVK32";
        header_.generatingSoftware = origin.generatingSoftware.toStdString();
        header_.creationDayOfYear = origin.creationDayOfYear;
        header_.creationYear = origin.creationYear;
    }

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
        if (!file_.write(records_.data(), records_.size())) {
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

class KittiSink : public FrameSink {
public:
    KittiSink(const QString& dir, const CsvExportOptions& selection)
        : dir_(dir), options_(binaryConversion(selection))
    {
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
        std::string error;
        if (!pointfile::writeWhole(kitti::fileName(dir_.toLocal8Bit().toStdString(), next_), {}, records_,
                                   records_.size(), &error)) {
            error_ = QString::fromLocal8Bit(error.c_str());
            return -1;
        }
        ++next_;
        return static_cast<qint64>(points_.size);
    }

    bool finish() override { return error_.isEmpty(); }
    bool keepsWrittenFrames() const override { return true; }

private:
    QString dir_;
    ConversionOptions options_;
    long next_ = 0; // number of the next file
    PointConversion conversion_;
    PointArrays points_;
    std::vector<char> records_;
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

std::unique_ptr<FrameSink> makeKittiSink(const QString& dir, const CsvExportOptions& selection)
{
    return std::make_unique<KittiSink>(dir, selection);
}

} // namespace hvk32
