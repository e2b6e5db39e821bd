// Python's headers before Qt's, whose "slots" macro they would otherwise meet.
#include "python/OdometryBinding.h"

#include "python/CaptureBinding.h"

#include <pybind11/numpy.h>

#include "acquisition/CapturePlayerCore.h"
#include "convert/FrameReader.h"
#include "hvk32/hvk32.h"
#include "odometry/FrameTracker.h"

#include <optional>
#include <vector>

namespace hvk32::python {

namespace py = pybind11;

namespace {

// One pose per frame: the instant it describes [s since 1970] and the 4 x 4 matrix row by row.
struct Trajectory {
    py::array times;
    py::array poses;
};

// Plays the whole capture through the odometry, as the command line does. Needs no GIL.
void track(const std::string& path, bool deskew, std::vector<double>& times, std::vector<double>& poses)
{
    // The command line's checks and messages for a file that is not a playable capture.
    hvk32::Capture::open(path);
    CapturePlayerCore player;
    QString message;
    if (!player.open(QString::fromStdString(path), &message))
        throw hvk32::Error(hvk32::Error::Kind::ReadFailed, path + ": " + message.toStdString());
    player.start();
    odometry::Parameters parameters;
    parameters.deskew = deskew;
    odometry::FrameTracker tracker(parameters);
    while (player.nextFrame()) {
        const odometry::StampedPose stamped = tracker.add(player.frame(), playedFrameSnapshot(player), player.frameTime());
        times.push_back(stamped.time);
        const Eigen::Matrix4d m = stamped.pose.matrix();
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                poses.push_back(m(r, c));
    }
}

Trajectory odometryOf(const py::object& path, bool deskew)
{
    const std::string text = pathText(path);
    std::vector<double> times;
    std::vector<double> poses;
    std::optional<hvk32::Error> failure;
    {
        py::gil_scoped_release unlocked;
        try {
            track(text, deskew, times, poses);
        } catch (const hvk32::Error& e) {
            failure = e;
        }
    }
    if (failure)
        raiseOpenFailure(*failure);
    const auto n = static_cast<py::ssize_t>(times.size());
    return {py::array_t<double>(n, times.data()), py::array_t<double>({n, py::ssize_t(4), py::ssize_t(4)}, poses.data())};
}

} // namespace

void bindOdometry(py::module_& m)
{
    py::class_<Trajectory>(m, "Trajectory", "The scanner's pose at every frame of a capture.")
        .def_readonly("times", &Trajectory::times,
                      "N float64: the instant each pose describes, halfway through the frame's firings [s since 1970].")
        .def_readonly("poses", &Trajectory::poses,
                      "N x 4 x 4 float64: the scanner's pose in the first frame's coordinates (the first is the identity).")
        .def("__len__", [](const Trajectory& t) { return t.times.size(); });
    m.def("odometry", &odometryOf, py::arg("path"), py::arg("deskew") = true,
          "The scanner's trajectory through a capture, frame by frame, as 'hvk32-cli odometry' estimates it.");
}

} // namespace hvk32::python
