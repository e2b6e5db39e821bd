// Each point's time is its firing's: the two echoes of a firing share it and a channel's times
// never go back from firing to firing, across packets too, in playback and live, at every
// speed and echo mode. The stated time stamps the CSV and the point table print stay as they were.

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/FrameAssembler.h"
#include "support/CaptureBuilder.h"
#include "support/DataPacketBuilder.h"
#include "convert/PointConversion.h"

#include <QBuffer>
#include <QtTest>

#include <vector>

using namespace hvk32;

namespace {

// Checks one channel's points in firing order: a second echo right after its first echo has
// its time, every other point is not earlier than the one before. Returns what failed.
template <typename Time, typename Echo>
QString checkFirings(const std::vector<Time>& times, const std::vector<Echo>& echoes, std::size_t from,
                     std::size_t to)
{
    for (std::size_t j = from + 1; j < to; ++j) {
        const bool secondEcho = echoes[j] == 1 && echoes[j - 1] == 0;
        if (secondEcho && times[j] != times[j - 1])
            return QString("point %1: second echo %2, first %3").arg(j).arg(double(times[j])).arg(double(times[j - 1]));
        if (!secondEcho && times[j] < times[j - 1])
            return QString("point %1: %2 after %3").arg(j).arg(double(times[j])).arg(double(times[j - 1]));
    }
    return {};
}


} // namespace

class FiringTimesTest : public QObject {
    Q_OBJECT

private slots:
    void playedFrames_data()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<bool>("dual");
        for (int rpm : {600, 1200})
            for (bool dual : {false, true})
                QTest::newRow(qPrintable(QString("%1 rpm %2").arg(rpm).arg(dual ? "dual" : "single"))) << rpm << dual;
    }
    // Simulator captures through the player and both conversions, as every export reads them.
    void playedFrames()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        sim::ScannerSettings settings;
        settings.rpm = rpm;
        settings.echo = dual ? sim::EchoMode::Dual : sim::EchoMode::Single;
        test::CaptureBuilder builder(settings);
        QByteArray bytes = builder.deviceInfo().revolutions(3.5).bytes();
        QBuffer file(&bytes);
        QVERIFY(file.open(QIODevice::ReadOnly));
        CapturePlayerCore player;
        QVERIFY(player.open(&file));
        player.start();
        int frames = 0;
        PointArrays points[2];
        for (auto e = player.next(CapturePlayerCore::Direction::Forward); e != CapturePlayerCore::Event::End;
             e = player.next(CapturePlayerCore::Direction::Forward)) {
            if (e != CapturePlayerCore::Event::Frame)
                continue;
            ++frames;
            const LidarData& f = player.frame();
            for (int c = 0; c < kChannelCount; ++c) {
                const auto& times = f.firingTimesOf(c);
                const QString fault = checkFirings(times, f.echoes[c], 0, times.size());
                QVERIFY2(fault.isEmpty(), qPrintable(QString("frame %1 channel %2: %3").arg(frames).arg(c).arg(fault)));
                // The stated times are the single-echo rule's, whatever the echo mode.
                QCOMPARE(f.timestamps[c].size(), times.size());
                if (!dual)
                    QVERIFY(times == f.timestamps[c]);
            }
            for (Precision precision : {Precision::Exact, Precision::Fast}) {
                ConversionOptions options;
                options.precision = precision;
                PointArrays& p = points[precision == Precision::Exact ? 0 : 1];
                const ConversionSnapshot snapshot = ConversionSnapshot::of(0, 1, player.calibration());
                PointConversion().convert(f, snapshot, AngleTerms::fixed(snapshot), options, p);
                std::size_t from = 0;
                while (from < p.size) {
                    std::size_t to = from;
                    while (to < p.size && p.channel[to] == p.channel[from])
                        ++to;
                    QVERIFY(p.time[from] >= 0.0f);
                    const QString fault = checkFirings(p.time, p.echo, from, to);
                    QVERIFY2(fault.isEmpty(), qPrintable(QString("frame %1: %2").arg(frames).arg(fault)));
                    from = to;
                }
                // A revolution lasts 1/10 or 1/20 s.
                QVERIFY(*std::max_element(p.time.begin(), p.time.begin() + long(p.size)) < 60.0f / rpm + 0.002f);
            }
        }
        QCOMPARE(frames, 3);
    }

    // A crafted dual-echo packet: firing pairs counted by pair, the last firing at the stamp;
    // the stated times keep their rules (playback single echo, live dual echo).
    void craftedDualEchoPacket()
    {
        const std::uint32_t ts = 2000000;
        DecodedBlock block;
        for (int b = 0; b < 12; ++b) {
            decodeBlock(test::dualEchoSweep(0, 20, 1, ts)[0].data(), b, SensorConfig::DualEcho, block);
            QVERIFY(block.firingTimesDiffer);
            for (int c : {0, 31}) {
                const double expected = ts + 1.536 * (32 * (b / 2) + c) - 293.376;
                QCOMPARE(block.firingTime[c], std::uint64_t(expected));
                QCOMPARE(block.time[c], dualEchoTime(ts, b, c));
            }
        }
        // The integer shortcut the player takes gives the same times, in single and dual echo.
        for (std::uint32_t stamp : {0u, 250u, 293u, 294u, 1000000u, 2000000u, 3599999999u, 4294967295u})
            for (int b = 0; b < 12; ++b)
                for (int c = 0; c < 32; ++c) {
                    QCOMPARE(PacketTimes::dualEchoFirings().at(stamp, b, c), dualEchoFiringTime(stamp, b, c));
                    QCOMPARE(PacketTimes::singleEcho().at(stamp, b, c), singleEchoTime(stamp, b, c));
                }
        QCOMPARE(dualEchoFiringTime(ts, 11, 31), std::uint64_t(ts));
        QCOMPARE(dualEchoFiringTime(ts, 0, 0), std::uint64_t(ts - 294)); // 1999706.624
        decodeBlock(test::singleEchoSweep(0, 20, 1, ts)[0].data(), 3, SensorConfig::SingleEcho, block);
        QVERIFY(!block.firingTimesDiffer);
    }

    // Live dual echo: both echoes in one frame (first echoes, then second echoes, per channel)
    // and each echo alone; packets every 333 us as the device sends them.
    void liveDualEcho_data()
    {
        QTest::addColumn<int>("selection");
        QTest::newRow("both") << int(DualEchoSelection);
        QTest::newRow("first") << int(StrongEchoSelection);
        QTest::newRow("second") << int(SecondEchoSelection);
    }
    void liveDualEcho()
    {
        QFETCH(int, selection);
        sim::ScannerSettings settings;
        settings.echo = sim::EchoMode::Dual;
        sim::ScannerStream stream(settings);
        FrameAssembler assembler;
        assembler.setConfiguration(SensorConfig::DualEcho);
        assembler.setEchoSelection(selection);
        int frames = 0;
        test::Packet p{};
        for (int k = 0; k < 3 * 300 && frames < 2; ++k) {
            stream.nextDataPacket(p.data());
            assembler.addPacket(p.data(), [&](LidarData& f) {
                ++frames;
                for (int c = 0; c < kChannelCount; ++c) {
                    const auto& times = f.firingTimesOf(c);
                    QCOMPARE(f.firingTimes[c].size(), f.timestamps[c].size());
                    // Each echo's points in firing order; carried points lead the frame.
                    for (std::uint8_t echo : {0, 1}) {
                        std::vector<std::uint64_t> own;
                        for (std::size_t j = 0; j < times.size(); ++j)
                            if (f.echoes[c][j] == echo && f.distances[c][j] != 0.0f)
                                own.push_back(times[j]);
                        const std::vector<std::uint8_t> none(own.size(), 0);
                        const QString fault = checkFirings(own, none, 0, own.size());
                        QVERIFY2(fault.isEmpty(), qPrintable(QString("channel %1 echo %2: %3").arg(c).arg(echo).arg(fault)));
                    }
                }
            });
        }
        QCOMPARE(frames, 2);
    }
};

QTEST_GUILESS_MAIN(FiringTimesTest)
#include "FiringTimesTest.moc"
