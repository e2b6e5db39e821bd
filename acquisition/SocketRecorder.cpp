#include "acquisition/SocketRecorder.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/DeviceInfoPacket.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace hvk32 {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1000000;
const QString kCaptureSuffix = QStringLiteral(".pcap");

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

bool SocketRecorder::start(const QString& path, const Options& options, QString* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    closeLocked();
    basePath_ = path;
    options_ = options;
    counts_ = {};
    error_.clear();
    lastDeviceInfo_.clear();
    lastDrops_.clear();
    QString message;
    const bool ok = openNextFile(&message);
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
    closeLocked();
    basePath_.clear();
    options_ = options;
    options_.maxFileBytes = 0; // one device cannot rotate
    counts_ = {};
    error_.clear();
    lastDeviceInfo_.clear();
    lastDrops_.clear();
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

bool SocketRecorder::openNextFile(QString* error)
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
    if (!lastDeviceInfo_.empty() && !writeWhole(lastDeviceInfo_.data(), lastDeviceInfo_.size(), error))
        return false;
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
    record_.resize(capturefile::kRecordHeaderSize + frameLength);

    capturefile::RecordHeader header;
    header.seconds = static_cast<std::uint32_t>(datagram.receivedMicros / kMicrosPerSecond);
    header.fraction = static_cast<std::uint32_t>(datagram.receivedMicros % kMicrosPerSecond);
    header.capturedLength = static_cast<std::uint32_t>(frameLength);
    header.originalLength = static_cast<std::uint32_t>(udpframe::kHeaderSize + payloadLength);
    capturefile::writeRecordHeader(record_.data(), header);
    std::uint8_t* frame = record_.data() + capturefile::kRecordHeaderSize;
    udpframe::writeHeader(frame, datagram.endpoints, payloadLength, identification_++);
    std::copy(datagram.payload, datagram.payload + stored, frame + udpframe::kHeaderSize);

    QString message;
    if (options_.maxFileBytes != 0 && fileBytes_ + record_.size() > options_.maxFileBytes
        && fileBytes_ > capturefile::kFileHeaderSize + lastDeviceInfo_.size() && !openNextFile(&message)) {
        fail(message);
        return;
    }
    if (!writeWhole(record_.data(), record_.size(), &message)) {
        fail(message);
        return;
    }
    ++counts_.packets;
    if (devinfo::isDeviceInfoPacket(datagram.payload, stored))
        lastDeviceInfo_.assign(record_.begin(), record_.end());
}

RecordingCounts SocketRecorder::counts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

QString SocketRecorder::error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

QString SocketRecorder::currentFile() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return currentFile_;
}

} // namespace hvk32
