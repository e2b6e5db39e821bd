// The installable library's logic: its frames are the frame reader's converted with the
// filter's options, reached in any order; its filters, its errors and the frames write()
// puts in a file.

#include "hvk32/hvk32.h"

#include "acquisition/CaptureFrameIndex.h"
#include "convert/FrameReader.h"
#include "convert/PointConversion.h"
#include "support/CaptureBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

using namespace hvk32;

namespace {

constexpr double kSecondsPerTimestampUnit = 1e-6;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A capture of some ten frames, with two data packets lost in the middle and a stretch of
// returns of distance 0.
QByteArray testCapture()
{
    test::CaptureBuilder b;
    b.deviceInfo().revolutions(5).dataExcept(200, [](int k, const std::uint8_t*) { return k == 120 || k == 121; });
    for (int k = 0; k < 20; ++k) {
        test::CaptureBuilder::Payload p{};
        b.stream().nextDataPacket(p.data());
        for (int block = 0; block < datapacket::kBlocksPerPacket; block += 2)
            for (int channel = 0; channel < datapacket::kChannelsPerBlock; ++channel)
                std::memset(p.data() + datapacket::channelOffset(block, channel), 0, 2);
        b.udp(p.data(), p.size(), b.stream().settings().dataPort);
    }
    return b.deviceInfo().revolutions(4).bytes();
}

// The frames of the capture read in order by the frame reader and converted with `options`.
std::vector<Frame> expectedFrames(const QString& path, const ConversionOptions& options)
{
    CaptureFrameIndex index;
    if (!index.build(path))
        return {};
    FrameReader reader(path, index);
    std::vector<Frame> frames;
    PointArrays p;
    while (reader.next()) {
        const ConversionSnapshot snapshot = reader.snapshot();
        PointConversion().convert(reader.frame(), snapshot, AngleTerms::fixed(snapshot), options, p);
        Frame f;
        f.number = reader.number();
        f.lostPackets = reader.lostPackets();
        f.startTime = static_cast<double>(frameStartTime(reader.frame())) * kSecondsPerTimestampUnit;
        for (std::size_t i = 0; i < p.size; ++i) {
            f.x.push_back(p.x[i]);
            f.y.push_back(p.y[i]);
            f.z.push_back(p.z[i]);
            f.intensity.push_back(static_cast<std::uint8_t>(p.intensity[i]));
            f.ring.push_back(p.channel[i]);
            f.time.push_back(p.time[i]);
            f.azimuth.push_back(p.azimuth[i]);
            f.distance.push_back(p.distance[i]);
            f.returnIndex.push_back(p.echo[i]);
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

bool sameFrame(const Frame& a, const Frame& b)
{
    return a.number == b.number && a.lostPackets == b.lostPackets && a.startTime == b.startTime && a.x == b.x
        && a.y == b.y && a.z == b.z && a.intensity == b.intensity && a.ring == b.ring && a.time == b.time
        && a.azimuth == b.azimuth && a.distance == b.distance && a.returnIndex == b.returnIndex;
}

// The error `action` throws, or none.
std::optional<Error> errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& e) {
        return e;
    }
    return std::nullopt;
}

// The LAS file's points per point source ID (the frame number).
std::map<int, int> lasPointsPerFrame(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    std::uint32_t offset = 0;
    std::uint32_t count = 0;
    std::memcpy(&offset, bytes.constData() + 96, 4);
    std::memcpy(&count, bytes.constData() + 107, 4);
    std::map<int, int> perFrame;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint16_t source = 0;
        std::memcpy(&source, bytes.constData() + offset + 28 * k + 18, 2);
        ++perFrame[source];
    }
    return perFrame;
}

} // namespace

Q_DECLARE_METATYPE(hvk32::Filter)
Q_DECLARE_METATYPE(std::function<void()>)

class PublicApiTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString capture_;

    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        capture_ = dir_.filePath("hall.pcap");
        QVERIFY(writeFile(capture_, testCapture()));
    }

    void framesAreTheReadersConverted_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::addColumn<int>("firstChannel");
        QTest::addColumn<int>("lastChannel");
        QTest::addColumn<double>("minDistance");
        QTest::addColumn<double>("maxDistance");
        const double none = std::numeric_limits<double>::infinity();
        QTest::newRow("every point") << Filter() << 0 << 31 << 0.0 << none;
        QTest::newRow("channels and distances") << Filter().channels(0, 15).distance(0.5, 30) << 0 << 15 << 0.5 << 30.0;
        QTest::newRow("one channel, zeros kept") << Filter().channels(std::vector<int>{7}).keepZero() << 7 << 7 << 0.0 << none;
        QTest::newRow("near points") << Filter().maxDistance(5) << 0 << 31 << 0.0 << 5.0;
    }

    // Frame k is the reader's frame k + 1 converted with the filter's options, read backwards
    // (each through the index) and then forwards (playing on); its points keep to the filter.
    void framesAreTheReadersConverted()
    {
        QFETCH(Filter, filter);
        QFETCH(int, firstChannel);
        QFETCH(int, lastChannel);
        QFETCH(double, minDistance);
        QFETCH(double, maxDistance);
        ConversionOptions options;
        options.precision = Precision::Fast;
        options.keepZeroDistances = filter.keepsZero();
        for (int c = 0; c < 32; ++c)
            options.channels[static_cast<std::size_t>(c)] = c >= firstChannel && c <= lastChannel;
        options.limitDistance = true;
        options.distanceMin = static_cast<float>(minDistance);
        options.distanceMax = static_cast<float>(maxDistance);
        const std::vector<Frame> expected = expectedFrames(capture_, options);
        QVERIFY(expected.size() >= 8);

        const Capture c = Capture::open(capture_.toStdString(), filter);
        QCOMPARE(c.size(), expected.size());
        QVERIFY(c.summary().find("\"frames\":" + std::to_string(c.size()) + ",") != std::string::npos);
        bool lost = false;
        bool zeros = false;
        for (std::size_t k = c.size(); k-- > 0;)
            QVERIFY2(sameFrame(c.frame(k), expected[k]), qPrintable(QString("frame %1 backwards").arg(k)));
        Frame f;
        for (std::size_t k = 0; k < c.size(); ++k) {
            c.frame(k, f);
            QVERIFY2(sameFrame(f, expected[k]), qPrintable(QString("frame %1 forwards").arg(k)));
            QCOMPARE(f.number, static_cast<long>(k + 1));
            QVERIFY(f.size() > 0);
            lost = lost || f.lostPackets > 0;
            for (std::size_t i = 0; i < f.size(); ++i) {
                QVERIFY(f.ring[i] >= firstChannel && f.ring[i] <= lastChannel);
                QVERIFY(f.distance[i] <= maxDistance);
                zeros = zeros || f.distance[i] == 0.0f;
                QVERIFY(filter.keepsZero() ? f.distance[i] >= minDistance || f.distance[i] == 0.0f
                                           : f.distance[i] >= minDistance && f.distance[i] > 0.0f);
            }
        }
        QVERIFY(lost); // the packets dropped count in a frame
        QCOMPARE(zeros, filter.keepsZero());
    }

    void errors_data()
    {
        QTest::addColumn<std::function<void()>>("action");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        const std::string missing = path("missing.pcap");
        const std::string text = path("notes.pcap");
        const std::string empty = path("empty.pcap");
        const std::string folder = dir_.path().toStdString();
        const std::string capture = capture_.toStdString();
        QVERIFY(writeFile(QString::fromStdString(text), "not a capture\n"));
        QVERIFY(writeFile(QString::fromStdString(empty), test::CaptureBuilder().deviceInfo().bytes()));
        using K = Error::Kind;
        auto open = [](const std::string& p) { return std::function<void()>([p] { Capture::open(p); }); };
        QTest::newRow("missing") << open(missing) << int(K::NotFound)
                                 << QString::fromStdString(missing + ": cannot open: No such file or directory");
        QTest::newRow("not a capture") << open(text) << int(K::NotACapture)
                                       << QString::fromStdString(text + ": not a capture file");
        QTest::newRow("folder") << open(folder) << int(K::Folder)
                                << QString::fromStdString(folder + ": a folder, not a capture file");
        QTest::newRow("no frame") << open(empty) << int(K::NotACapture)
                                  << QString::fromStdString(empty + ": no frame to play: ");
        QTest::newRow("frame past the end")
            << std::function<void()>([capture] {
                   const Capture c = Capture::open(capture);
                   c.frame(c.size());
               })
            << int(K::OutOfRange) << QString::fromStdString(capture + " has %1 frames, so there is no frame at index %1");
        QTest::newRow("channel 32") << std::function<void()>([] { Filter().channels(0, 32); }) << int(K::BadArgument)
                                    << "channel 32 is not one of 0..31";
        QTest::newRow("channels reversed") << std::function<void()>([] { Filter().channels(5, 2); })
                                           << int(K::BadArgument) << "channels 5 to 2: the first is above the last";
        QTest::newRow("distances reversed")
            << std::function<void()>([] { Filter().distance(3, 1); }) << int(K::BadArgument)
            << "Distance range invalid (3 to 1 m; the minimum is above the maximum)";
        QTest::newRow("negative distance") << std::function<void()>([] { Filter().minDistance(-1); })
                                           << int(K::BadArgument)
                                           << "bad value '-1' for the minimum distance (metres, a finite number 0 or more)";
        QTest::newRow("NaN distance")
            << std::function<void()>([] { Filter().maxDistance(std::nan("")); }) << int(K::BadArgument)
            << "bad value 'nan' for the maximum distance (metres, a finite number 0 or more)";
    }

    // Each failure throws its kind with the command line's message ("%1": the frame count).
    void errors()
    {
        QFETCH(std::function<void()>, action);
        QFETCH(int, kind);
        QFETCH(QString, message);
        const std::optional<Error> e = errorOf(action);
        QVERIFY(e);
        QCOMPARE(int(e->kind()), kind);
        const std::size_t frames = Capture::open(capture_.toStdString()).size();
        const QString expected = message.contains("%1") ? message.arg(frames) : message;
        QVERIFY2(QString(e->what()).startsWith(expected), e->what());
    }

    // write() puts frames first..last (from 0) in the file, numbered as the command line's,
    // with the capture's filter; a range or name it cannot write leaves no file.
    void writesTheRange()
    {
        const Capture c = Capture::open(capture_.toStdString(), Filter().channels(0, 7));
        const std::string las = path("scan.las");
        write(las, c, 2, 4);
        std::map<int, int> expected;
        for (std::size_t k = 2; k <= 4; ++k)
            expected[static_cast<int>(k + 1)] = static_cast<int>(c.frame(k).size());
        QCOMPARE(lasPointsPerFrame(QString::fromStdString(las)), expected);

        write(path("scan.pcd"), c, 0, 1);
        QCOMPARE(QDir(dir_.path()).entryList({"scan-*.pcd"}), QStringList({"scan-000001.pcd", "scan-000002.pcd"}));

        write(path("all.csv"), c);
        QFile csv(dir_.filePath("all.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines.size() > 2);
        QVERIFY(lines[1].startsWith("1,"));
        QVERIFY(lines[lines.size() - 2].startsWith(QByteArray::number(static_cast<qulonglong>(c.size())) + ","));

        using K = Error::Kind;
        const std::string bad = path("bad.las");
        const struct {
            std::function<void()> action;
            K kind;
        } failures[] = {
            {[&] { write(bad, c, 0, c.size()); }, K::OutOfRange},
            {[&] { write(bad, c, 3, 2); }, K::BadArgument},
            {[&] { write(path("scan.txt"), c, 0, 0); }, K::BadArgument},
            {[&] { write(capture_.toStdString() + "", c, 0, 0); }, K::BadArgument},
        };
        for (const auto& f : failures) {
            const std::optional<Error> e = errorOf(f.action);
            QVERIFY(e);
            QCOMPARE(int(e->kind()), int(f.kind));
        }
        QVERIFY(!QFile::exists(QString::fromStdString(bad)));
        QVERIFY(!QFile::exists(dir_.filePath("scan.txt")));
        QCOMPARE(Capture::open(capture_.toStdString()).size(), c.size()); // the capture is left whole
    }
};

QTEST_GUILESS_MAIN(PublicApiTest)
#include "PublicApiTest.moc"
