#include "acquisition/CaptureFile.h"

#include "records/ByteOrder.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <limits>

namespace hvk32::capturefile {

namespace {

std::uint32_t u32(const std::uint8_t* p, bool swapped) { return swapped ? be32(p) : le32(p); }

// An original length with the top bit set is a negative number in the writer's hands.
constexpr std::uint32_t kMaxOriginalLength = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());

constexpr qint64 kReaderChunkSize = 256 << 10; // bytes the reader reads at once

void putU32(std::uint8_t* p, std::uint32_t v, bool swapped) { swapped ? putBe32(p, v) : putLe32(p, v); }

bool isVlanTag(std::uint16_t etherType)
{
    return etherType == kEtherTypeVlan || etherType == kEtherTypeQinQ || etherType == kEtherTypeQinQOld;
}

// A count with thousands separators, as people read it: 7,505.
QString grouped(std::uint64_t n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(n));
}

} // namespace

HeaderCheck checkFileHeader(const std::uint8_t* bytes, std::size_t length)
{
    HeaderCheck check;
    if (length >= 4 && le32(bytes) == kPcapngBlockType) {
        check.message = QCoreApplication::translate("CaptureFile", "a pcapng capture: save it as pcap (libpcap) format");
        return check;
    }
    const QString tooShort = QCoreApplication::translate("CaptureFile", "too short for a capture file (%1 bytes, the file header alone has %2)")
                                 .arg(length)
                                 .arg(kFileHeaderSize);
    if (length < 4) {
        check.message = tooShort;
        return check;
    }
    switch (le32(bytes + kMagicOffset)) {
    case kMagicMicroseconds:
        break;
    case kMagicNanoseconds:
        check.format.nanoseconds = true;
        break;
    case kMagicMicrosecondsSwapped:
        check.format.swapped = true;
        break;
    case kMagicNanosecondsSwapped:
        check.format.swapped = check.format.nanoseconds = true;
        break;
    default:
        check.message = QCoreApplication::translate("CaptureFile", "not a capture file");
        return check;
    }
    if (length < kFileHeaderSize) {
        check.message = tooShort;
        return check;
    }
    check.format.snapLength = u32(bytes + kSnapLengthOffset, check.format.swapped);
    check.format.linkType = u32(bytes + kLinkTypeOffset, check.format.swapped);
    const std::uint32_t linkType = check.format.linkType & kLinkTypeMask;
    if (linkType != kLinkTypeEthernet && linkType != kLinkTypeLinuxCooked && linkType != kLinkTypeLinuxCooked2) {
        check.message = QCoreApplication::translate("CaptureFile", "link type %1 is not Ethernet or Linux cooked capture")
                            .arg(linkType);
        return check;
    }
    if (check.format.linkType & kLinkTypeFcsKnown)
        check.format.fcsLength = 2 * (check.format.linkType >> kLinkTypeFcsShift);
    check.ok = true;
    return check;
}

RecordHeader readRecordHeader(const std::uint8_t* p, const FileFormat& format)
{
    RecordHeader h;
    h.seconds = u32(p + kSecondsOffset, format.swapped);
    h.fraction = u32(p + kFractionOffset, format.swapped);
    h.capturedLength = u32(p + kCapturedLengthOffset, format.swapped);
    h.originalLength = u32(p + kOriginalLengthOffset, format.swapped);
    return h;
}

void writeFileHeader(std::uint8_t* p, std::uint32_t snapLength, std::uint32_t linkType)
{
    putLe32(p + kMagicOffset, kMagicMicroseconds);
    putLe16(p + kVersionMajorOffset, kVersionMajor);
    putLe16(p + kVersionMinorOffset, kVersionMinor);
    putLe32(p + kTimeZoneOffset, 0); // record times are UTC
    putLe32(p + kAccuracyOffset, 0);
    putLe32(p + kSnapLengthOffset, snapLength);
    putLe32(p + kLinkTypeOffset, linkType);
}

void writeRecordHeader(std::uint8_t* p, const RecordHeader& h)
{
    putLe32(p + kSecondsOffset, h.seconds);
    putLe32(p + kFractionOffset, h.fraction);
    putLe32(p + kCapturedLengthOffset, h.capturedLength);
    putLe32(p + kOriginalLengthOffset, h.originalLength);
}

RecordStep stepOverRecord(const RecordHeader& h, qint64 bytesAfterHeader, const FileFormat& format)
{
    RecordStep step;
    if (static_cast<qint64>(h.capturedLength) > bytesAfterHeader)
        return step;
    step.size = static_cast<qint64>(kRecordHeaderSize) + static_cast<qint64>(h.capturedLength);
    const bool plainEthernet = format.plainEthernet();
    if (plainEthernet && isScannerFrame(h)) {
        step.kind = RecordStep::Scanner;
        return step;
    }
    step.kind = RecordStep::Skipped;
    // Lengths no capture writer produces: a frame of nothing, more captured than sent, a
    // negative original length, or a scanner-sized frame that was not captured whole.
    step.badLength = h.originalLength == 0 || h.originalLength > kMaxOriginalLength
        || h.capturedLength > h.originalLength || (plainEthernet && h.originalLength == kScannerFrameLength);
    return step;
}

bool findScannerDatagram(const std::uint8_t* frame, std::size_t length, const FileFormat& format,
                         DatagramPlace* place)
{
    using namespace udpframe;
    if (length < format.fcsLength)
        return false;
    length -= format.fcsLength;
    std::size_t at = 0;
    std::uint16_t etherType = 0;
    switch (format.linkType & kLinkTypeMask) {
    case kLinkTypeEthernet:
        at = kEthernetHeaderSize;
        if (length >= at)
            etherType = be16(frame + kEtherTypeOffset);
        break;
    case kLinkTypeLinuxCooked:
        at = kCookedHeaderSize;
        if (length >= at)
            etherType = be16(frame + kCookedProtocolOffset);
        break;
    case kLinkTypeLinuxCooked2:
        at = kCooked2HeaderSize;
        if (length >= at)
            etherType = be16(frame + kCooked2ProtocolOffset);
        break;
    default:
        return false;
    }
    for (std::size_t tags = 0; isVlanTag(etherType); ++tags) {
        if (tags == kMaxVlanTags || length - at < kVlanTagSize)
            return false;
        etherType = be16(frame + at + 2);
        at += kVlanTagSize;
    }
    if (etherType != kEtherTypeIpv4 || length - at < kIpv4HeaderSize)
        return false;
    const std::uint8_t* ip = frame + at;
    const std::size_t ipHeaderSize = 4u * (ip[kIpVersionLengthOffset] & 0x0F);
    constexpr std::size_t kUdpLength = kUdpHeaderSize + kScannerPayloadSize;
    // An IPv4 UDP datagram of exactly a scanner payload, whole: neither a fragment nor a
    // datagram that the capture cut short.
    if ((ip[kIpVersionLengthOffset] >> 4) != 4 || ipHeaderSize < kIpv4HeaderSize
        || ip[kIpProtocolOffset] != kProtocolUdp || (be16(ip + kIpFlagsFragmentOffset) & 0x3FFF) != 0
        || be16(ip + kIpTotalLengthOffset) != ipHeaderSize + kUdpLength || length - at < ipHeaderSize + kUdpLength
        || be16(ip + ipHeaderSize + kUdpLengthOffset) != kUdpLength)
        return false;
    place->ip = static_cast<std::uint32_t>(at);
    place->udp = static_cast<std::uint32_t>(at + ipHeaderSize);
    return true;
}

void writePlainScannerRecord(const std::uint8_t* record, const DatagramPlace& place, const FileFormat& format,
                             ScannerRecord& out)
{
    using namespace udpframe;
    std::uint8_t* o = out.data();
    std::memcpy(o, record, kRecordHeaderSize);
    putU32(o + kCapturedLengthOffset, kScannerFrameLength, format.swapped);
    putU32(o + kOriginalLengthOffset, kScannerFrameLength, format.swapped);
    const std::uint8_t* frame = record + kRecordHeaderSize;
    std::uint8_t* f = o + kRecordHeaderSize;
    // Hardware addresses: an Ethernet frame's own; a cooked header keeps the sender's only.
    std::memset(f, 0, kEthernetHeaderSize);
    constexpr std::size_t kAddressSize = 6;
    switch (format.linkType & kLinkTypeMask) {
    case kLinkTypeEthernet:
        std::memcpy(f, frame, 2 * kAddressSize);
        break;
    case kLinkTypeLinuxCooked:
        if (be16(frame + kCookedAddressLengthOffset) == kAddressSize)
            std::memcpy(f + kAddressSize, frame + kCookedAddressOffset, kAddressSize);
        break;
    case kLinkTypeLinuxCooked2:
        if (frame[kCooked2AddressLengthOffset] == kAddressSize)
            std::memcpy(f + kAddressSize, frame + kCooked2AddressOffset, kAddressSize);
        break;
    }
    putBe16(f + kEtherTypeOffset, kEtherTypeIpv4);
    std::uint8_t* ip = f + kEthernetHeaderSize;
    std::memcpy(ip, frame + place.ip, kIpv4HeaderSize);
    ip[kIpVersionLengthOffset] = kIpv4NoOptions;
    putBe16(ip + kIpTotalLengthOffset, static_cast<std::uint16_t>(kIpv4HeaderSize + kUdpHeaderSize + kScannerPayloadSize));
    putBe16(ip + kIpChecksumOffset, 0);
    putBe16(ip + kIpChecksumOffset, internetChecksum(ip, kIpv4HeaderSize));
    std::memcpy(ip + kIpv4HeaderSize, frame + place.udp, kUdpHeaderSize + kScannerPayloadSize);
}

CaptureReader::CaptureReader() = default;
CaptureReader::~CaptureReader() = default;

bool CaptureReader::open(const QString& path, QString* message)
{
    close();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (message)
            *message = QCoreApplication::translate("CaptureFile", "cannot open: %1").arg(file->errorString());
        return false;
    }
    if (!attach(file.get(), message))
        return false;
    ownedDevice_ = std::move(file);
    return true;
}

bool CaptureReader::open(QIODevice* device, QString* message)
{
    close();
    return attach(device, message);
}

bool CaptureReader::attach(QIODevice* device, QString* message)
{
    // Playing backward seeks, so a pipe or a device cannot be played.
    if (!device || !device->isOpen() || !device->isReadable() || device->isSequential()) {
        if (message)
            *message = QCoreApplication::translate("CaptureFile", "not a regular file");
        return false;
    }
    std::uint8_t header[kFileHeaderSize] = {};
    const qint64 got = device->seek(0) ? device->read(reinterpret_cast<char*>(header), sizeof header) : -1;
    const HeaderCheck check = checkFileHeader(header, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (!check.ok) {
        if (message)
            *message = check.message;
        return false;
    }
    device_ = device;
    format_ = check.format;
    if (!rewind()) {
        device_ = nullptr;
        if (message)
            *message = QCoreApplication::translate("CaptureFile", "cannot read the file");
        return false;
    }
    return true;
}

void CaptureReader::close()
{
    device_ = nullptr;
    ownedDevice_.reset();
    chunks_.reset();
    length_ = position_ = 0;
    header_ = {};
    walker_.reset(format_, 0);
}

bool CaptureReader::rewind()
{
    header_ = {};
    records_ = scannerRecords_ = 0;
    position_ = static_cast<qint64>(kFileHeaderSize);
    length_ = device_ ? device_->size() : 0;
    walker_.reset(format_, length_);
    chunks_ = device_ ? std::make_unique<ChunkReader>(device_, length_, kReaderChunkSize) : nullptr;
    return device_ && device_->seek(position_);
}

bool CaptureReader::readAt(qint64 offset, std::uint8_t* out, qint64 size)
{
    if (!device_ || offset < 0 || size > length_ - offset)
        return false;
    if (device_->pos() != offset && !device_->seek(offset))
        return false;
    return device_->read(reinterpret_cast<char*>(out), size) == size;
}

CaptureReader::Read CaptureReader::next(ScannerRecord& record, qint64* recordOffset)
{
    const std::uint8_t* bytes = nullptr;
    const Read read = next(&bytes, recordOffset);
    if (read == Read::Scanner)
        std::memcpy(record.data(), bytes, kScannerRecordSize);
    return read;
}

CaptureReader::Read CaptureReader::next(const std::uint8_t** record, qint64* recordOffset)
{
    if (!device_ || !chunks_ || position_ >= length_)
        return Read::End;
    qint64 offset = position_;
    const RecordStep step = walker_.next(*chunks_, &offset, &header_);
    position_ = walker_.position();
    if (recordOffset)
        *recordOffset = offset;
    switch (step.kind) {
    case RecordStep::Scanner:
        if (const std::uint8_t* bytes = chunks_->at(offset, step.plain ? static_cast<qint64>(kScannerRecordSize) : step.size)) {
            ++records_;
            ++scannerRecords_;
            if (step.plain) {
                *record = bytes;
            } else {
                writePlainScannerRecord(bytes, step.place, format_, plainRecord_);
                *record = plainRecord_.data();
            }
            return Read::Scanner;
        }
        position_ = length_; // the device could not be read
        return Read::End;
    case RecordStep::Skipped:
        ++records_;
        return Read::Skipped;
    case RecordStep::Truncated:
    case RecordStep::End:
        break;
    }
    return Read::End;
}

bool CaptureReader::readScannerRecordAt(qint64 offset, ScannerRecord& record)
{
    if (offset < static_cast<qint64>(kFileHeaderSize) || !readAt(offset, record.data(), kScannerRecordSize))
        return false;
    header_ = readRecordHeader(record.data(), format_);
    const bool plain = format_.plainEthernet() && isScannerFrame(header_);
    if (!plain && !readOtherScannerRecordAt(offset, record))
        return false;
    position_ = offset + static_cast<qint64>(kRecordHeaderSize)
        + static_cast<qint64>(plain ? kScannerFrameLength : header_.capturedLength);
    walker_.moveTo(position_, header_);
    return true;
}

// A scanner record stored otherwise than as 1264 bytes, whose header is in header_.
bool CaptureReader::readOtherScannerRecordAt(qint64 offset, ScannerRecord& record)
{
    const std::uint32_t captured = header_.capturedLength;
    if (captured < kScannerFrameLength || captured > kMaxScannerFrameLength)
        return false;
    stored_.resize(kRecordHeaderSize + captured);
    DatagramPlace place;
    if (!readAt(offset, stored_.data(), static_cast<qint64>(stored_.size()))
        || !findScannerDatagram(stored_.data() + kRecordHeaderSize, captured, format_, &place))
        return false;
    writePlainScannerRecord(stored_.data(), place, format_, record);
    return true;
}

ChunkReader::ChunkReader(QIODevice* device, qint64 length, qint64 chunkSize)
    : device_(device), length_(length), buffer_(static_cast<std::size_t>(chunkSize))
{
}

const std::uint8_t* ChunkReader::at(qint64 offset, qint64 size)
{
    if (offset >= start_ && size <= filled_ - (offset - start_))
        return buffer_.data() + (offset - start_);
    const qint64 chunk = static_cast<qint64>(buffer_.size());
    if (size > chunk || offset < 0 || size < 0 || size > length_ - offset)
        return nullptr;
    // Keep the bytes from `offset` on that are already here; read the rest. Others may read
    // the device in between, so every read seeks first.
    qint64 kept = 0;
    if (offset >= start_ && offset < start_ + filled_) {
        kept = start_ + filled_ - offset;
        std::memmove(buffer_.data(), buffer_.data() + (offset - start_), static_cast<std::size_t>(kept));
    }
    start_ = offset;
    filled_ = kept;
    if (!device_->seek(offset + kept))
        return nullptr;
    const qint64 want = std::min(chunk, length_ - offset) - kept;
    const qint64 got = want > 0 ? device_->read(reinterpret_cast<char*>(buffer_.data() + kept), want) : 0;
    filled_ += std::max<qint64>(got, 0);
    return size <= filled_ ? buffer_.data() : nullptr;
}

void RecordWalker::reset(const FileFormat& format, qint64 length)
{
    format_ = format;
    length_ = length;
    position_ = static_cast<qint64>(kFileHeaderSize);
    damage_ = {};
    haveTime_ = haveTakenTime_ = false;
    lastSeconds_ = takenSeconds_ = 0;
    searchFrom_ = searchResult_ = -1;
}

void RecordWalker::moveTo(qint64 position, const RecordHeader& before)
{
    position_ = position;
    haveTime_ = haveTakenTime_ = true;
    lastSeconds_ = takenSeconds_ = before.seconds;
}

bool RecordWalker::lengthsPlausible(const RecordHeader& h) const
{
    if (h.originalLength == 0 || h.originalLength > kMaxPlausibleLength || h.capturedLength > h.originalLength)
        return false;
    if (format_.plainEthernet() && h.originalLength == kScannerFrameLength && h.capturedLength != kScannerFrameLength)
        return false;
    // A writer keeps no more than its snapshot length (when the file states a usable one).
    return format_.snapLength < kScannerFrameLength || h.capturedLength <= format_.snapLength;
}

bool RecordWalker::timePlausible(const RecordHeader& h, std::uint32_t seconds) const
{
    const qint64 difference = static_cast<qint64>(h.seconds) - static_cast<qint64>(seconds);
    return difference >= -kMaxSecondsBack && difference <= kMaxSecondsAhead;
}

// Whether `offset` is where a record can start after one that ends there: the end of the
// file, a header cut off by it, or a header with plausible lengths (and, when `before` is
// given, a time near its).
bool RecordWalker::looksLikeNext(ChunkReader& in, qint64 offset, const RecordHeader* before) const
{
    if (length_ - offset < static_cast<qint64>(kRecordHeaderSize))
        return true;
    const std::uint8_t* p = in.at(offset, static_cast<qint64>(kRecordHeaderSize));
    if (!p)
        return false;
    const RecordHeader h = readRecordHeader(p, format_);
    return lengthsPlausible(h) && (!before || timePlausible(h, before->seconds));
}

bool RecordWalker::isCandidate(ChunkReader& in, qint64 offset) const
{
    const std::uint8_t* p = in.at(offset, static_cast<qint64>(kRecordHeaderSize));
    if (!p)
        return false;
    const RecordHeader h = readRecordHeader(p, format_);
    if (!lengthsPlausible(h) || (haveTime_ && !timePlausible(h, lastSeconds_)))
        return false;
    const qint64 end = offset + static_cast<qint64>(kRecordHeaderSize) + static_cast<qint64>(h.capturedLength);
    return end <= length_ && looksLikeNext(in, end, &h);
}

qint64 RecordWalker::candidateBetween(ChunkReader& in, qint64 from, qint64 to) const
{
    for (qint64 p = from; p < to && p + static_cast<qint64>(kRecordHeaderSize) <= length_; ++p)
        if (isCandidate(in, p))
            return p;
    return -1;
}

qint64 RecordWalker::nextCandidate(ChunkReader& in, qint64 after)
{
    // A search made from no later than here, against the same time, that found nothing or
    // something after here, still holds.
    if (searchFrom_ >= 0 && searchFrom_ <= after + 1 && (searchResult_ < 0 || searchResult_ > after)
        && searchHadTime_ == haveTime_ && searchSeconds_ == lastSeconds_)
        return searchResult_;
    searchFrom_ = after + 1;
    searchHadTime_ = haveTime_;
    searchSeconds_ = lastSeconds_;
    searchResult_ = candidateBetween(in, after + 1, length_);
    return searchResult_;
}

// Whether stepping over records by their captured lengths from `from` reaches a plausible
// header (or the end of the file) within a few records: then the records on the way are
// whole, only their lengths are odd.
bool RecordWalker::stepsToRecord(ChunkReader& in, qint64 from) const
{
    constexpr int kSteps = 3;
    qint64 p = from;
    for (int k = 0; k < kSteps; ++k) {
        const std::uint8_t* bytes = in.at(p, static_cast<qint64>(kRecordHeaderSize));
        if (!bytes)
            return false;
        const RecordHeader h = readRecordHeader(bytes, format_);
        if (static_cast<qint64>(h.capturedLength) > length_ - p - static_cast<qint64>(kRecordHeaderSize))
            return false;
        p += static_cast<qint64>(kRecordHeaderSize) + static_cast<qint64>(h.capturedLength);
        if (p == length_ || looksLikeNext(in, p, nullptr))
            return true;
    }
    return false;
}

// A record of other lengths than a plain scanner frame is a scanner record when its bytes
// carry a scanner datagram.
void RecordWalker::lookInto(ChunkReader& in, qint64 at, const RecordHeader& h, RecordStep& step) const
{
    if (step.badLength || h.capturedLength < kScannerFrameLength || h.capturedLength > kMaxScannerFrameLength)
        return;
    const std::uint8_t* bytes = in.at(at, step.size);
    DatagramPlace place;
    if (bytes && findScannerDatagram(bytes + kRecordHeaderSize, h.capturedLength, format_, &place)) {
        step.kind = RecordStep::Scanner;
        step.plain = false;
        step.place = place;
    }
}

void RecordWalker::takeTime(const RecordHeader& h)
{
    // A time far from the last one is taken once the next record confirms it, so a clock
    // that jumped does not hide later records from the search.
    if (!haveTime_ || timePlausible(h, lastSeconds_) || (haveTakenTime_ && timePlausible(h, takenSeconds_)))
        lastSeconds_ = h.seconds;
    haveTime_ = haveTakenTime_ = true;
    takenSeconds_ = h.seconds;
}

RecordStep RecordWalker::next(ChunkReader& in, qint64* offset, RecordHeader* header)
{
    for (;;) {
        const qint64 at = position_;
        RecordStep step;
        if (at >= length_) {
            step.kind = RecordStep::End;
            return step;
        }
        *offset = at;
        const std::uint8_t* bytes = in.at(at, static_cast<qint64>(kRecordHeaderSize));
        if (!bytes) {
            // A header cut off by the end of the file (or a device that cannot be read).
            ++damage_.truncatedRecords;
            damage_.truncatedOffset = at;
            position_ = length_;
            return step;
        }
        const RecordHeader h = readRecordHeader(bytes, format_);
        *header = h;
        step = stepOverRecord(h, length_ - at - static_cast<qint64>(kRecordHeaderSize), format_);
        const bool fits = step.kind != RecordStep::Truncated;
        const bool plausible = lengthsPlausible(h);
        bool take = false;
        qint64 resume = -1;
        if (plausible && fits) {
            // When what follows is no record header, either this record's length is wrong
            // (the next plausible record starts inside it, or after it closer than a header
            // could be) or the damage starts after it.
            const qint64 end = at + step.size;
            take = looksLikeNext(in, end, nullptr)
                || (resume = candidateBetween(in, at + 1, end + static_cast<qint64>(kRecordHeaderSize))) < 0;
        } else {
            take = fits && stepsToRecord(in, at);
            if (!take) {
                resume = nextCandidate(in, at);
                take = resume < 0 && fits;
            }
        }
        if (take) {
            position_ = at + step.size;
            if (step.badLength && damage_.badLengths++ == 0)
                damage_.firstBadLengthOffset = at;
            if (plausible)
                takeTime(h);
            if (step.kind == RecordStep::Skipped)
                lookInto(in, at, h, step);
            return step;
        }
        if (resume < 0) {
            ++damage_.truncatedRecords;
            damage_.truncatedOffset = at;
            position_ = length_;
            step.kind = RecordStep::Truncated;
            return step;
        }
        if (damage_.damagedPlaces++ == 0) {
            damage_.firstDamageOffset = at;
            damage_.firstDamageBytes = resume - at;
        }
        damage_.skippedBytes += resume - at;
        position_ = resume;
    }
}

QString describeDamage(const Damage& damage)
{
    QStringList parts;
    if (damage.damagedPlaces == 1)
        parts << QCoreApplication::translate("CaptureFile", "skipped %1 damaged bytes at offset %2")
                     .arg(damage.skippedBytes)
                     .arg(damage.firstDamageOffset);
    else if (damage.damagedPlaces > 1)
        parts << QCoreApplication::translate("CaptureFile", "skipped %1 damaged bytes in %2 places, the first %3 bytes at offset %4")
                     .arg(damage.skippedBytes)
                     .arg(damage.damagedPlaces)
                     .arg(damage.firstDamageBytes)
                     .arg(damage.firstDamageOffset);
    if (damage.badLengths)
        parts << QCoreApplication::translate("CaptureFile", "skipped %1 record(s) with impossible lengths, the first at offset %2")
                     .arg(damage.badLengths)
                     .arg(damage.firstBadLengthOffset);
    if (damage.truncatedRecords)
        parts << QCoreApplication::translate("CaptureFile", "dropped the last record, cut off by the end of the file at offset %1")
                     .arg(damage.truncatedOffset);
    return parts.join(QStringLiteral("; "));
}

} // namespace hvk32::capturefile

namespace hvk32::capturefile {

QString describeNoFrame(const RecordCounts& c)
{
    if (c.records == 0)
        return QCoreApplication::translate("CaptureFile", "no record");
    const QString records = c.records == 1 ? QCoreApplication::translate("CaptureFile", "1 record")
                                           : QCoreApplication::translate("CaptureFile", "%1 records").arg(grouped(c.records));
    if (c.dataPackets == 0 && c.deviceInfoPackets == 0)
        return c.records == 1
            ? QCoreApplication::translate("CaptureFile", "1 record, not one of the scanner's UDP datagrams")
            : QCoreApplication::translate("CaptureFile", "%1, none of them the scanner's UDP datagrams").arg(records);
    const QString data = c.dataPackets == 0 ? QCoreApplication::translate("CaptureFile", "no data packet")
        : c.dataPackets == 1 ? QCoreApplication::translate("CaptureFile", "1 data packet")
                             : QCoreApplication::translate("CaptureFile", "%1 data packets").arg(grouped(c.dataPackets));
    const QString info = c.deviceInfoPackets == 0 ? QCoreApplication::translate("CaptureFile", "no device-info packet")
        : c.deviceInfoPackets == 1
        ? QCoreApplication::translate("CaptureFile", "1 device-info packet")
        : QCoreApplication::translate("CaptureFile", "%1 device-info packets").arg(grouped(c.deviceInfoPackets));
    QString missing;
    if (c.dataPackets == 0 || (!c.configurationReported && c.deviceInfoPackets == 0))
        missing = QCoreApplication::translate("CaptureFile", "so no frame was played");
    else if (!c.configurationReported)
        missing = QCoreApplication::translate("CaptureFile", "none of a board version 2 or later, so no frame was played");
    else
        missing = QCoreApplication::translate("CaptureFile", "no whole frame among them");
    return QCoreApplication::translate("CaptureFile", "%1: %2 and %3, %4").arg(records, data, info, missing);
}

} // namespace hvk32::capturefile
