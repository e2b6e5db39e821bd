#include "acquisition/CaptureFile.h"

#include "records/ByteOrder.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

#include <limits>

namespace hvk32::capturefile {

namespace {

std::uint32_t u32(const std::uint8_t* p, bool swapped) { return swapped ? be32(p) : le32(p); }

// An original length with the top bit set is a negative number in the writer's hands.
constexpr std::uint32_t kMaxOriginalLength = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());

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
    if (linkType != kLinkTypeEthernet) {
        check.message = QCoreApplication::translate("CaptureFile", "link type %1 is not Ethernet").arg(linkType);
        return check;
    }
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

RecordStep stepOverRecord(const RecordHeader& h, qint64 bytesAfterHeader)
{
    RecordStep step;
    if (static_cast<qint64>(h.capturedLength) > bytesAfterHeader)
        return step;
    step.size = static_cast<qint64>(kRecordHeaderSize) + static_cast<qint64>(h.capturedLength);
    if (isScannerFrame(h)) {
        step.kind = RecordStep::Scanner;
        return step;
    }
    step.kind = RecordStep::Skipped;
    // Lengths no capture writer produces: a frame of nothing, more captured than sent, a
    // negative original length, or a scanner-sized frame that was not captured whole.
    step.badLength = h.originalLength == 0 || h.originalLength > kMaxOriginalLength
        || h.capturedLength > h.originalLength || h.originalLength == kScannerFrameLength;
    return step;
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
    length_ = position_ = 0;
    header_ = {};
    damage_ = {};
}

bool CaptureReader::rewind()
{
    damage_ = {};
    header_ = {};
    position_ = static_cast<qint64>(kFileHeaderSize);
    length_ = device_ ? device_->size() : 0;
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

void CaptureReader::countBadLength(qint64 offset)
{
    if (damage_.badLengths++ == 0)
        damage_.firstBadLengthOffset = offset;
}

CaptureReader::Read CaptureReader::next(ScannerRecord& record, qint64* recordOffset)
{
    const qint64 offset = position_;
    if (!device_ || offset >= length_)
        return Read::End;
    if (recordOffset)
        *recordOffset = offset;

    auto dropTruncated = [&]() {
        ++damage_.truncatedRecords;
        damage_.truncatedOffset = offset;
        position_ = length_;
        return Read::End;
    };
    const qint64 remaining = length_ - offset;
    if (remaining < static_cast<qint64>(kRecordHeaderSize) || !readAt(offset, record.data(), kRecordHeaderSize))
        return dropTruncated();
    header_ = readRecordHeader(record.data(), format_);
    const RecordStep step = stepOverRecord(header_, remaining - static_cast<qint64>(kRecordHeaderSize));
    if (step.kind == RecordStep::Truncated)
        return dropTruncated();
    if (step.kind == RecordStep::Scanner) {
        if (!readAt(offset + static_cast<qint64>(kRecordHeaderSize), record.data() + kRecordHeaderSize,
                    kScannerFrameLength))
            return dropTruncated();
        position_ = offset + step.size;
        return Read::Scanner;
    }
    if (step.badLength)
        countBadLength(offset);
    position_ = offset + step.size;
    return Read::Skipped;
}

bool CaptureReader::readScannerRecordAt(qint64 offset, ScannerRecord& record)
{
    if (offset < static_cast<qint64>(kFileHeaderSize) || !readAt(offset, record.data(), kScannerRecordSize))
        return false;
    position_ = offset + static_cast<qint64>(kScannerRecordSize);
    return true;
}

} // namespace hvk32::capturefile
