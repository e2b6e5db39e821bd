#pragma once
// Records the live traffic of the data and telemetry ports into a capture file, so the file
// holds the device-info packets the player needs beside the data. start() opens the adapter,
// installs the filter and creates the file before it returns, so any failure is reported
// to the caller; a worker thread then writes every matching frame and flushes the file
// after each. The worker waits for packets with a bounded time-out, so stop() returns
// promptly even when no traffic comes. Record times never go back in the file. No Qt in here.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace hvk32 {

namespace platform {
class LiveCapture;
class CaptureDumpFile;
} // namespace platform

struct RecorderSettings {
    std::string fileName;          // in the encoding the file system expects
    std::string dataPortText;      // the "Data Port:" field as typed
    std::string device;            // empty: HVK32_CAPTURE_DEVICE, else chosen (chooseCaptureDevice)
    std::string telemetryPortText{}; // the telemetry port field as typed; empty: the data port only
    // Where the device's datagrams come from, when the live receivers have seen any: the
    // adapter that carries them is chosen. All zero: not known.
    std::array<std::uint8_t, 4> deviceAddress{};
};

// The capture filter for the port fields: "port " followed by the data port text as typed,
// and " or port " followed by the telemetry port text when there is one.
std::string captureFilter(const std::string& dataPortText, const std::string& telemetryPortText = {});

class CaptureRecorder {
public:
    static constexpr int kReadTimeoutMs = 100;

    CaptureRecorder();
    ~CaptureRecorder(); // stops and joins the worker
    CaptureRecorder(const CaptureRecorder&) = delete;
    CaptureRecorder& operator=(const CaptureRecorder&) = delete;

    // Opens the adapter, installs the filter, creates the file and starts the worker.
    // On failure nothing is left open, `error` says why and the recorder stays idle.
    bool start(const RecorderSettings& settings, std::string* error);
    // After a failed start(): true when it failed for lack of capture rights.
    bool startDenied() const { return startDenied_; }
    // Tells the worker to stop, waits for it and closes the file. No-op when idle.
    void stop();

    // True between a successful start() and stop(), even if the worker ended on a failure.
    bool isRecording() const { return recording_; }
    std::uint64_t framesWritten() const { return framesWritten_; }
    // Bytes in the file: its header and every record.
    std::uint64_t bytesWritten() const { return bytesWritten_; }
    // Frames the adapter's capture buffer lost, as last seen by the worker.
    std::uint64_t bufferDrops() const { return bufferDrops_; }
    std::string deviceName() const { return device_; }
    std::string filter() const { return filter_; }
    // Why the worker ended before stop() (the file could not be written, the adapter went
    // away); empty while all is well. The frames written before it remain in the file.
    std::string workerError() const;

private:
    void run();

    std::unique_ptr<platform::LiveCapture> capture_;
    std::unique_ptr<platform::CaptureDumpFile> file_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> recording_{false};
    std::atomic<std::uint64_t> framesWritten_{0};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint64_t> bufferDrops_{0};
    bool startDenied_ = false;
    std::string device_;
    std::string filter_;
    mutable std::mutex errorMutex_;
    std::string workerError_;
};

} // namespace hvk32
