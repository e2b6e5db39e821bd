// The MP4 writer checked by FFmpeg's own programs: ffprobe reads the stream (codec, size, pixel
// format, colour fields, picture count, duration) and ffmpeg decodes pictures that must look
// like those given; the index comes before the media data; the same pictures give the same
// bytes; and a video that fails or is abandoned leaves nothing behind.

#include "render/VideoWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdlib>

using namespace hvk32::render;

namespace {

constexpr int kWidth = 320, kHeight = 240, kPictures = 25;
constexpr int kSquare = 40, kStep = 9; // the square's side and its move per picture, pixels

int squareLeft(int k) { return 10 + k * kStep; }
int squareTop(int k) { return 20 + k * kStep / 2; }

// Picture k: a smooth colour gradient and a bright square that moves right and down.
Picture picture(int k)
{
    Picture p(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* px = p.row(y) + 3 * x;
            const bool square = x >= squareLeft(k) && x < squareLeft(k) + kSquare && y >= squareTop(k)
                && y < squareTop(k) + kSquare;
            px[0] = square ? 230 : static_cast<std::uint8_t>(40 + x * 150 / kWidth);
            px[1] = square ? 200 : static_cast<std::uint8_t>(30 + y * 120 / kHeight);
            px[2] = square ? 20 : 90;
        }
    return p;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// stdout of a program that must succeed; empty (with the reason logged) when it does not.
QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << program << arguments << "failed:" << p.readAllStandardError();
        return {};
    }
    return p.readAllStandardOutput();
}

// The types of the file's top-level MP4 boxes, in order.
QStringList topLevelBoxes(const QByteArray& file)
{
    QStringList boxes;
    for (qint64 at = 0; at + 8 <= file.size();) {
        const auto* b = reinterpret_cast<const unsigned char*>(file.constData() + at);
        quint64 size = quint64(b[0]) << 24 | quint64(b[1]) << 16 | quint64(b[2]) << 8 | b[3];
        if (size == 1 && at + 16 <= file.size()) { // a 64-bit size follows the type
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = size << 8 | b[i];
        }
        boxes << QString::fromLatin1(file.mid(at + 4, 4));
        if (size < 8)
            break;
        at += static_cast<qint64>(size);
    }
    return boxes;
}

// Mean absolute difference per byte over a region of two RGB pictures of the same size.
double meanError(const QByteArray& decoded, const Picture& given, int left, int top, int width, int height)
{
    double sum = 0;
    for (int y = top; y < top + height; ++y)
        for (int i = 3 * left; i < 3 * (left + width); ++i)
            sum += std::abs(int(quint8(decoded[y * given.width * 3 + i])) - int(given.row(y)[i]));
    return sum / (3.0 * width * height);
}

} // namespace

class VideoWriterTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ffprobe_, ffmpeg_;

    bool write(const QString& path, int fpsNum, int fpsDen, QString* error)
    {
        VideoWriter writer;
        bool ok = writer.open(path, kWidth, kHeight, fpsNum, fpsDen);
        for (int k = 0; ok && k < kPictures; ++k)
            ok = writer.add(picture(k));
        ok = ok && writer.finish();
        *error = writer.error();
        return ok && writer.pictures() == kPictures;
    }

    QStringList entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ffprobe_ = QStandardPaths::findExecutable("ffprobe");
        ffmpeg_ = QStandardPaths::findExecutable("ffmpeg");
        if (ffprobe_.isEmpty() || ffmpeg_.isEmpty())
            QSKIP("ffprobe and ffmpeg (Debian's ffmpeg package) are not installed");
    }

    void readByFfmpeg_data()
    {
        QTest::addColumn<int>("fpsNum");
        QTest::addColumn<int>("fpsDen");
        QTest::newRow("10/s") << 10 << 1;
        QTest::newRow("29.97/s") << 30000 << 1001;
    }

    void readByFfmpeg()
    {
        QFETCH(int, fpsNum);
        QFETCH(int, fpsDen);
        const QString folder = dir_.filePath(QString("rate-%1-%2").arg(fpsNum).arg(fpsDen));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/video.mp4", again = folder + "/again.mp4";
        QString error;
        QVERIFY2(write(path, fpsNum, fpsDen, &error), qPrintable(error));
        QVERIFY2(write(again, fpsNum, fpsDen, &error), qPrintable(error));
        QCOMPARE(entries(folder), QStringList({"again.mp4", "video.mp4"})); // no temporary left
        const QByteArray bytes = readAll(path);
        QVERIFY(bytes == readAll(again));

        const QStringList boxes = topLevelBoxes(bytes);
        QVERIFY2(boxes.contains("moov") && boxes.indexOf("moov") < boxes.indexOf("mdat"), qPrintable(boxes.join(' ')));

        const QJsonObject stream = QJsonDocument::fromJson(run(ffprobe_, {"-v", "error", "-of", "json", "-show_streams",
                                                                           "-count_frames", path}))
                                       .object()["streams"]
                                       .toArray()
                                       .at(0)
                                       .toObject();
        QCOMPARE(stream["codec_name"].toString(), QString("h264"));
        QCOMPARE(stream["pix_fmt"].toString(), QString("yuv420p"));
        QCOMPARE(stream["color_range"].toString(), QString("tv"));
        QCOMPARE(stream["color_space"].toString(), QString("smpte170m"));
        QCOMPARE(stream["width"].toInt(), kWidth);
        QCOMPARE(stream["height"].toInt(), kHeight);
        QCOMPARE(stream["nb_read_frames"].toString().toInt(), kPictures);
        const double duration = stream["duration"].toString().toDouble();
        const double expected = double(kPictures) * fpsDen / fpsNum, onePicture = double(fpsDen) / fpsNum;
        QVERIFY2(std::abs(duration - expected) < onePicture, qPrintable(QString("%1 s, not %2").arg(duration).arg(expected)));

        // The first picture (a keyframe) and one predicted from others: the whole picture is
        // close to what was given (colours, range), the square is where that picture has it.
        for (int k : {0, 13}) {
            const QByteArray decoded = run(ffmpeg_, {"-v", "error", "-i", path, "-vf", QString("select=eq(n\\,%1)").arg(k),
                                                     "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
            QCOMPARE(decoded.size(), kWidth * kHeight * 3);
            const Picture given = picture(k);
            const double whole = meanError(decoded, given, 0, 0, kWidth, kHeight);
            const double square = meanError(decoded, given, squareLeft(k), squareTop(k), kSquare, kSquare);
            QVERIFY2(whole < 3 && square < 8, qPrintable(QString("picture %1: %2 whole, %3 square").arg(k).arg(whole).arg(square)));
        }
    }

    void refusedLeavesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("reason");
        QTest::newRow("odd width") << "v.mp4" << 321 << 240 << "must be even";
        QTest::newRow("no height") << "v.mp4" << 320 << 0 << "must be even";
        QTest::newRow("missing folder") << "missing/v.mp4" << 320 << 240 << "No such file or directory";
        QTest::newRow("a folder") << "folder" << 320 << 240 << "Is a directory";
    }

    void refusedLeavesNothing()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("folder"));
        const QString path = folder.filePath(name);
        VideoWriter writer;
        QVERIFY(!writer.open(path, width, height, 10, 1));
        QVERIFY2(writer.error().startsWith("cannot write " + path + ": ") && writer.error().contains(reason),
                 qPrintable(writer.error()));
        QVERIFY(!writer.add(picture(0)));
        QVERIFY(!writer.finish());
        QCOMPARE(entries(folder.path()), QStringList({"folder"}));
        QVERIFY(entries(folder.filePath("folder")).isEmpty());
    }

    void unfinishedLeavesNothing()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("v.mp4");
        {
            VideoWriter writer;
            QVERIFY2(writer.open(path, kWidth, kHeight, 10, 1), qPrintable(writer.error()));
            for (int k = 0; k < 3; ++k)
                QVERIFY(writer.add(picture(k)));
            QCOMPARE(entries(folder.path()).size(), 1); // the temporary file
            QVERIFY(!QFile::exists(path));
            writer.cancel();
            QVERIFY(entries(folder.path()).isEmpty());
            // Opened again after cancel(), then destroyed unfinished.
            QVERIFY2(writer.open(path, kWidth, kHeight, 10, 1), qPrintable(writer.error()));
            QVERIFY(writer.add(picture(0)));
            QVERIFY(!writer.add(Picture(kWidth / 2, kHeight / 2)));
            QVERIFY2(writer.error().contains("a 160x120 picture in a 320x240 video"), qPrintable(writer.error()));
        }
        QVERIFY(entries(folder.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(VideoWriterTest)
#include "VideoWriterTest.moc"
