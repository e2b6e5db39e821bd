#include "receivers/CaptureRecorder.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/MonotonicStamps.h"
#include "platform/PacketCapture.h"
#include "platform/UserText.h"

#include <system_error>
#include <utility>

namespace hvk32 {

namespace {

// How often the worker asks the adapter for its drop count, in frames.
constexpr std::uint64_t kDropPollFrames = 256;
constexpr std::int64_t kMicrosPerSecond = 1000000;

} // namespace

std::string captureFilter(const std::string& dataPortText, const std::string& telemetryPortText)
{
    std::string filter = "port " + dataPortText;
    if (!telemetryPortText.empty() && telemetryPortText != dataPortText)
        filter += " or port " + telemetryPortText;
    return filter;
}

CaptureRecorder::CaptureRecorder() = default;

CaptureRecorder::~CaptureRecorder()
{
    stop();
}

bool CaptureRecorder::start(const RecorderSettings& settings, std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    if (recording_) {
        message = platform::userText("CaptureRecorder", QT_TRANSLATE_NOOP("CaptureRecorder", "A recording is already running."));
        return false;
    }
    startDenied_ = false;
    std::string device;
    if (!platform::chooseCaptureDevice(settings.device, &device, &message, &startDenied_, settings.deviceAddress))
        return false;

    auto capture = std::make_unique<platform::LiveCapture>();
    if (!capture->open(device, kReadTimeoutMs, &message)) {
        startDenied_ = capture->permissionDenied();
        return false;
    }
    // The player reads frames with a 14-byte Ethernet header; any other link layer would
    // give a file in which it finds nothing.
    if (capture->linkType() != platform::LiveCapture::kEthernetLinkType) {
        message = platform::userText("CaptureRecorder",
                                     QT_TRANSLATE_NOOP("CaptureRecorder", "The adapter \"%1\" does not deliver Ethernet frames (link type %2)."),
                                     device, capture->linkTypeName());
        return false;
    }
    const std::string filter = captureFilter(settings.dataPortText, settings.telemetryPortText);
    if (!capture->setFilter(filter, &message))
        return false;
    auto file = std::make_unique<platform::CaptureDumpFile>();
    if (!file->open(*capture, settings.fileName, &message))
        return false;

    capture_ = std::move(capture);
    file_ = std::move(file);
    device_ = device;
    filter_ = filter;
    framesWritten_ = 0;
    bytesWritten_ = capturefile::kFileHeaderSize;
    bufferDrops_ = 0;
    stopRequested_ = false;
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        workerError_.clear();
    }
    try {
        worker_ = std::thread(&CaptureRecorder::run, this);
    } catch (const std::system_error& e) {
        file_.reset();
        capture_.reset();
        message = platform::userText("CaptureRecorder", QT_TRANSLATE_NOOP("CaptureRecorder", "Cannot start the recording thread: %1"), e.what());
        return false;
    }
    recording_ = true;
    return true;
}

void CaptureRecorder::stop()
{
    stopRequested_ = true;
    if (worker_.joinable())
        worker_.join();
    file_.reset();
    capture_.reset();
    recording_ = false;
}

std::string CaptureRecorder::workerError() const
{
    std::lock_guard<std::mutex> lock(errorMutex_);
    return workerError_;
}

void CaptureRecorder::run()
{
    std::string error;
    platform::CapturedPacket packet;
    // The system stamps frames as they arrive; frames from two processors may reach the
    // capture in another order than their times.
    MonotonicStamps stamps;
    while (!stopRequested_) {
        const auto status = capture_->next(&packet, &error);
        if (status == platform::CaptureStatus::TimedOut) {
            bufferDrops_ = capture_->bufferDrops();
            continue;
        }
        if (status == platform::CaptureStatus::Packet) {
            const std::int64_t stamp = stamps.next(packet.seconds * kMicrosPerSecond + packet.microseconds);
            packet.seconds = stamp / kMicrosPerSecond;
            packet.microseconds = stamp % kMicrosPerSecond;
        }
        if (status == platform::CaptureStatus::Failed || !file_->write(packet, &error)) {
            std::lock_guard<std::mutex> lock(errorMutex_);
            workerError_ = error;
            break;
        }
        bytesWritten_ += capturefile::kRecordHeaderSize + packet.capturedLength;
        if (++framesWritten_ % kDropPollFrames == 0)
            bufferDrops_ = capture_->bufferDrops();
    }
    file_->close();
    capture_->close();
}

} // namespace hvk32
