#include "python/FrameArrays.h"

#include <algorithm>
#include <utility>

namespace hvk32::python {

namespace {

constexpr double kSecondsPerTimestampUnit = 1e-6; // data packet time stamps count microseconds

template <typename T>
void atLeast(std::vector<T>& v, std::size_t n)
{
    if (v.size() < n)
        v.resize(n);
}

// A one-dimensional array over storage that `owner` keeps alive.
template <typename T>
py::array view(const std::vector<T>& data, std::size_t n, const py::capsule& owner)
{
    return py::array_t<T>({static_cast<py::ssize_t>(n)}, {static_cast<py::ssize_t>(sizeof(T))}, data.data(), owner);
}

} // namespace

std::unique_ptr<ConvertedFrame> FramePool::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.empty())
        return std::make_unique<ConvertedFrame>();
    std::unique_ptr<ConvertedFrame> frame = std::move(spares_.back());
    spares_.pop_back();
    return frame;
}

void FramePool::give(std::unique_ptr<ConvertedFrame> frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.size() < kMaxSpares)
        spares_.push_back(std::move(frame));
}

std::unique_ptr<ConvertedFrame> convertFrame(const LidarData& frame, const ConversionSnapshot& snapshot,
                                             const ConversionOptions& options,
                                             const std::shared_ptr<FramePool>& pool)
{
    std::unique_ptr<ConvertedFrame> out = pool->take();
    out->pool = pool;
    PointArrays& p = out->points;
    PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, p);
    const std::size_t n = p.size;
    // At least one element each, so every array has storage to point at.
    atLeast(out->xyz, 3 * n + 1);
    atLeast(out->intensity, n + 1);
    atLeast(out->time, n + 1);
    for (auto* v : {&p.azimuth, &p.distance})
        atLeast(*v, 1);
    atLeast(p.channel, 1);
    atLeast(p.echo, 1);
    const double start = static_cast<double>(frameStartTime(frame)) * kSecondsPerTimestampUnit;
    float* xyz = out->xyz.data();
    std::uint8_t* intensity = out->intensity.data();
    double* time = out->time.data();
    const float* x = p.x.data();
    const float* y = p.y.data();
    const float* z = p.z.data();
    const float* in = p.intensity.data();
    const float* t = p.time.data();
    // One loop per array, each simple enough for the compiler to vectorise.
    for (std::size_t k = 0; k < n; ++k) {
        xyz[3 * k] = x[k];
        xyz[3 * k + 1] = y[k];
        xyz[3 * k + 2] = z[k];
    }
    for (std::size_t k = 0; k < n; ++k)
        intensity[k] = static_cast<std::uint8_t>(in[k]);
    for (std::size_t k = 0; k < n; ++k)
        time[k] = start + static_cast<double>(t[k]);
    return out;
}

Frame toFrame(std::unique_ptr<ConvertedFrame> converted, long number, std::uint64_t lostPackets)
{
    const ConvertedFrame& c = *converted;
    const std::size_t n = c.points.size;
    py::capsule owner(converted.release(), [](void* p) {
        std::unique_ptr<ConvertedFrame> frame(static_cast<ConvertedFrame*>(p));
        if (const std::shared_ptr<FramePool> pool = frame->pool.lock())
            pool->give(std::move(frame));
    });

    Frame f;
    f.number = number;
    f.lostPackets = lostPackets;
    f.points = n;
    f.xyz = py::array_t<float>({static_cast<py::ssize_t>(n), py::ssize_t(3)},
                               {py::ssize_t(3 * sizeof(float)), py::ssize_t(sizeof(float))}, c.xyz.data(), owner);
    f.intensity = view(c.intensity, n, owner);
    f.ring = view(c.points.channel, n, owner);
    f.azimuth = view(c.points.azimuth, n, owner);
    f.distance = view(c.points.distance, n, owner);
    f.time = view(c.time, n, owner);
    f.returnIndex = view(c.points.echo, n, owner);
    return f;
}

void bindFrame(py::module_& m)
{
    py::class_<Frame>(m, "Frame", "One frame (about one revolution) of converted points.")
        .def_readonly("number", &Frame::number, "The command line's frame number, counted from 1.")
        .def_readonly("lost_packets", &Frame::lostPackets, "Data packets found lost since the frame before it.")
        .def_readonly("xyz", &Frame::xyz, "Positions, N x 3 float32 [m].")
        .def_readonly("intensity", &Frame::intensity, "The device's intensity 0..255, uint8.")
        .def_readonly("ring", &Frame::ring, "Channel 0..31, uint16.")
        .def_readonly("azimuth", &Frame::azimuth, "Horizontal angle, float32 [deg].")
        .def_readonly("distance", &Frame::distance, "Distance, float32 [m].")
        .def_readonly("time", &Frame::time,
                      "Device time of each point, float64 [s] (the data packets' time stamps).")
        .def_readonly("return_index", &Frame::returnIndex, "0: single or first echo, 1: second echo; uint8.")
        .def("__len__", [](const Frame& f) { return f.points; })
        .def("__repr__", [](const Frame& f) {
            return "<hvk32.Frame " + std::to_string(f.number) + ": " + std::to_string(f.points) + " points, "
                + std::to_string(f.lostPackets) + " packets lost>";
        });
}

} // namespace hvk32::python
