// Decoding rules of the data packet: azimuths, times, per-channel angles.

#include "acquisition/DataPacket.h"
#include "acquisition/PointDecoding.h"
#include "support/DataPacketBuilder.h"

#include <QtTest>

using namespace hvk32;

class PointDecodingTest : public QObject {
    Q_OBJECT
private slots:
    void blockAzimuth_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<float>("degrees");
        QTest::newRow("zero") << 0 << 0.0f;
        QTest::newRow("last valid") << 35999 << 359.99f;
        QTest::newRow("full turn wraps to 0") << 36000 << 0.0f;
        QTest::newRow("max value wraps to 0") << 65535 << 0.0f;
    }
    void blockAzimuth()
    {
        QFETCH(int, raw);
        QFETCH(float, degrees);
        QCOMPARE(decodeBlockAzimuth(static_cast<std::uint16_t>(raw)), degrees);
    }

    void singleEchoTimes()
    {
        const std::uint32_t ts = 5000000;
        QCOMPARE(singleEchoTime(ts, 11, 31), std::uint64_t(ts)); // the last firing carries the stamp
        QCOMPARE(singleEchoTime(ts, 0, 0), std::uint64_t(ts - 589)); // ts - 588.288, truncated
        QCOMPARE(singleEchoTime(ts, 0, 1), std::uint64_t(ts - 587)); // ts - 586.752
    }

    void dualEchoTimesPairBlocks()
    {
        const std::uint32_t ts = 5000000;
        for (int c = 0; c < 32; ++c)
            QCOMPARE(dualEchoTime(ts, 1, c), dualEchoTime(ts, 0, c));
        // Block 2 starts 64 firings (98.304 units) after block 0.
        const double t0 = ts - 294.144;
        QCOMPARE(dualEchoTime(ts, 0, 0), std::uint64_t(t0));
        QCOMPARE(dualEchoTime(ts, 2, 0), std::uint64_t(t0 + 98.304));
    }

    void timeStampEdges()
    {
        // A stamp smaller than the subtracted span clamps to 0 instead of wrapping to 2^64.
        QCOMPARE(singleEchoTime(100, 0, 0), std::uint64_t(0));
        QCOMPARE(dualEchoTime(0, 0, 0), std::uint64_t(0));
        // Bit 31 set reads as an unsigned 32-bit value.
        const std::uint32_t high = 0x80000000u;
        QCOMPARE(singleEchoTime(high, 11, 31), std::uint64_t(high));
    }

    void liveAngleAcrossWrap()
    {
        const float d = azimuthStep(359.90f, 0.10f);
        QVERIFY(qAbs(d - 0.20f) < 1e-3f);
        // 359.90 + 31 * 0.2/32 = 360.09375, reduced once.
        const float a = liveChannelAzimuth(359.90f, d, 31);
        QVERIFY(a >= 0.0f && a < 360.0f);
        QVERIFY(qAbs(a - 0.09375f) < 1e-3f);
        QCOMPARE(liveChannelAzimuth(10.0f, 0.2f, 0), 10.0f);
    }

    void playerAngleIsNotWrapped()
    {
        QVERIFY(qAbs(playerChannelAzimuth(359.99f, 31) - 360.18375f) < 1e-3f);
    }

    void decodeBlockReadsLittleEndianFields()
    {
        const auto p = test::dataPacket({35999, 36000, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100}, 1000000, 0x0102);
        DecodedBlock block;
        decodeBlock(p.data(), 0, SensorConfig::SingleEcho, block);
        QCOMPARE(block.azimuth, 359.99f);
        QCOMPARE(block.distance[0], float(0x0102));
        QCOMPARE(block.distance[31], float(0x0102 + 31));
        QCOMPARE(block.intensity[5], 5);
        decodeBlock(p.data(), 1, SensorConfig::SingleEcho, block);
        QCOMPARE(block.azimuth, 0.0f);
        QCOMPARE(block.distance[0], float(0x0102 + 100));
        QCOMPARE(block.intensity[0], 1);
    }

    // The frame's blocks turned into channel columns, in whole tiles of 16 blocks and the
    // rest, from a buffer that ends with the last block (no read may pass it).
    void channelColumnsMatchEachBlock_data()
    {
        QTest::addColumn<int>("blocks");
        for (int n : {0, 1, 15, 16, 17, 50})
            QTest::addRow("%d blocks", n) << n;
    }
    void channelColumnsMatchEachBlock()
    {
        QFETCH(int, blocks);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(blocks) * datapacket::kBlockSize);
        std::uint32_t state = 12345;
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
        std::vector<std::vector<float>> distances(32, std::vector<float>(blocks, -1.0f));
        std::vector<std::vector<int>> intensities(32, std::vector<int>(blocks, -1));
        float* d[32];
        int* i[32];
        for (int c = 0; c < 32; ++c) {
            d[c] = distances[c].data();
            i[c] = intensities[c].data();
        }
        decodeChannelColumns(bytes.data(), bytes.size() / datapacket::kBlockSize, d, i);
        for (int b = 0; b < blocks; ++b)
            for (int c = 0; c < 32; ++c) {
                QCOMPARE(distances[c][b], float(datapacket::distanceRaw(bytes.data(), b, c)));
                QCOMPARE(intensities[c][b], int(datapacket::intensityRaw(bytes.data(), b, c)));
            }
    }

    void packetKindAndLength()
    {
        auto p = test::dataPacket({0, 20, 40, 60, 80, 100, 120, 140, 160, 180, 200, 220});
        QVERIFY(datapacket::isDataPacket(p.data(), p.size()));
        QVERIFY(!datapacket::isDataPacket(p.data(), p.size() - 1)); // short datagram
        p[0] = 0xA5; // a device-info packet begins A5 FF 00 5A
        QVERIFY(!datapacket::isDataPacket(p.data(), p.size()));
    }

    void configurationNames()
    {
        QCOMPARE(sensorConfigFromName("HVK321"), SensorConfig::SingleEcho);
        QCOMPARE(sensorConfigFromName("HVK322"), SensorConfig::DualEcho);
        QCOMPARE(sensorConfigFromName(""), SensorConfig::Unknown);
    }
};

QTEST_GUILESS_MAIN(PointDecodingTest)
#include "PointDecodingTest.moc"
