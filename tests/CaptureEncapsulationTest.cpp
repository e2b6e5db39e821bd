// Captures from switch ports and from all interfaces at once: VLAN tags, Linux cooked headers,
// IPv4 options and FCS play as the same capture stored as plain Ethernet frames, for the
// reader, the frame index, the player and a slice; tcpdump finds the same datagrams in them.
// A capture with no playable frame fails in the command line, saying what its records were.

#include "acquisition/CaptureFile.h"
#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "io/CaptureSlice.h"
#include "support/CaptureBuilder.h"
#include "support/ProgramRun.h"
#include "support/SameFrame.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace hvk32;
namespace cf = hvk32::capturefile;
using Direction = CapturePlayerCore::Direction;
using Event = CapturePlayerCore::Event;

Q_DECLARE_METATYPE(hvk32::test::Encapsulation)

namespace {

sim::ScannerSettings fastScanner()
{
    sim::ScannerSettings s;
    s.rpm = 1200;
    return s;
}

// Scanner packets with other traffic among them: UDP of the scanner's payload size that is
// not the scanner's, UDP of other sizes, and a frame that is not IPv4.
QByteArray mixedCapture()
{
    test::CaptureBuilder b(fastScanner());
    std::vector<std::uint8_t> other(cf::kScannerPayloadSize + 4, 0x55);
    b.deviceInfo().revolutions(1.2);
    b.udp(other.data(), cf::kScannerPayloadSize, 40000).udp(other.data(), cf::kScannerPayloadSize - 1, 40000);
    b.revolutions(1).udp(other.data(), cf::kScannerPayloadSize + 4, 2368).record(cf::kScannerFrameLength + 4, 1300);
    return b.deviceInfo().revolutions(1.5).bytes();
}

struct Records {
    QList<QByteArray> scanner; // as the reader hands them out
    QList<qint64> offsets;
    int skipped = 0;
};

Records readRecords(QByteArray bytes)
{
    Records r;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    cf::CaptureReader reader;
    if (!reader.open(&buffer))
        return r;
    cf::ScannerRecord record{};
    qint64 offset = 0;
    for (auto read = reader.next(record, &offset); read != cf::CaptureReader::Read::End;
         read = reader.next(record, &offset)) {
        if (read == cf::CaptureReader::Read::Skipped) {
            ++r.skipped;
            continue;
        }
        r.scanner << QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<int>(record.size()));
        r.offsets << offset;
    }
    return r;
}

QList<LidarData> playedFrames(QByteArray bytes, Direction direction)
{
    QList<LidarData> frames;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CapturePlayerCore player;
    if (!player.open(&buffer))
        return frames;
    player.start();
    if (direction == Direction::Backward)
        while (player.next(Direction::Forward) != Event::End) {
        }
    for (Event e = player.next(direction); e != Event::End; e = player.next(direction))
        if (e == Event::Frame)
            frames << player.frame();
    return frames;
}

bool sameFrames(const QList<LidarData>& a, const QList<LidarData>& b)
{
    if (a.size() != b.size())
        return false;
    for (int k = 0; k < a.size(); ++k)
        if (!test::sameFrame(a[k], b[k]))
            return false;
    return true;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

// The datagrams tcpdump finds with a UDP payload of the scanner's size.
int tcpdumpScannerSized(const QString& path)
{
    QProcess p;
    p.start("tcpdump", {"-r", path, "-nn"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    return static_cast<int>(p.readAllStandardOutput().count("UDP, length 1206\n"));
}

// A capture of `records` short UDP datagrams and nothing else.
QByteArray otherTraffic(int records)
{
    test::CaptureBuilder b(fastScanner());
    const std::uint8_t query[64] = {};
    for (int k = 0; k < records; ++k)
        b.udp(query, sizeof query, 53);
    return b.bytes();
}

} // namespace

class CaptureEncapsulationTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void playsAsPlainEthernet_data()
    {
        QTest::addColumn<test::Encapsulation>("encapsulation");
        const std::uint32_t fcs4 = cf::kLinkTypeFcsKnown | (2u << cf::kLinkTypeFcsShift);
        QTest::newRow("802.1Q") << test::Encapsulation{cf::kLinkTypeEthernet, {cf::kEtherTypeVlan}, 0, 0};
        QTest::newRow("QinQ") << test::Encapsulation{cf::kLinkTypeEthernet, {cf::kEtherTypeQinQ, cf::kEtherTypeVlan}, 0, 0};
        QTest::newRow("old QinQ, three tags")
            << test::Encapsulation{cf::kLinkTypeEthernet, {cf::kEtherTypeQinQOld, cf::kEtherTypeVlan, cf::kEtherTypeVlan}, 0, 0};
        QTest::newRow("IPv4 options") << test::Encapsulation{cf::kLinkTypeEthernet, {}, 4, 0};
        QTest::newRow("longest IPv4 options") << test::Encapsulation{cf::kLinkTypeEthernet, {}, 40, 0};
        QTest::newRow("FCS, flagged") << test::Encapsulation{cf::kLinkTypeEthernet | fcs4, {}, 0, 4};
        QTest::newRow("FCS, not flagged") << test::Encapsulation{cf::kLinkTypeEthernet, {}, 0, 4};
        QTest::newRow("flagged without FCS") << test::Encapsulation{cf::kLinkTypeEthernet | cf::kLinkTypeFcsKnown, {}, 0, 0};
        QTest::newRow("cooked") << test::Encapsulation{cf::kLinkTypeLinuxCooked, {}, 0, 0};
        QTest::newRow("cooked, tagged") << test::Encapsulation{cf::kLinkTypeLinuxCooked, {cf::kEtherTypeVlan}, 0, 0};
        QTest::newRow("cooked v2") << test::Encapsulation{cf::kLinkTypeLinuxCooked2, {}, 0, 0};
        QTest::newRow("all at once")
            << test::Encapsulation{cf::kLinkTypeLinuxCooked2 | fcs4, {cf::kEtherTypeVlan}, 8, 4};
    }

    // The reader hands out the plain capture's scanner records byte for byte, read in turn
    // or again at their offsets; the index, forward and backward play and seeking agree;
    // tcpdump counts the same datagrams.
    void playsAsPlainEthernet()
    {
        QFETCH(test::Encapsulation, encapsulation);
        const QByteArray plain = mixedCapture();
        const QByteArray other = test::reencapsulated(plain, encapsulation);
        QVERIFY(other != plain);

        const Records expected = readRecords(plain);
        const Records got = readRecords(other);
        QVERIFY(expected.scanner.size() > 30);
        QCOMPARE(got.scanner, expected.scanner);
        QCOMPARE(got.skipped, expected.skipped);
        QCOMPARE(got.skipped, 3);
        // As a big-endian writer stores it: the records made plain keep the file's byte order.
        QCOMPARE(readRecords(test::byteSwappedCapture(other)).scanner, readRecords(test::byteSwappedCapture(plain)).scanner);
        {
            QByteArray bytes = other;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            cf::CaptureReader reader;
            QVERIFY(reader.open(&buffer));
            cf::ScannerRecord record{};
            auto bytesOf = [](const cf::ScannerRecord& record) {
                return QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<int>(record.size()));
            };
            // Each read again, then the walk goes on after it.
            for (int k : {5, 0, got.offsets.size() - 1, 17, 16}) {
                QVERIFY(reader.readScannerRecordAt(got.offsets[k], record));
                QCOMPARE(bytesOf(record), expected.scanner[k]);
                auto read = reader.next(record);
                while (read == cf::CaptureReader::Read::Skipped)
                    read = reader.next(record);
                QCOMPARE(read == cf::CaptureReader::Read::Scanner, k + 1 < got.offsets.size());
                if (k + 1 < got.offsets.size())
                    QCOMPARE(bytesOf(record), expected.scanner[k + 1]);
            }
        }

        const QString plainPath = writeFile(dir_, "plain.pcap", plain);
        const QString path = writeFile(dir_, QString("%1.pcap").arg(QTest::currentDataTag()).replace(' ', '_'), other);
        CaptureFrameIndex plainIndex, index;
        QVERIFY(plainIndex.build(plainPath));
        QVERIFY(index.build(path));
        QVERIFY(plainIndex.frameCount() >= 2);
        QCOMPARE(index.frameCount(), plainIndex.frameCount());
        QCOMPARE(index.summary().dataPackets, plainIndex.summary().dataPackets);
        QCOMPARE(index.summary().deviceInfoPackets, plainIndex.summary().deviceInfoPackets);
        QCOMPARE(index.summary().otherRecords, plainIndex.summary().otherRecords);
        QVERIFY(!index.summary().damage.any());

        const QList<LidarData> forward = playedFrames(plain, Direction::Forward);
        QVERIFY(sameFrames(playedFrames(other, Direction::Forward), forward));
        QVERIFY(sameFrames(playedFrames(other, Direction::Backward), playedFrames(plain, Direction::Backward)));

        CapturePlayerCore player;
        QVERIFY(player.open(path));
        player.start();
        QVERIFY(player.seek(index, 2));
        Event e = Event::None;
        while ((e = player.next(Direction::Forward)) != Event::Frame && e != Event::End) {
        }
        QCOMPARE(e, Event::Frame);
        QVERIFY(test::sameFrame(player.frame(), forward[1]));

        QCOMPARE(tcpdumpScannerSized(path), expected.scanner.size());
    }

    // Records that are not whole scanner datagrams stay other traffic however they are stored.
    void otherDatagramsStayOther_data()
    {
        QTest::addColumn<int>("at");    // from the IPv4 header's start
        QTest::addColumn<int>("value"); // the byte written there
        QTest::newRow("TCP") << int(udpframe::kIpProtocolOffset) << 6;
        QTest::newRow("a first fragment") << int(udpframe::kIpFlagsFragmentOffset) << 0x20;
        QTest::newRow("a later fragment") << int(udpframe::kIpFlagsFragmentOffset + 1) << 0x10;
        QTest::newRow("IPv6 version") << int(udpframe::kIpVersionLengthOffset) << 0x65;
        QTest::newRow("IPv4 header length too short") << int(udpframe::kIpVersionLengthOffset) << 0x44;
        QTest::newRow("longer IPv4 total length") << int(udpframe::kIpTotalLengthOffset + 1) << 0xD3;
        QTest::newRow("shorter UDP length") << int(udpframe::kIpv4HeaderSize + udpframe::kUdpLengthOffset + 1) << 0xBD;
    }

    void otherDatagramsStayOther()
    {
        QFETCH(int, at);
        QFETCH(int, value);
        test::CaptureBuilder b(fastScanner());
        const QByteArray sound = test::reencapsulated(b.deviceInfo().bytes(), {cf::kLinkTypeEthernet, {cf::kEtherTypeVlan}, 0, 0});
        QByteArray changed = sound;
        const int ip = int(cf::kFileHeaderSize + cf::kRecordHeaderSize + cf::kEthernetHeaderSize + cf::kVlanTagSize);
        changed[ip + at] = static_cast<char>(value);
        QCOMPARE(readRecords(sound).scanner.size(), 1);
        const Records r = readRecords(changed);
        QCOMPARE(r.scanner.size(), 0);
        QCOMPARE(r.skipped, 1);
    }

    // A slice copies the records as they are stored, under the file's own header, and plays
    // as the plain capture's slice does.
    void slicesPlay_data()
    {
        QTest::addColumn<test::Encapsulation>("encapsulation");
        QTest::newRow("802.1Q") << test::Encapsulation{cf::kLinkTypeEthernet, {cf::kEtherTypeVlan}, 0, 0};
        QTest::newRow("cooked v2 with IPv4 options") << test::Encapsulation{cf::kLinkTypeLinuxCooked2, {}, 12, 0};
    }

    void slicesPlay()
    {
        QFETCH(test::Encapsulation, encapsulation);
        auto slice = [this](const QByteArray& bytes, const QString& name) {
            const QString path = writeFile(dir_, name, bytes);
            CaptureFrameIndex index;
            SliceBounds bounds;
            QFile in(path);
            QByteArray out;
            QBuffer buffer(&out);
            if (!index.build(path) || !findSliceBounds(path, index, 2, 2, bounds, nullptr)
                || !in.open(QIODevice::ReadOnly) || !buffer.open(QIODevice::WriteOnly)
                || !copySlice(in, bounds, buffer, nullptr))
                return QByteArray();
            return out;
        };
        const QByteArray plain = mixedCapture();
        const QByteArray plainSlice = slice(plain, "plain-slice-source.pcap");
        const QByteArray otherSlice = slice(test::reencapsulated(plain, encapsulation), "slice-source.pcap");
        QVERIFY(!otherSlice.isEmpty());
        QCOMPARE(otherSlice.mid(int(cf::kLinkTypeOffset), 4), test::reencapsulated(plain, encapsulation).mid(int(cf::kLinkTypeOffset), 4));
        const QList<LidarData> frames = playedFrames(otherSlice, Direction::Forward);
        QVERIFY(!frames.isEmpty());
        QVERIFY(sameFrames(frames, playedFrames(plainSlice, Direction::Forward)));
    }

    // Exports and frames fail on a capture that plays no frame, say what its records were
    // and leave no file.
    void noPlayableFrame_data()
    {
        QTest::addColumn<QByteArray>("capture");
        QTest::addColumn<QString>("said");
        QTest::newRow("other traffic") << otherTraffic(1005) << "1,005 records, none of them the scanner's UDP datagrams";
        QTest::newRow("cooked other traffic")
            << test::reencapsulated(otherTraffic(3), {cf::kLinkTypeLinuxCooked, {}, 0, 0})
            << "3 records, none of them the scanner's UDP datagrams";
        QTest::newRow("no record") << otherTraffic(0) << "no record";
        test::CaptureBuilder b(fastScanner());
        const QByteArray dataOnly = b.revolutions(1.5).bytes();
        const int packets = readRecords(dataOnly).scanner.size();
        QTest::newRow("no device-info packet")
            << dataOnly
            << QString("%1 records: %1 data packets and no device-info packet, so no frame was played").arg(packets);
    }

    void noPlayableFrame()
    {
        QFETCH(QByteArray, capture);
        QFETCH(QString, said);
        const QString pcap = writeFile(dir_, "no-frame.pcap", capture);
        const struct {
            QStringList arguments;
            QString out;
        } runs[] = {
            {{"export", "--pcap", pcap, "--las", dir_.filePath("x.las")}, dir_.filePath("x.las")},
            {{"export", "--pcap", pcap, "--mcap", dir_.filePath("x.mcap")}, dir_.filePath("x.mcap")},
            {{"export", "--pcap", pcap, "--csv", dir_.filePath("x.csv")}, dir_.filePath("x.csv")},
            {{"frames", "--pcap", pcap}, {}},
        };
        for (const auto& run : runs) {
            const ProgramRun r = runToEnd(HVK32_CLI_PATH, run.arguments);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.errors.contains(": " + said.toUtf8() + (run.out.isEmpty() ? "\n" : "; nothing written\n")),
                     r.errors.constData());
            QVERIFY(r.lines.isEmpty());
            if (!run.out.isEmpty())
                QVERIFY(!QFile::exists(run.out));
        }
    }
};

QTEST_GUILESS_MAIN(CaptureEncapsulationTest)
#include "CaptureEncapsulationTest.moc"
