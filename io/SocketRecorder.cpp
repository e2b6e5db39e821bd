#include "io/SocketRecorder.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/DeviceInfoPacket.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace hvk32 {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1000000;
const QString kCaptureSuffix = QStringLiteral(".pcap");

void setRecordTime(std::uint8_t* record, std::int64_t micros)
{
    capturefile::RecordHeader header = capturefile::readRecordHeader(record, {});
    header.seconds = static_cast<std::uint32_t>(micros / kMicrosPerSecond);
    header.fraction = static_cast<std::uint32_t>(micros % kMicrosPerSecond);
    capturefile::writeRecordHeader(record, header);
}

} // namespace

SocketRecorder::~SocketRecorder()
{
    stop();
}

QString SocketRecorder::rotatedFileName(const QString& path, int index)
{
    if (index == 0)
        return path;
    QString base = path;
    if (base.endsWith(kCaptureSuffix, Qt::CaseInsensitive))
        base.chop(kCaptureSuffix.size());
    return QStringLiteral("%1-%2%3").arg(base).arg(index, 4, 10, QLatin1Char('0')).arg(kCaptureSuffix);
}

// Closes an earlier recording and forgets all of it but its file name; a recording without
// a size limit waits for no device-info packet.
void SocketRecorder::restartLocked(const QString& basePath, const Options& options)
{
    closeLocked();
    basePath_ = basePath;
    options_ = options;
    counts_ = {};
    error_.clear();
    lastDeviceInfo_.clear();
    lastDrops_.clear();
    stamps_.reset();
    held_.clear();
    heldBytes_ = 0;
    awaitingDeviceInfo_ = options_.maxFileBytes != 0;
    deviceInfoWaitFailed_ = false;
}

bool SocketRecorder::start(const QString& path, const Options& options, QString* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    restartLocked(path, options);
    QString message;
    const bool ok = openNextFile(0, &message);
    if (!ok) {
        closeLocked();
        if (error)
            *error = message;
    }
    return ok;
}

bool SocketRecorder::start(QIODevice* device, const Options& options, QString* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Options unlimited = options;
    unlimited.maxFileBytes = 0; // one device cannot rotate
    restartLocked(QString(), unlimited);
    currentFile_.clear();
    QString message;
    if (!device || !device->isWritable()) {
        message = QCoreApplication::translate("SocketRecorder", "the device is not open for writing");
    } else if (begin(device, &message)) {
        return true;
    }
    closeLocked();
    if (error)
        *error = message;
    return false;
}

// Writes the file header on a fresh file; the caller holds the lock.
bool SocketRecorder::begin(QIODevice* device, QString* error)
{
    device_ = device;
    fileBytes_ = 0;
    ++counts_.files;
    std::uint8_t header[capturefile::kFileHeaderSize];
    capturefile::writeFileHeader(header);
    return writeWhole(header, sizeof header, error);
}

// Opens file number counts_.files and begins it with the last device-info packet, stamped
// `stamp` (the time of the record that follows); the caller holds the lock.
bool SocketRecorder::openNextFile(std::int64_t stamp, QString* error)
{
    const QString name = rotatedFileName(basePath_, counts_.files);
    auto file = std::make_unique<QFile>(name);
    // Unbuffered: every write goes straight to the system, so what was written survives a kill.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QCoreApplication::translate("SocketRecorder", "Cannot create the capture file %1: %2").arg(name, file->errorString());
        return false;
    }
    closeLocked();
    ownedDevice_ = std::move(file);
    currentFile_ = name;
    if (!begin(ownedDevice_.get(), error))
        return false;
    // The player needs a device-info packet before it shows anything: start with the last one.
    if (lastDeviceInfo_.empty())
        return true;
    setRecordTime(lastDeviceInfo_.data(), stamp);
    return writeWhole(lastDeviceInfo_.data(), lastDeviceInfo_.size(), error);
}

// Stamps one record (its header's lengths already written), begins the next file when this
// one is full, and writes it; the caller holds the lock. False when the recording failed.
bool SocketRecorder::writeRecord(std::vector<std::uint8_t>& record, std::int64_t micros, bool deviceInfo, bool counted)
{
    const std::int64_t stamp = stamps_.next(micros);
    setRecordTime(record.data(), stamp);
    QString message;
    if (options_.maxFileBytes != 0 && fileBytes_ + record.size() > options_.maxFileBytes
        && fileBytes_ > capturefile::kFileHeaderSize + lastDeviceInfo_.size() && !openNextFile(stamp, &message)) {
        fail(message);
        return false;
    }
    if (!writeWhole(record.data(), record.size(), &message)) {
        fail(message);
        return false;
    }
    counts_.raisedStamps = stamps_.raised();
    if (counted) {
        ++counts_.packets;
        counts_.deviceInfoPackets += deviceInfo;
    }
    if (deviceInfo)
        lastDeviceInfo_.assign(record.begin(), record.end());
    return true;
}

// Writes the datagrams that waited for the first device-info packet; the caller holds the lock.
bool SocketRecorder::releaseHeld()
{
    awaitingDeviceInfo_ = false;
    std::vector<HeldRecord> held;
    held.swap(held_);
    heldBytes_ = 0;
    for (HeldRecord& r : held) {
        if (!writeRecord(r.record, r.micros, false, true))
            return false;
    }
    return true;
}

bool SocketRecorder::writeWhole(const std::uint8_t* bytes, std::size_t size, QString* error)
{
    const qint64 wanted = static_cast<qint64>(size);
    const qint64 written = device_->write(reinterpret_cast<const char*>(bytes), wanted);
    if (written == wanted) {
        fileBytes_ += size;
        counts_.bytes += size;
        return true;
    }
    const QString name = currentFile_.isEmpty() ? QCoreApplication::translate("SocketRecorder", "capture file") : currentFile_;
    const QString reason = written < 0
        ? device_->errorString()
        : QCoreApplication::translate("SocketRecorder", "only %1 of %2 bytes were written (is the disk full?)").arg(written).arg(wanted);
    *error = QCoreApplication::translate("SocketRecorder", "Cannot write %1: %2").arg(name, reason);
    // Cut a partly written record off, so the file ends with a whole one.
    if (written > 0) {
        if (auto* file = qobject_cast<QFileDevice*>(device_))
            file->resize(static_cast<qint64>(fileBytes_));
    }
    return false;
}

void SocketRecorder::fail(const QString& message)
{
    error_ = message;
    closeLocked();
}

void SocketRecorder::stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    // No device-info packet came: what waited for one is still the recording's.
    if (device_ && !held_.empty() && !releaseHeld())
        return;
    closeLocked();
}

void SocketRecorder::closeLocked()
{
    if (ownedDevice_)
        ownedDevice_->close();
    ownedDevice_.reset();
    device_ = nullptr;
}

bool SocketRecorder::isRecording() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return device_ != nullptr;
}

void SocketRecorder::countDrops(std::uint16_t port, std::uint32_t socketDrops)
{
    auto seen = lastDrops_.find(port);
    if (seen == lastDrops_.end()) {
        lastDrops_.emplace(port, socketDrops);
        if (options_.socketsNew)
            counts_.receiveBufferDrops += socketDrops;
        return;
    }
    // A smaller count comes from a socket opened again since (the receiver restarted).
    counts_.receiveBufferDrops += socketDrops >= seen->second ? socketDrops - seen->second : socketDrops;
    seen->second = socketDrops;
}

void SocketRecorder::takeDatagram(const ReceivedDatagram& datagram)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_)
        return;
    countDrops(datagram.endpoints.destinationPort, datagram.receiveBufferDrops);

    const std::size_t payloadLength = std::min(datagram.originalLength, udpframe::kMaxPayload);
    const std::size_t stored = std::min(datagram.length, payloadLength);
    const std::size_t frameLength = udpframe::kHeaderSize + stored;
    const bool deviceInfo = devinfo::isDeviceInfoPacket(datagram.payload, stored);
    const bool hold = awaitingDeviceInfo_ && !deviceInfo;
    if (hold)
        held_.push_back({datagram.receivedMicros, {}});
    std::vector<std::uint8_t>& record = hold ? held_.back().record : record_;
    record.resize(capturefile::kRecordHeaderSize + frameLength);

    capturefile::RecordHeader header; // the time is written with the record
    header.capturedLength = static_cast<std::uint32_t>(frameLength);
    header.originalLength = static_cast<std::uint32_t>(udpframe::kHeaderSize + payloadLength);
    capturefile::writeRecordHeader(record.data(), header);
    std::uint8_t* frame = record.data() + capturefile::kRecordHeaderSize;
    udpframe::writeHeader(frame, datagram.endpoints, payloadLength, identification_++);
    std::copy(datagram.payload, datagram.payload + stored, frame + udpframe::kHeaderSize);

    if (hold) {
        heldBytes_ += record.size();
        if (datagram.receivedMicros - held_.front().micros > kDeviceInfoWaitMicros || heldBytes_ > kMaxHeldBytes) {
            deviceInfoWaitFailed_ = true;
            releaseHeld();
        }
        return;
    }
    if (awaitingDeviceInfo_ && !held_.empty()) {
        // The first file begins with a copy of this packet, stamped with the time of the
        // first datagram it precedes; the packet itself follows at its own time.
        std::vector<std::uint8_t> copy(record_);
        if (!writeRecord(copy, held_.front().micros, true, false) || !releaseHeld())
            return;
    }
    awaitingDeviceInfo_ = false;
    writeRecord(record_, datagram.receivedMicros, deviceInfo, true);
}

RecordingCounts SocketRecorder::counts() const { return locked(counts_); }

QString SocketRecorder::error() const { return locked(error_); }

bool SocketRecorder::deviceInfoWaitFailed() const { return locked(deviceInfoWaitFailed_); }

QString SocketRecorder::currentFile() const { return locked(currentFile_); }

} // namespace hvk32
