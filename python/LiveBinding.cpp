#include "python/LiveBinding.h"

#include "receivers/LiveFrames.h"
#include "python/Errors.h"
#include "python/FrameArrays.h"
#include "python/Filters.h"
#include "records/MetaTypes.h"

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace hvk32::python {

namespace {

// The receivers deliver their frames through the Qt event loop of the thread that reads them,
// which needs an application object. A stream makes one when the process has none (a Python
// program without Qt) and the last stream using it deletes it.
class EventLoopApplication {
public:
    static std::shared_ptr<QCoreApplication> acquire()
    {
        static std::weak_ptr<QCoreApplication> shared; // guarded by the GIL
        registerRecordMetaTypes(); // for the device-info signal, queued across threads
        if (auto app = shared.lock())
            return app;
        if (QCoreApplication::instance()) // the program's own: never ours to delete
            return std::shared_ptr<QCoreApplication>(QCoreApplication::instance(), [](QCoreApplication*) {});
        static int argc = 1;
        static char name[] = "hvk32";
        static char* argv[] = {name, nullptr};
        auto app = std::shared_ptr<QCoreApplication>(new QCoreApplication(argc, argv));
        shared = app;
        return app;
    }
};

// One wait of the receiving loop, after which Python's signals (Ctrl-C) are looked at.
constexpr int kWaitSliceMs = 100;

class LiveStream {
public:
    LiveStream(const LiveFrames::Ports& ports, std::optional<double> timeout, const ConversionOptions& options)
        : app_(EventLoopApplication::acquire()), ports_(ports), timeout_(timeout), options_(options),
          frames_(std::make_unique<LiveFrames>(ports))
    {
        frames_->start();
    }

    ~LiveStream() { stop(); }

    Frame next()
    {
        if (!frames_)
            throw py::stop_iteration();
        const auto started = std::chrono::steady_clock::now();
        for (;;) {
            std::unique_ptr<ConvertedFrame> converted;
            {
                py::gil_scoped_release unlocked;
                if (frames_->next(kWaitSliceMs)) {
                    const ConversionSnapshot snapshot =
                        ConversionSnapshot::ofDevice(frames_->degreeMode(), 1, frames_->offsetAngles());
                    converted = convertFrame(frames_->frame(), snapshot, options_, pool_);
                }
            }
            if (converted)
                return toFrame(std::move(converted), frames_->frameNumber(), frames_->lostPackets());
            if (PyErr_CheckSignals() != 0) { // Ctrl-C: the receivers stop before it is raised
                stop();
                throw py::error_already_set();
            }
            const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (timeout_ && waited >= *timeout_)
                throwError(PyExc_TimeoutError,
                           frames_->receiving()
                               ? "no frame on UDP port " + std::to_string(ports_.data) + " within "
                                   + seconds(*timeout_)
                               : "no device-info packet of a board version 2 or later on UDP port "
                                   + std::to_string(ports_.telemetry) + " within " + seconds(*timeout_));
        }
    }

    // Stops and joins the receivers; the stream then ends.
    void stop()
    {
        if (!frames_)
            return;
        py::gil_scoped_release unlocked;
        frames_.reset();
    }

private:
    static std::string seconds(double s)
    {
        return std::string(py::str(py::float_(s))) + " s";
    }

    std::shared_ptr<QCoreApplication> app_; // outlives the receivers below
    LiveFrames::Ports ports_;
    std::optional<double> timeout_;
    ConversionOptions options_;
    std::unique_ptr<LiveFrames> frames_;
    std::shared_ptr<FramePool> pool_ = std::make_shared<FramePool>();
};

void checkPort(int port, const char* name)
{
    if (port < 1 || port > 65535)
        throwError(PyExc_ValueError, std::string(name) + " " + std::to_string(port) + " is not a port (1..65535)");
}

} // namespace

void bindLive(py::module_& m)
{
    py::class_<LiveStream>(m, "LiveStream",
                           "Live frames as the window receives them; leaving the loop, close() or Ctrl-C "
                           "stops and joins the receivers.")
        .def("__iter__", [](LiveStream& s) -> LiveStream& { return s; })
        .def("__next__", &LiveStream::next)
        .def("close", &LiveStream::stop)
        .def("__enter__", [](LiveStream& s) -> LiveStream& { return s; })
        .def("__exit__", [](LiveStream& s, py::args) { s.stop(); });

    m.def(
        "listen",
        [](int dataPort, int telemetryPort, const py::object& multicast, const py::object& timeout,
           const py::object& channels, const py::object& minDistance, const py::object& maxDistance, bool keepZero) {
            checkPort(dataPort, "data_port");
            checkPort(telemetryPort, "telemetry_port");
            LiveFrames::Ports ports;
            ports.data = dataPort;
            ports.telemetry = telemetryPort;
            if (!multicast.is_none())
                ports.multicast = py::str(multicast);
            std::optional<double> wait;
            if (!timeout.is_none()) {
                wait = timeout.cast<double>();
                if (!(*wait >= 0.0))
                    throwError(PyExc_ValueError, "timeout must be 0 s or more");
            }
            const ConversionOptions options = conversionOptions(channels, minDistance, maxDistance, keepZero);
            return std::make_unique<LiveStream>(ports, wait, options);
        },
        py::arg("data_port") = 2368, py::arg("telemetry_port") = 2369, py::arg("multicast") = py::none(),
        py::arg("timeout") = py::none(), py::kw_only(), py::arg("channels") = py::none(),
        py::arg("min_distance") = py::none(), py::arg("max_distance") = py::none(), py::arg("keep_zero") = false,
        "Receives live frames: waits for the device-info packet of a usable device on the telemetry port, "
        "then yields each frame of the data port. timeout: seconds to wait for a frame before TimeoutError.");
}

} // namespace hvk32::python
