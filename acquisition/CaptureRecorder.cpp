#include "acquisition/CaptureRecorder.h"

#include "platform/PacketCapture.h"

#include <system_error>
#include <utility>

namespace hvk32 {

std::string captureFilter(const std::string& dataPortText)
{
    return "port " + dataPortText;
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
        message = "A recording is already running.";
        return false;
    }
    std::string device;
    if (!platform::chooseCaptureDevice(settings.device, &device, &message))
        return false;

    auto capture = std::make_unique<platform::LiveCapture>();
    if (!capture->open(device, kReadTimeoutMs, &message))
        return false;
    // The player reads frames with a 14-byte Ethernet header; any other link layer would
    // give a file in which it finds nothing.
    if (capture->linkType() != platform::LiveCapture::kEthernetLinkType) {
        message = "The adapter \"" + device + "\" does not deliver Ethernet frames (link type " +
                  capture->linkTypeName() + ").";
        return false;
    }
    if (!capture->setFilter(captureFilter(settings.dataPortText), &message))
        return false;
    auto file = std::make_unique<platform::CaptureDumpFile>();
    if (!file->open(*capture, settings.fileName, &message))
        return false;

    capture_ = std::move(capture);
    file_ = std::move(file);
    device_ = device;
    framesWritten_ = 0;
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
        message = std::string("Cannot start the recording thread: ") + e.what();
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
    while (!stopRequested_) {
        const auto status = capture_->next(&packet, &error);
        if (status == platform::CaptureStatus::TimedOut)
            continue;
        if (status == platform::CaptureStatus::Failed || !file_->write(packet, &error)) {
            std::lock_guard<std::mutex> lock(errorMutex_);
            workerError_ = error;
            break;
        }
        ++framesWritten_;
    }
    file_->close();
    capture_->close();
}

} // namespace hvk32
