// Cutting the packet stream into revolution frames: wrap test, carry-over, dual echo.

#include "acquisition/FrameAssembler.h"
#include "support/DataPacketBuilder.h"
#include "support/SameFrame.h"

#include <QtTest>

using namespace hvk32;

namespace {

std::vector<LidarData> feed(FrameAssembler& assembler, const std::vector<test::Packet>& packets)
{
    std::vector<LidarData> frames;
    for (const auto& p : packets)
        assembler.addPacket(p.data(), [&](LidarData& f) { frames.push_back(std::move(f)); });
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
    // One assembler across a long turn and shorter ones after it, with a sink that hands
    // back the previous frame's lists (as the live receiver's hand-off does): every frame
    // holds exactly its own points, the same as when the sink only reads.
    void reusedFramesHoldExactlyTheNewPoints_data()
    {
        QTest::addColumn<bool>("dual");
        QTest::addColumn<int>("selection");
        QTest::newRow("single echo") << false << 0;
        QTest::newRow("dual echo, both") << true << int(DualEchoSelection);
        QTest::newRow("dual echo, second") << true << int(SecondEchoSelection);
    }

    void reusedFramesHoldExactlyTheNewPoints()
    {
        QFETCH(bool, dual);
        QFETCH(int, selection);
        // 0.2 degrees a block for 1.3 turns, then 0.6 degrees a block for 2.4 turns.
        auto packets = dual ? test::dualEchoSweep(0, 20, 320) : test::singleEchoSweep(0, 20, 160);
        const auto faster = dual ? test::dualEchoSweep(0, 60, 240) : test::singleEchoSweep(0, 60, 120);
        packets.insert(packets.end(), faster.begin(), faster.end());

        auto run = [&](bool handBack) {
            FrameAssembler a;
            a.setConfiguration(dual ? SensorConfig::DualEcho : SensorConfig::SingleEcho);
            a.setEchoSelection(selection);
            std::vector<LidarData> frames;
            LidarData previous = LidarData::empty();
            for (const auto& p : packets)
                a.addPacket(p.data(), [&](LidarData& f) {
                    frames.push_back(f);
                    if (handBack)
                        std::swap(f, previous);
                });
            return frames;
        };
        const std::vector<LidarData> handedBack = run(true);
        const std::vector<LidarData> readOnly = run(false);
        QCOMPARE(handedBack.size(), readOnly.size());
        QCOMPARE(int(handedBack.size()), 3); // the long turn, its tail with a short turn, a short turn
        for (std::size_t k = 0; k < handedBack.size(); ++k) {
            verifyEqualLengths(handedBack[k]);
            QVERIFY2(test::sameFrame(handedBack[k], readOnly[k]), qPrintable(QString("frame %1").arg(k)));
        }
        // A short turn after the long one: 600 blocks and one carried point per channel (with
        // both echoes, stream 2's 600 follow; its wrap block comes after stream 1's).
        const LidarData& last = handedBack.back();
        const int points = dual && selection == DualEchoSelection ? 601 + 600 : 601;
        for (int c = 0; c < 32; ++c)
            QCOMPARE(int(last.distances[c].size()), points);
    }

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
            a.addPacket(still.data(), [&](LidarData& f) { frames.push_back(std::move(f)); });
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
