// The list of formats as the command line uses it, and the window's exports of a frame through
// the command line's writers: the same bytes as "hvk32-cli export" writes for that frame.

#include "acquisition/CaptureFrameIndex.h"
#include "convert/CloudBuilder.h"
#include "convert/FrameReader.h"
#include "io/FrameExport.h"
#include "io/OutputFormats.h"
#include "support/ProgramRun.h"
#include "version/ProgramVersion.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace hvk32;

Q_DECLARE_METATYPE(hvk32::OutputFormat)

class OutputFormatsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString capture_;

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The frame as the window holds it once the capture has played it.
    struct Played {
        LidarData frame;
        ConversionSnapshot snapshot;
    };
    Played play(int n)
    {
        CaptureFrameIndex index;
        Played p;
        if (index.build(capture_)) {
            FrameReader reader(capture_, index);
            if (reader.startAt(n, nullptr) && reader.next()) {
                p.frame = reader.frame();
                p.snapshot = reader.snapshot();
            }
        }
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        capture_ = dir_.filePath("scan.pcap");
        // Dual echo: LAS counts the returns of each pulse from it.
        QCOMPARE(runToEnd(HVK32_SIM_PATH, {"--pcap", capture_, "--seconds", "1", "--rpm", "1200", "--echo", "dual",
                                           "--quiet"})
                     .exitCode,
                 0);
    }

    // Frame n of a capture exported by the window, with the View tab's distance filter, is
    // what "export --from n --to n" with the same limits writes: its file, the frame's file of
    // a per-frame format. The window's CSV numbers its frame 1, so it is compared at frame 1.
    void frameExportEqualsCommandLine_data()
    {
        QTest::addColumn<OutputFormat>("format");
        QTest::addColumn<int>("frame");
        for (const OutputFormatInfo& f : outputFormats())
            QTest::newRow(f.name) << f.format << (f.format == OutputFormat::Csv ? 1 : 3);
    }

    void frameExportEqualsCommandLine()
    {
        QFETCH(OutputFormat, format);
        QFETCH(int, frame);
        const OutputFormatInfo& info = outputFormatInfo(format);
        const Played played = play(frame);
        QVERIFY(!played.frame.distances[0].empty());
        SinkOptions options;
        options.distanceMin = 1.0f;
        options.distanceMax = 40.0f;
        const std::string version = programVersionLine("hvk32-cli");
        const QString software = QString::fromStdString(version.substr(0, version.find(" (")));
        const QString window = dir_.filePath(QStringLiteral("window-%1%2").arg(frame).arg(info.extension));
        QString error;
        const qint64 points = exportShownFrame(window, format, {played.frame, played.snapshot, capture_, frame, false},
                                               options, software, &error);
        QVERIFY2(points > 0, qPrintable(error));

        const QString option = QStringLiteral("--") + QString::fromLatin1(info.name).toLower();
        const QString out = dir_.filePath(QStringLiteral("cli-%1%2").arg(frame).arg(
            info.layout == OutputLayout::Folder ? QString() : QString::fromLatin1(info.extension)));
        const ProgramRun cli = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture_, "--from", QString::number(frame),
                                                         "--to", QString::number(frame), "--min-distance", "1",
                                                         "--max-distance", "40", option, out});
        QVERIFY2(cli.exitCode == 0, cli.errors.constData());
        const QString written = info.layout == OutputLayout::OneFile ? out
            : info.layout == OutputLayout::Folder                    ? out + "/000000.bin"
                                                                     : frameFileName(out, frame, format);
        const QByteArray expected = readFile(written);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(readFile(window), expected);
    }

    // The selection's export in every format holds its points, and only those.
    void selectionWritesItsPointsOnly()
    {
        const Played played = play(2);
        std::vector<ConvertedPoint> selected(11, ConvertedPoint{});
        for (std::size_t j = 0; j < selected.size(); ++j) {
            selected[j].channel = j < 10 ? 3 : 17;
            selected[j].index = j < 10 ? j : 5;
        }
        for (const OutputFormatInfo& f : outputFormats()) {
            const QString path = dir_.filePath(QStringLiteral("selection%1").arg(f.extension));
            QString error;
            QCOMPARE(exportShownPoints(path, f.format, {played.frame, played.snapshot, capture_, 2, false}, selected,
                                       "hvk32 0", &error),
                     qint64(selected.size()));
            if (f.format == OutputFormat::Kitti)
                QCOMPARE(QFileInfo(path).size(), qint64(16 * selected.size()));
        }
    }

    // An --out name of no format's extension is refused with the extensions the list knows
    // for a run of frames (a folder format has none).
    void unknownOutExtensionListsTheFormats()
    {
        const ProgramRun r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture_, "--out", dir_.filePath("scan.txt")});
        QCOMPARE(r.exitCode, 2);
        for (const OutputFormatInfo& f : outputFormats())
            QCOMPARE(r.errors.contains(f.extension), f.layout != OutputLayout::Folder);
        QVERIFY(!QFile::exists(dir_.filePath("scan.txt")));
    }
};

QTEST_GUILESS_MAIN(OutputFormatsTest)
#include "OutputFormatsTest.moc"
