#pragma once
// The classic packet capture file (".pcap"), as written by libpcap and tcpdump.
//
//   file header, 24 bytes             record header, 16 bytes, before every record
//   offset  size  content             offset  size  content
//   0       4     magic number        0       4     time stamp, seconds
//   4       2     version major (2)   4       4     time stamp, micro- or nanoseconds
//   6       2     version minor (4)   8       4     captured length (bytes that follow)
//   8       4     time zone offset    12      4     original length of the frame
//   12      4     time stamp accuracy
//   16      4     snapshot length
//   20      4     link type (1: Ethernet, 113 and 276: Linux cooked capture v1 and v2)
//                 and, in its upper bits, whether each frame ends in an FCS and how long
//
// The magic number tells the byte order of every header integer (the writer's own) and
// whether record times are in micro- or nanoseconds. A scanner datagram travels as an
// Ethernet frame of 14 + 20 + 8 + 1206 = 1248 bytes, so its payload starts 58 bytes after
// the record header. Captures taken on a switch port or on all interfaces at once carry
// the same datagram otherwise: behind 802.1Q or QinQ VLAN tags, behind a Linux cooked
// header instead of the Ethernet one, with IPv4 options, or with an FCS after it.
//
// CaptureReader walks the records of such a file forward, hands back the scanner frames
// and skips every other record by its captured length. It knows nothing of the payloads.
// A 1248-byte record of an Ethernet capture without FCS is a scanner frame by its length
// and is handed back as it is stored. A record carrying a scanner datagram in any other
// way is handed back as that record would be: the same record header and time, a plain
// 1248-byte Ethernet frame around the same IPv4 addresses, UDP header and payload. So every
// reader of scanner records finds the payload at kPayloadOffset.
// Where a record header is damaged (lengths no writer produces that do not lead to the next
// record, or a record whose length runs into the next one), RecordWalker looks for the next
// plausible record header and goes on there; the damage says what was passed over.

#include "acquisition/UdpFrame.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

namespace hvk32::capturefile {

constexpr std::uint32_t kMagicMicroseconds = 0xA1B2C3D4;
constexpr std::uint32_t kMagicNanoseconds = 0xA1B23C4D;
constexpr std::uint32_t kMagicMicrosecondsSwapped = 0xD4C3B2A1;
constexpr std::uint32_t kMagicNanosecondsSwapped = 0x4D3CB2A1;
constexpr std::uint32_t kPcapngBlockType = 0x0A0D0D0A; // first word of a pcapng file, either order
constexpr std::uint16_t kVersionMajor = 2;
constexpr std::uint16_t kVersionMinor = 4;
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::uint32_t kLinkTypeEthernet = 1;
constexpr std::uint32_t kLinkTypeLinuxCooked = 113;  // header of 16 bytes, the EtherType last
constexpr std::uint32_t kLinkTypeLinuxCooked2 = 276; // header of 20 bytes, the EtherType first
constexpr std::uint32_t kLinkTypeMask = 0xFFFF; // the upper bits of the field carry FCS flags
// Set when the top four bits of the field give the length of the FCS that ends every frame,
// in 16-bit words (an Ethernet FCS: 2).
constexpr std::uint32_t kLinkTypeFcsKnown = 0x04000000;
constexpr unsigned kLinkTypeFcsShift = 28;

constexpr std::size_t kFileHeaderSize = 24;
constexpr std::size_t kMagicOffset = 0;
constexpr std::size_t kVersionMajorOffset = 4;
constexpr std::size_t kVersionMinorOffset = 6;
constexpr std::size_t kTimeZoneOffset = 8;
constexpr std::size_t kAccuracyOffset = 12;
constexpr std::size_t kSnapLengthOffset = 16;
constexpr std::size_t kLinkTypeOffset = 20;

constexpr std::size_t kRecordHeaderSize = 16;
constexpr std::size_t kSecondsOffset = 0;
constexpr std::size_t kFractionOffset = 4;
constexpr std::size_t kCapturedLengthOffset = 8;
constexpr std::size_t kOriginalLengthOffset = 12;

// The frame around a datagram; its layout is in UdpFrame.h.
constexpr std::size_t kEthernetHeaderSize = udpframe::kEthernetHeaderSize;
constexpr std::size_t kIpv4HeaderSize = udpframe::kIpv4HeaderSize;
constexpr std::size_t kUdpHeaderSize = udpframe::kUdpHeaderSize;
constexpr std::size_t kUdpFrameOverhead = udpframe::kHeaderSize; // 42
constexpr std::size_t kScannerPayloadSize = 1206;
constexpr std::uint32_t kScannerFrameLength = kUdpFrameOverhead + kScannerPayloadSize; // 1248
constexpr std::size_t kScannerRecordSize = kRecordHeaderSize + kScannerFrameLength;    // 1264
constexpr std::size_t kPayloadOffset = kRecordHeaderSize + kUdpFrameOverhead;           // 58, from the record header

// Other ways a frame carries the datagram.
constexpr std::size_t kCookedHeaderSize = 16;  // Linux cooked capture v1
constexpr std::size_t kCookedProtocolOffset = 14;
constexpr std::size_t kCookedAddressLengthOffset = 4;
constexpr std::size_t kCookedAddressOffset = 6;
constexpr std::size_t kCooked2HeaderSize = 20; // v2
constexpr std::size_t kCooked2ProtocolOffset = 0;
constexpr std::size_t kCooked2AddressLengthOffset = 11;
constexpr std::size_t kCooked2AddressOffset = 12;
constexpr std::size_t kVlanTagSize = 4; // tag control, then the EtherType of what follows
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeQinQ = 0x88A8;
constexpr std::uint16_t kEtherTypeQinQOld = 0x9100;
constexpr std::size_t kMaxVlanTags = 8;
// The longest frame looked into for a scanner datagram: the longest headers and FCS with room
// to spare. Frames with more bytes after the datagram than that are other traffic.
constexpr std::uint32_t kMaxScannerFrameLength = kScannerFrameLength + 512;

// How the file writes its header integers and record times.
struct FileFormat {
    bool swapped = false;     // written big-endian
    bool nanoseconds = false; // record times in nanoseconds
    std::uint32_t snapLength = 0;
    std::uint32_t linkType = 0;  // the whole field, FCS bits included
    std::uint32_t fcsLength = 0; // bytes of FCS at the end of every frame, when the field gives it

    // Ethernet frames without FCS: a 1248-byte frame is a scanner frame by its length alone.
    bool plainEthernet() const { return (linkType & kLinkTypeMask) == kLinkTypeEthernet && fcsLength == 0; }
};

struct HeaderCheck {
    bool ok = false;
    QString message; // why the file cannot be played; empty when ok
    FileFormat format;
};

// Checks the first `length` bytes of a file: a classic capture of Ethernet frames or of
// Linux cooked frames.
HeaderCheck checkFileHeader(const std::uint8_t* bytes, std::size_t length);

struct RecordHeader {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0; // micro- or nanoseconds, as the file format says
    std::uint32_t capturedLength = 0;
    std::uint32_t originalLength = 0;
};

RecordHeader readRecordHeader(const std::uint8_t* p, const FileFormat& format);

// A record of a plain Ethernet capture holds a scanner datagram when its frame is exactly
// 1248 bytes on the wire and all of it was captured.
inline bool isScannerFrame(const RecordHeader& h)
{
    return h.originalLength == kScannerFrameLength && h.capturedLength == kScannerFrameLength;
}

// Where a frame carries a scanner datagram (an IPv4 UDP datagram of 1206 payload bytes,
// whole and unfragmented), in bytes from the frame's start.
struct DatagramPlace {
    std::uint32_t ip = kEthernetHeaderSize;       // the IPv4 header
    std::uint32_t udp = kEthernetHeaderSize + kIpv4HeaderSize; // the UDP header, the payload after it
};

// Looks for a scanner datagram in the `length` captured bytes of a frame of the file's link
// type: behind the link header and any VLAN tags, after IPv4 options, before an FCS or
// other trailing bytes.
bool findScannerDatagram(const std::uint8_t* frame, std::size_t length, const FileFormat& format,
                         DatagramPlace* place);

// Where a walk goes from a record, given its header and the bytes of the file after that
// header: the one rule CaptureReader and the frame index both follow.
struct RecordStep {
    enum Kind {
        Scanner,   // a whole scanner record
        Skipped,   // a record of another kind, passed over by its captured length
        Truncated, // cut off by the end of the file: dropped, and the walk ends
        End,       // no record left
    } kind = Truncated;
    bool badLength = false; // lengths no capture writer produces
    qint64 size = 0;        // header plus captured bytes
    // A scanner record stored as 1264 bytes that readers take as they are (a plain Ethernet
    // capture's 1248-byte frame); otherwise `place` says where its datagram is.
    bool plain = true;
    DatagramPlace place;
};
// The step as the record header alone tells it, in a capture of the given format: a plain
// Ethernet capture's 1248-byte frames are scanner records, every other record is Skipped
// until its bytes are looked at (RecordWalker does).
RecordStep stepOverRecord(const RecordHeader& h, qint64 bytesAfterHeader, const FileFormat& format);

// Header writers (little-endian, microseconds), mirroring the readers.
void writeFileHeader(std::uint8_t* p, std::uint32_t snapLength = kSnapLength,
                     std::uint32_t linkType = kLinkTypeEthernet);
void writeRecordHeader(std::uint8_t* p, const RecordHeader& header);

// Damage found while walking a file.
struct Damage {
    std::uint64_t truncatedRecords = 0; // a last record cut off by the end of the file, dropped
    std::uint64_t badLengths = 0;       // records with impossible lengths, skipped
    qint64 truncatedOffset = -1;        // where the dropped record starts
    qint64 firstBadLengthOffset = -1;
    // Damaged places inside the file: bytes that hold no readable record (a damaged header,
    // a record longer or shorter than its header says), passed over to the next plausible
    // record. Each place loses at least the record where it starts.
    std::uint64_t damagedPlaces = 0;
    qint64 skippedBytes = 0;       // in all of them
    qint64 firstDamageOffset = -1; // where the first starts
    qint64 firstDamageBytes = 0;   // and its length

    bool any() const { return truncatedRecords != 0 || badLengths != 0 || damagedPlaces != 0; }
};

// What a damage amounts to, in one line for the user ("" when there is none).
QString describeDamage(const Damage& damage);

// What the records of a capture that gave no frame were, in one line for the user:
// "7,505 records, none of them the scanner's UDP datagrams", or which scanner packets were
// there and what was missing for a frame.
struct RecordCounts {
    std::uint64_t records = 0;           // whole records read
    std::uint64_t dataPackets = 0;       // scanner data packets among them
    std::uint64_t deviceInfoPackets = 0; // scanner device-info packets among them
    bool configurationReported = false;  // a device-info packet told the configuration
};
QString describeNoFrame(const RecordCounts& counts);

// Reads a device in large chunks and hands out views of its bytes, so that a walk over
// records of 1264 bytes makes one read call per many records.
class ChunkReader {
public:
    ChunkReader(QIODevice* device, qint64 length, qint64 chunkSize);
    // `size` bytes at `offset` (at most a chunk), or null when they cannot be read. The view
    // is valid until the next call.
    const std::uint8_t* at(qint64 offset, qint64 size);

private:
    QIODevice* device_;
    qint64 length_;
    std::vector<std::uint8_t> buffer_;
    qint64 start_ = 0;
    qint64 filled_ = 0;
};

// The walk from record to record that CaptureReader and the frame index share. A record is
// taken as its header says when its lengths are plausible and the bytes after it look like
// the next record header (or the end of the file), or when its lengths are odd but stepping
// over it leads to the next plausible record. Otherwise the bytes up to the next plausible
// record are passed over: a header with plausible lengths for this file, a time stamp near
// the last sound record's, whose record fits in the file and is followed by another such
// header or the end of the file.
class RecordWalker {
public:
    static constexpr std::uint32_t kMaxPlausibleLength = 262144; // the longest frame capture tools keep
    static constexpr qint64 kMaxSecondsBack = 60;                 // a later record's time may go back this far
    static constexpr qint64 kMaxSecondsAhead = 24 * 3600;         // or forward this far

    // Starts at the first record of a file of `length` bytes.
    void reset(const FileFormat& format, qint64 length);

    // The record at the position, moving past it (and past damage before it). Scanner and
    // Skipped give its offset and header; Truncated and End leave the position at the end.
    RecordStep next(ChunkReader& in, qint64* offset, RecordHeader* header);

    // Goes on at `position`, after a sound record with header `before` read elsewhere.
    void moveTo(qint64 position, const RecordHeader& before);

    qint64 position() const { return position_; }
    const Damage& damage() const { return damage_; }

private:
    bool lengthsPlausible(const RecordHeader& h) const;
    bool timePlausible(const RecordHeader& h, std::uint32_t seconds) const;
    bool looksLikeNext(ChunkReader& in, qint64 offset, const RecordHeader* before) const;
    bool isCandidate(ChunkReader& in, qint64 offset) const;
    qint64 candidateBetween(ChunkReader& in, qint64 from, qint64 to) const;
    qint64 nextCandidate(ChunkReader& in, qint64 after);
    bool stepsToRecord(ChunkReader& in, qint64 from) const;
    void lookInto(ChunkReader& in, qint64 at, const RecordHeader& h, RecordStep& step) const;
    void takeTime(const RecordHeader& h);

    FileFormat format_;
    qint64 length_ = 0;
    qint64 position_ = 0;
    Damage damage_;
    bool haveTime_ = false;         // a record of plausible lengths was read
    std::uint32_t lastSeconds_ = 0; // the time the search compares with
    bool haveTakenTime_ = false;
    std::uint32_t takenSeconds_ = 0; // the last such record's time
    // The last search for a plausible record: from `searchFrom_`, with the time it was made
    // against, found `searchResult_` (-1: none up to the end).
    qint64 searchFrom_ = -1;
    qint64 searchResult_ = -1;
    bool searchHadTime_ = false;
    std::uint32_t searchSeconds_ = 0;
};

// One scanner record: the record header followed by the 1248-byte frame.
using ScannerRecord = std::array<std::uint8_t, kScannerRecordSize>;

// The scanner record a reader hands out for `record` (its header and frame as stored, in the
// file's byte order), whose datagram lies at `place`: the same record header with the lengths
// of a 1248-byte frame, then the plain Ethernet frame around the same addresses, UDP header
// and payload (IPv4 options and VLAN tags left out, the IPv4 checksum made anew).
void writePlainScannerRecord(const std::uint8_t* record, const DatagramPlace& place, const FileFormat& format,
                             ScannerRecord& out);

class CaptureReader {
public:
    enum class Read {
        Scanner, // a scanner record, copied out
        Skipped, // a record of another kind, passed over
        End,     // the end of the file, or a record cut off by it
    };

    CaptureReader();
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // Opens a file, or reads from a device already open for reading (not owned), and checks
    // its header. On failure the reader stays closed and `message` says why.
    bool open(const QString& path, QString* message = nullptr);
    bool open(QIODevice* device, QString* message = nullptr);
    void close();
    bool isOpen() const { return device_ != nullptr; }

    const FileFormat& format() const { return format_; }
    qint64 length() const { return length_; }
    qint64 position() const { return position_; }

    // Back to the first record; takes the file's length again and clears the damage counts.
    bool rewind();

    // Reads the record at the current position and moves past it. The position only ever
    // grows, by at least a record header, so a walk ends on any file.
    Read next(ScannerRecord& record, qint64* recordOffset = nullptr);
    // The same, handing back where the scanner record's bytes are in the reader's buffer
    // instead of copying them: valid until the reader is used again.
    Read next(const std::uint8_t** record, qint64* recordOffset = nullptr);

    // Reads the scanner record at `offset` (one that next() returned before) and leaves the
    // position after it. False when it is not there any more.
    bool readScannerRecordAt(qint64 offset, ScannerRecord& record);

    // Whole records next() passed since the last rewind, and the scanner records among them.
    std::uint64_t records() const { return records_; }
    std::uint64_t scannerRecords() const { return scannerRecords_; }

    const Damage& damage() const { return walker_.damage(); }
    // The header of the last record next() looked at.
    const RecordHeader& lastHeader() const { return header_; }

private:
    bool attach(QIODevice* device, QString* message);
    bool readAt(qint64 offset, std::uint8_t* out, qint64 size);
    bool readOtherScannerRecordAt(qint64 offset, ScannerRecord& record);

    std::unique_ptr<QIODevice> ownedDevice_;
    QIODevice* device_ = nullptr;
    FileFormat format_;
    qint64 length_ = 0;
    qint64 position_ = 0;
    RecordHeader header_;
    RecordWalker walker_;
    std::unique_ptr<ChunkReader> chunks_;
    ScannerRecord plainRecord_{};        // a scanner record made plain, handed out by next()
    std::vector<std::uint8_t> stored_;   // a record as stored, read again at an offset
    std::uint64_t records_ = 0;
    std::uint64_t scannerRecords_ = 0;
};

} // namespace hvk32::capturefile
