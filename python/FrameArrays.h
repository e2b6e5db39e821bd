#pragma once
// One converted frame as NumPy arrays. The conversion runs without the GIL into storage that a
// capsule owns; the arrays are views of that storage, so they stay valid after the capture or
// stream they came from is closed, and nothing is copied once the conversion is done.

// Python's headers before Qt's, whose "slots" macro they would otherwise meet.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "records/LidarData.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace hvk32::python {

namespace py = pybind11;

// What the Python side sees of a frame: its number, its losses and its point arrays.
struct Frame {
    long number = 0;               // the command line's frame number, from 1
    std::uint64_t lostPackets = 0; // data packets lost since the frame before it
    py::array xyz;                 // N x 3 float32 [m]
    py::array intensity;           // uint8
    py::array ring;                // uint16, channel 0..31
    py::array azimuth;             // float32 [deg]
    py::array distance;            // float32 [m]
    py::array time;                // float64 [s] of device time
    py::array returnIndex;         // uint8: 1 for the second echo
    std::size_t points = 0;
};

class FramePool;

// The converted points of one frame, before they are handed to Python: the conversion's own
// arrays where their type is the module's, and the three whose type or layout differs
// (positions interleaved as N x 3, intensity as bytes, absolute time in double) filled from
// them right after the conversion, while they are still in the cache.
struct ConvertedFrame {
    PointArrays points;
    std::vector<float> xyz;
    std::vector<std::uint8_t> intensity;
    std::vector<double> time;
    std::weak_ptr<FramePool> pool; // where the storage goes when Python lets the arrays go
};

// The storage of frames that Python has let go, for the next frames of the same reader: once
// a loop over frames has warmed up, a frame converts into arrays already long enough, so
// nothing is allocated or zero-filled per frame.
class FramePool {
public:
    std::unique_ptr<ConvertedFrame> take();
    void give(std::unique_ptr<ConvertedFrame> frame);

private:
    static constexpr std::size_t kMaxSpares = 2; // a loop holds one frame while it makes the next
    std::mutex mutex_;
    std::vector<std::unique_ptr<ConvertedFrame>> spares_;
};

// Converts a frame as the exports convert it (the capture's fixed offsets), into storage from
// `pool`. Needs no GIL.
std::unique_ptr<ConvertedFrame> convertFrame(const LidarData& frame, const ConversionSnapshot& snapshot,
                                             const ConversionOptions& options,
                                             const std::shared_ptr<FramePool>& pool);

// Hands the converted points to NumPy (needs the GIL).
Frame toFrame(std::unique_ptr<ConvertedFrame> converted, long number, std::uint64_t lostPackets);

// Registers the Frame class.
void bindFrame(py::module_& m);

} // namespace hvk32::python
