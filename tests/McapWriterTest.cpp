// MCAP chunks compressed on worker threads: the file is the same byte for byte as one written
// without workers, whatever the compression and chunk size; and the CRC-32 stored in it
// (folded with carry-less multiplication where the processor has it) is zlib's at every
// length and alignment.

#include "io/Crc32.h"
#include "io/McapFile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

#include <fstream>
#include <iterator>

using namespace hvk32;

class McapWriterTest : public QObject {
    Q_OBJECT

    // Messages of two channels, of varied sizes and contents, in a file written with `workers`.
    static std::string writeFile(const QString& path, mcap::Compression compression, std::size_t chunkSize,
                                 unsigned workers)
    {
        pointfile::OutputFile file;
        mcap::Writer writer(compression, chunkSize, workers);
        bool ok = file.open(path.toStdString()) && writer.open(file, "ros2", "test")
            && writer.add(mcap::Schema{1, "a", "ros2msg", "uint8[] data"})
            && writer.add(mcap::Channel{1, 1, "/a", "cdr"}) && writer.add(mcap::Channel{2, 1, "/b", "cdr"});
        std::uint32_t seed = 1;
        std::vector<char> message;
        for (std::uint32_t k = 0; ok && k < 200; ++k) {
            message.resize(1 + (k * 7919) % 3000);
            for (char& c : message) {
                seed = seed * 1103515245u + 12345u;
                c = static_cast<char>((seed >> 16) % (k % 3 ? 7 : 256)); // some compress, some not
            }
            const std::uint64_t time = 1000000000ull * k;
            ok = writer.write(k % 3 ? 1 : 2, k, time, time, message.data(), message.size());
        }
        ok = ok && writer.close() && file.commit();
        if (!ok)
            return "not written: " + writer.error() + file.error();
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private slots:
    void workersWriteTheSameFile_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("zstd, small chunks") << int(mcap::Compression::Zstd) << 2000;
        QTest::newRow("zstd, one chunk") << int(mcap::Compression::Zstd) << (1 << 22);
        QTest::newRow("lz4") << int(mcap::Compression::Lz4) << 5000;
        QTest::newRow("none") << int(mcap::Compression::None) << 5000;
    }

    void workersWriteTheSameFile()
    {
        QFETCH(int, compression);
        QFETCH(int, chunkSize);
        QTemporaryDir dir;
        const auto c = static_cast<mcap::Compression>(compression);
        const std::string alone = writeFile(dir.filePath("alone.mcap"), c, std::size_t(chunkSize), 0);
        QVERIFY2(alone.size() > 100000, alone.substr(0, 200).c_str());
        for (unsigned workers : {1u, 3u}) {
            const std::string shared = writeFile(dir.filePath("workers.mcap"), c, std::size_t(chunkSize), workers);
            QCOMPARE(shared.size(), alone.size());
            QVERIFY2(shared == alone, qPrintable(QStringLiteral("%1 workers").arg(workers)));
        }
    }

    // A writer dropped before close() (an interrupted export) stops its workers with chunks
    // still queued.
    void writerDroppedWithChunksQueued()
    {
        QTemporaryDir dir;
        pointfile::OutputFile file;
        mcap::Writer writer(mcap::Compression::Zstd, 1000, 2);
        QVERIFY(file.open(dir.filePath("dropped.mcap").toStdString()) && writer.open(file, "", ""));
        QVERIFY(writer.add(mcap::Channel{1, 0, "/a", "json"}));
        const std::vector<char> message(999, 'x');
        for (std::uint32_t k = 0; k < 50; ++k)
            QVERIFY(writer.write(1, k, k, k, message.data(), message.size()));
    }

    void crcIsZlibs()
    {
        std::vector<unsigned char> bytes(400);
        std::uint32_t seed = 7;
        for (unsigned char& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<unsigned char>(seed >> 16);
        }
        for (std::size_t start : {0, 1, 3, 8, 15}) {
            for (std::size_t size = 0; size <= 320; ++size) {
                for (std::uint32_t from : {0u, 0x9e3779b9u}) {
                    const std::uint32_t expected =
                        static_cast<std::uint32_t>(::crc32(from, bytes.data() + start, static_cast<uInt>(size)));
                    if (hvk32::crc32(from, bytes.data() + start, size) != expected)
                        QFAIL(qPrintable(QStringLiteral("start %1, %2 bytes, from %3").arg(start).arg(size).arg(from)));
                }
            }
        }
        // Continued over pieces as over the whole.
        QCOMPARE(hvk32::crc32(hvk32::crc32(0, bytes.data(), 131), bytes.data() + 131, 269), hvk32::crc32(0, bytes.data(), 400));
    }
};

QTEST_GUILESS_MAIN(McapWriterTest)
#include "McapWriterTest.moc"
