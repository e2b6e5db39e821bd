// Cutting the packet stream into revolution frames: wrap test, carry-over, dual echo.

#include "acquisition/FrameAssembler.h"
#include "support/DataPacketBuilder.h"

#include <QtTest>

using namespace hvk32;

namespace {

std::vector<LidarData> feed(FrameAssembler& assembler, const std::vector<test::Packet>& packets)
{
    std::vector<LidarData> frames;
    for (const auto& p : packets)
        assembler.addPacket(p.data(), [&](LidarData&& f) { frames.push_back(std::move(f)); });
    return frames;
}

void verifyEqualLengths(const LidarData& f)
{
    QCOMPARE(int(f.distances.size()), 32);
    for (int c = 0; c < 32; ++c) {
        QCOMPARE(f.intensities[c].size(), f.distances[c].size());
        QCOMPARE(f.azimuths[c].size(), f.distances[c].size());
        QCOMPARE(f.timestamps[c].size(), f.distances[c].size());
    }
}

// Block index (0..11) a test distance was written from: distance = 1000 + 100*b + c.
int blockOf(float distance, int channel)
{
    return (int(distance) - 1000 - channel) / 100;
}

} // namespace

class FrameAssemblyTest : public QObject {
    Q_OBJECT
private slots:
    void singleEchoFramesAndCarryOver()
    {
        FrameAssembler a;
        a.setConfiguration(SensorConfig::SingleEcho);
        // 0.2 degrees per block from 350.00: wraps after 50 blocks, then a full turn of 1800.
        const auto frames = feed(a, test::singleEchoSweep(35000, 20, 160));
        QCOMPARE(int(frames.size()), 2);

        const LidarData& first = frames[0];
        verifyEqualLengths(first);
        QCOMPARE(int(first.blockAzimuths.size()), 51); // 350.0 .. 359.8, then the wrap block 0.0
        QCOMPARE(first.blockAzimuths.back(), 0.0f);
        for (int c = 0; c < 32; ++c) {
            // The wrap block belongs to the next turn: it stays as a zeroed placeholder.
            QCOMPARE(first.distances[c].back(), 0.0f);
            QCOMPARE(first.azimuths[c].back(), 0.0f);
            QCOMPARE(first.timestamps[c].back(), std::uint64_t(0));
            QVERIFY(first.distances[c][49] > 0.0f);
            QVERIFY(first.azimuths[c][49] > 359.0f);
        }

        const LidarData& second = frames[1];
        verifyEqualLengths(second);
        QCOMPARE(int(second.blockAzimuths.size()), 1800);
        for (int c = 0; c < 32; ++c) {
            // The carried point leads each channel, with its own time and angle.
            QVERIFY(second.distances[c].front() > 0.0f);
            QVERIFY(second.azimuths[c].front() < 1.0f);
            QVERIFY(second.timestamps[c].front() > 0);
            QCOMPARE(int(second.distances[c].size()), 1801);
            // Angles rise through the turn in 0.2-degree steps.
            QVERIFY(qAbs(second.azimuths[c][100] - second.azimuths[c][99] - 0.2f) < 1e-3f);
        }
    }

    void shortChannelsCarryNothing()
    {
        FrameAssembler a;
        a.setConfiguration(SensorConfig::SingleEcho);
        // Wraps between blocks 2 and 3: fewer than 10 points per channel.
        const auto frames = feed(a, {test::dataPacket({35900, 35920, 35940, 10, 30, 50, 70, 90, 110, 130, 150, 170})});
        QCOMPARE(int(frames.size()), 1);
        verifyEqualLengths(frames[0]);
        for (int c = 0; c < 32; ++c) {
            QCOMPARE(int(frames[0].distances[c].size()), 4);
            QVERIFY(frames[0].distances[c][3] > 0.0f); // not moved
        }
        // The next frame starts empty: its first blocks are 4..11 of this packet.
        QCOMPARE(int(a.stream1().frame().distances[0].size()), 8);
        QCOMPARE(a.stream1().blockCount(), std::size_t(8));
    }

    void dualEchoSelections_data()
    {
        QTest::addColumn<int>("selection");
        QTest::newRow("both echoes") << 0;
        QTest::newRow("first echo") << 1;
        QTest::newRow("second echo") << 2;
    }
    void dualEchoSelections()
    {
        QFETCH(int, selection);
        FrameAssembler a;
        a.setConfiguration(SensorConfig::DualEcho);
        a.setEchoSelection(selection);
        const auto frames = feed(a, test::dualEchoSweep(35000, 20, 350));
        QCOMPARE(int(frames.size()), 2);
        const LidarData& f = frames[1];
        verifyEqualLengths(f);
        // Stream 1: the carried wrap point, a full turn, the wrap block's placeholder. Stream 2
        // has not yet received the wrap firing when stream 1 wraps, so it holds one point less.
        const int perEcho = 1800 + 1;
        if (selection == 0) {
            QVERIFY(f.blockAzimuths.empty());
            for (int c = 0; c < 32; ++c) {
                QCOMPARE(int(f.distances[c].size()), perEcho + 1800);
                // Stream 1 (even blocks) first, then stream 2 (odd blocks).
                QCOMPARE(blockOf(f.distances[c][1], c) % 2, 0);
                QCOMPARE(blockOf(f.distances[c][perEcho + 1], c) % 2, 1);
                QCOMPARE(f.azimuths[c][1], f.azimuths[c][perEcho + 1]);
            }
        } else {
            QCOMPARE(int(f.blockAzimuths.size()), 1800);
            for (int c = 0; c < 32; ++c) {
                QCOMPARE(int(f.distances[c].size()), perEcho);
                for (std::size_t j = 0; j < f.distances[c].size(); ++j) {
                    if (f.distances[c][j] > 0.0f)
                        QCOMPARE(blockOf(f.distances[c][j], c) % 2, selection == 1 ? 0 : 1);
                }
            }
        }
    }

    void bothEchoesWrapBeforeSecondStreamHasTwoBlocks()
    {
        FrameAssembler a;
        a.setConfiguration(SensorConfig::DualEcho);
        a.setEchoSelection(DualEchoSelection);
        // Stream 1 wraps at block 2, when stream 2 holds one block only.
        const auto frames = feed(a, {test::dataPacket({35900, 35900, 10, 10, 30, 30, 50, 50, 70, 70, 90, 90})});
        QCOMPARE(int(frames.size()), 1);
        verifyEqualLengths(frames[0]);
        for (int c = 0; c < 32; ++c) {
            QCOMPARE(int(frames[0].distances[c].size()), 3);
            QCOMPARE(frames[0].azimuths[c][2], 359.0f); // stream 2's only block: a step of 0
        }
    }

    void scannerThatDoesNotTurnIsBounded()
    {
        FrameAssembler a;
        a.setConfiguration(SensorConfig::SingleEcho);
        const auto still = test::dataPacket({900, 900, 900, 900, 900, 900, 900, 900, 900, 900, 900, 900});
        std::vector<LidarData> frames;
        for (int k = 0; k < 1300; ++k)
            a.addPacket(still.data(), [&](LidarData&& f) { frames.push_back(std::move(f)); });
        QVERIFY(frames.empty());
        QCOMPARE(a.discardedStreams(), std::uint64_t(1));
        QVERIFY(a.stream1().blockCount() <= FrameAssembler::kMaxStreamBlocks);
        // It recovers once the scanner turns.
        QCOMPARE(int(feed(a, test::singleEchoSweep(0, 20, 200)).size()), 1);
    }

    void unknownConfigurationDecodesNothing()
    {
        FrameAssembler a;
        QCOMPARE(int(feed(a, test::singleEchoSweep(35000, 20, 200)).size()), 0);
        QCOMPARE(a.stream1().blockCount(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(FrameAssemblyTest)
#include "FrameAssemblyTest.moc"
