// Two small capture files kept in tests/data, read through the path the window and the
// command line use (capture reader, player core, frame index), with their decoded fields
// pinned: a change anywhere in the decoding shows here as a different number.
//
// Both were written once by the simulator, `hvk32-sim --pcap F --seconds 0.06 --rpm 1200`
// (single echo, 1-degree layout), and cut after whole records:
//   one-packet.pcap      the device-info packet and the first data packet
//   one-revolution.pcap  the device-info packet and 76 data packets: 900 blocks of one turn
//                        and the block at 0 degrees that closes the frame

#include "acquisition/CaptureFile.h"
#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"

#include <QtTest>

#include <cmath>

using namespace hvk32;
using Event = CapturePlayerCore::Event;
using Direction = CapturePlayerCore::Direction;

namespace {

QString dataFile(const char* name)
{
    return QStringLiteral(HVK32_TEST_DATA_DIR "/") + QLatin1String(name);
}

// An order-sensitive digest (FNV-1a, 64 bits) of every decoded value of a frame, channel by
// channel: distance counts, intensities, angles in 1/100000 degree and times.
std::uint64_t digestOf(const LidarData& frame)
{
    std::uint64_t h = 14695981039346656037ULL;
    const auto mix = [&h](std::uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            h ^= (value >> (8 * i)) & 0xFF;
            h *= 1099511628211ULL;
        }
    };
    for (float a : frame.blockAzimuths)
        mix(static_cast<std::uint64_t>(std::llround(a * 100.0)));
    for (int c = 0; c < kChannelCount; ++c) {
        for (std::size_t k = 0; k < frame.distances[c].size(); ++k) {
            mix(static_cast<std::uint64_t>(std::llround(frame.distances[c][k])));
            mix(static_cast<std::uint64_t>(frame.intensities[c][k]));
            mix(static_cast<std::uint64_t>(std::llround(frame.azimuths[c][k] * 100000.0)));
            mix(frame.timestamps[c][k]);
        }
    }
    return h;
}

std::size_t pointCount(const LidarData& frame)
{
    std::size_t n = 0;
    for (const auto& channel : frame.distances)
        n += channel.size();
    return n;
}

struct Point {
    float distance;
    int intensity;
    float azimuth;
    std::uint64_t time;
};

Point pointOf(const LidarData& frame, int channel, std::size_t k)
{
    return {frame.distances[channel][k], frame.intensities[channel][k], frame.azimuths[channel][k],
            frame.timestamps[channel][k]};
}

void comparePoint(const Point& actual, const Point& expected)
{
    QCOMPARE(actual.distance, expected.distance);
    QCOMPARE(actual.intensity, expected.intensity);
    QVERIFY2(std::fabs(actual.azimuth - expected.azimuth) < 1e-4f, qPrintable(QString::number(actual.azimuth)));
    QCOMPARE(actual.time, expected.time);
}

// The points of the first data packet, the same in both files.
void compareFirstPacketPoints(const LidarData& frame)
{
    comparePoint(pointOf(frame, 0, 0), {1633, 14, 0.0f, 513000022});
    comparePoint(pointOf(frame, 1, 0), {3738, 88, 0.00625f, 513000024});
    comparePoint(pointOf(frame, 1, 5), {3740, 88, 2.00625f, 513000270});
    comparePoint(pointOf(frame, 15, 11), {3778, 87, 4.49375f, 513000586});
    comparePoint(pointOf(frame, 16, 0), {3233, 10, 0.1f, 513000047});
    comparePoint(pointOf(frame, 31, 11), {3883, 86, 4.59375f, 513000611});
}

} // namespace

class GoldenCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void onePacket()
    {
        // The records as the reader hands them over: device-info first, then data.
        capturefile::CaptureReader reader;
        QString message;
        QVERIFY2(reader.open(dataFile("one-packet.pcap"), &message), qPrintable(message));
        capturefile::ScannerRecord record{};
        QCOMPARE(reader.next(record), capturefile::CaptureReader::Read::Scanner);
        const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
        QCOMPARE(payloadKindOf(payload), PayloadKind::DeviceInfo);
        QCOMPARE(reader.lastHeader().seconds, 1796735313u);
        QCOMPARE(reader.lastHeader().fraction, 0u);
        const std::vector<int> status = decodeStatusValues(payload);
        QCOMPARE(status[StatusDataPort], 2368);
        QCOMPARE(status[StatusDevicePort], 2369);
        QCOMPARE(status[StatusBoardMajor], 2);
        QCOMPARE(status[StatusFirmwareMajor], 3);
        QCOMPARE(status[StatusEchoMode], 0);
        QCOMPARE(decodeSettingData(payload).motorSpeed, 1200);

        QCOMPARE(reader.next(record), capturefile::CaptureReader::Read::Scanner);
        QCOMPARE(payloadKindOf(record.data() + capturefile::kPayloadOffset), PayloadKind::Data);
        QCOMPARE(reader.lastHeader().fraction, 611u);
        QCOMPARE(reader.next(record), capturefile::CaptureReader::Read::End);
        QVERIFY(!reader.damage().any());

        // The player reports the configuration and holds the packet's 12 blocks unfinished.
        CapturePlayerCore player;
        QVERIFY2(player.open(dataFile("one-packet.pcap"), &message), qPrintable(message));
        player.start();
        QCOMPARE(player.next(Direction::Forward), Event::Configuration);
        QCOMPARE(player.configuration().echoMode, QString("HVK321"));
        QCOMPARE(player.configuration().degreeMode, 0);
        QCOMPARE(player.next(Direction::Forward), Event::None);
        QCOMPARE(player.next(Direction::Forward), Event::End);
        QCOMPARE(player.dataPackets(), std::uint64_t(1));

        const LidarData& frame = player.pendingFrame();
        QCOMPARE(frame.blockAzimuths.size(), std::size_t(12));
        QCOMPARE(frame.blockAzimuths.front(), 0.0f);
        QCOMPARE(frame.blockAzimuths[1], 0.4f);
        QCOMPARE(frame.blockAzimuths.back(), 4.4f);
        QCOMPARE(pointCount(frame), std::size_t(12 * 32));
        compareFirstPacketPoints(frame);
        QCOMPARE(digestOf(frame), std::uint64_t(14181746906383584551ULL));
    }

    void oneRevolution()
    {
        QString message;
        CapturePlayerCore player;
        QVERIFY2(player.open(dataFile("one-revolution.pcap"), &message), qPrintable(message));
        player.start();
        QList<Event> events;
        LidarData frame;
        for (Event e = player.next(Direction::Forward); e != Event::End; e = player.next(Direction::Forward)) {
            if (e == Event::None)
                continue;
            events << e;
            if (e == Event::Frame)
                frame = player.frame();
        }
        QCOMPARE(events, (QList<Event>{Event::Configuration, Event::Frame}));
        QCOMPARE(player.frameCounter(), 1);
        QCOMPARE(player.dataPackets(), std::uint64_t(76));
        QCOMPARE(player.deviceInfoPackets(), std::uint64_t(1));
        QCOMPARE(player.streamHealth().lostPackets, std::uint64_t(0));
        QVERIFY(player.offsetAngles() == (std::array<float, 4>{}));

        // 900 blocks 0.4 degrees apart, then the block back at 0 that closes the turn.
        QCOMPARE(frame.blockAzimuths.size(), std::size_t(901));
        QCOMPARE(frame.blockAzimuths.front(), 0.0f);
        QCOMPARE(frame.blockAzimuths[899], 359.6f);
        QCOMPARE(frame.blockAzimuths.back(), 0.0f);
        QCOMPARE(pointCount(frame), std::size_t(901 * 32));
        compareFirstPacketPoints(frame);
        comparePoint(pointOf(frame, 0, 900), {1633, 14, 0.0f, 513050022});
        comparePoint(pointOf(frame, 31, 900), {3870, 86, 0.19375f, 513050070});
        QCOMPARE(digestOf(frame), std::uint64_t(17781229016687268066ULL));

        // The rest of the closing packet starts the next frame.
        QCOMPARE(player.pendingFrame().blockAzimuths.size(), std::size_t(11));
        QCOMPARE(player.pendingFrame().blockAzimuths.front(), 0.4f);

        // The index finds the same frame and the records' times.
        CaptureFrameIndex index;
        QVERIFY2(index.build(dataFile("one-revolution.pcap"), &message), qPrintable(message));
        QCOMPARE(index.frameCount(), 1);
        QCOMPARE(index.summary().dataPackets, std::uint64_t(76));
        QCOMPARE(index.summary().firstTime, 1796735313.0);
        QCOMPARE(index.summary().lastTime, 1796735313.050611);
        QVERIFY(player.seek(index, 1));
        Event e = player.next(Direction::Forward);
        while (e != Event::Frame && e != Event::End)
            e = player.next(Direction::Forward);
        QCOMPARE(e, Event::Frame);
        QCOMPARE(digestOf(player.frame()), digestOf(frame));
    }
};

QTEST_GUILESS_MAIN(GoldenCaptureTest)
#include "GoldenCaptureTest.moc"
