#pragma once
// What an open hvk32::Capture holds: the file, its index, its filter as the conversion's
// options, and the reader that random access keeps. Not installed: the library's own files
// (and the Python module) reach it through detail::CaptureAccess.

#include "hvk32/hvk32.h"

#include "acquisition/CaptureFrameIndex.h"
#include "convert/FrameReader.h"
#include "convert/PointConversion.h"

#include <QString>

#include <memory>
#include <mutex>
#include <string>

namespace hvk32 {

struct Capture::State {
    QString path;
    std::string pathText;
    Filter filter;
    ConversionOptions options;
    CaptureFrameIndex index;
    // Random access keeps one reader, so frames read in order play on without a seek.
    std::mutex mutex;
    std::unique_ptr<FrameReader> reader;
    PointArrays points;
};

namespace detail {

struct CaptureAccess {
    using State = Capture::State;
    static State& state(const Capture& capture) { return *capture.state_; }
};

// The conversion's options for `filter`: the Python module's and the exports' fast conversion.
ConversionOptions conversionOptions(const Filter& filter);

// Makes `reader` (of this capture) hold frame k (0 .. size - 1): plays on when it is the next
// one, and goes there through the index otherwise. Throws Error (ReadFailed) when the frame
// cannot be read.
void readFrame(const CaptureAccess::State& state, FrameReader& reader, std::size_t k);

// "hall.pcap has 19 frames, so there is no frame at index 40".
Error outOfRange(const std::string& pathText, std::size_t count, std::size_t k);

} // namespace detail

} // namespace hvk32
