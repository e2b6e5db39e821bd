#pragma once
// The hvk32 library: a scanner's capture file read as frames of converted points, the same
// frames as "hvk32-cli" plays and exports and as the Python module reads, and written to the
// command line's file formats.
//
//     hvk32::Capture c = hvk32::Capture::open("hall.pcap");
//     for (std::size_t k = 0; k < c.size(); ++k) {
//         const hvk32::Frame f = c.frame(k);  // the command line's frame k + 1
//         ... f.x[i], f.y[i], f.z[i], f.intensity[i], f.ring[i] ...
//     }
//     hvk32::write("scan.las", c, 100, 200);
//
// Failures throw hvk32::Error with the command line's message. The header needs the standard
// library only; link the target hvk32::hvk32 (CMake) or `pkg-config --libs hvk32`.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace hvk32 {

// The library's version, "0.1.0".
std::string version();

class Error : public std::runtime_error {
public:
    enum class Kind {
        NotFound,         // the capture does not exist
        Folder,           // the capture is a folder
        PermissionDenied, // the capture cannot be read
        NotACapture,      // not a capture file, or one without any frame
        OutOfRange,       // no frame at that index
        BadArgument,      // a filter or a file name that cannot be used
        ReadFailed,       // a frame could not be read from the capture
        WriteFailed,      // an output file could not be written
    };

    Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// The points a capture's frames keep: channels, a distance range, and whether returns of
// distance 0 (which carry no position) stay. By default every channel, every distance above
// 0. Setters throw Error (BadArgument) for a channel outside 0..31 or a range that holds
// nothing.
class Filter {
public:
    // Keeps channels first..last (0..31, both included); several calls keep each range.
    Filter& channels(int first, int last);
    Filter& channels(const std::vector<int>& list);
    // Keeps distances in [min, max] metres.
    Filter& distance(double min, double max);
    Filter& minDistance(double min);
    Filter& maxDistance(double max);
    Filter& keepZero(bool keep = true);

    bool keepsChannel(int channel) const;
    bool limitsDistance() const { return limitsDistance_; }
    double minDistance() const { return min_; }
    double maxDistance() const { return max_; } // infinity: no limit
    bool keepsZero() const { return keepZero_; }

private:
    std::uint32_t channels_ = 0xFFFFFFFFu;
    bool channelsListed_ = false;
    bool limitsDistance_ = false;
    double min_ = 0.0;
    double max_ = std::numeric_limits<double>::infinity();
    bool keepZero_ = false;
};

// One frame (about one revolution) of converted points. Every vector holds size() entries,
// point i at index i; channel 0..31 in order, each channel's points in firing order.
struct Frame {
    long number = 0;               // the command line's frame number, from 1
    std::uint64_t lostPackets = 0; // data packets found lost since the frame before it
    double startTime = 0.0;        // device time of the frame's first firing [s]
    std::vector<float> x, y, z;    // position [m]
    std::vector<std::uint8_t> intensity;   // the device's 0..255
    std::vector<std::uint16_t> ring;       // channel 0..31
    std::vector<double> time;              // [s] from the frame's first firing
    std::vector<float> azimuth;            // horizontal angle [deg]
    std::vector<float> distance;           // [m]
    std::vector<std::uint8_t> returnIndex; // 0: single or first echo, 1: second echo

    std::size_t size() const { return x.size(); }
};

namespace detail {
struct CaptureAccess;
}

// A capture file, indexed when opened: its frames as "hvk32-cli" plays them, 0-based (frame k
// is the command line's frame k + 1), reached through the index from any frame. One Capture
// may be read from several threads; they take turns. A Capture moved from may only be
// assigned to or destroyed.
class Capture {
public:
    // Throws Error when `path` is missing, a folder, unreadable, not a capture or a capture
    // without any frame.
    static Capture open(const std::string& path, const Filter& filter = Filter());

    Capture(Capture&&) noexcept;
    Capture& operator=(Capture&&) noexcept;
    ~Capture();

    // The frames, as "hvk32-cli info --summary" counts them.
    std::size_t size() const;
    // Frame k (0 .. size() - 1); throws Error (OutOfRange) beyond. Frames read in order play
    // on; any other frame is reached through the index.
    Frame frame(std::size_t k) const;
    // The same into `into`, reusing its storage.
    void frame(std::size_t k, Frame& into) const;
    // The JSON object "hvk32-cli info --summary" prints, without its line end.
    std::string summary() const;

    const std::string& path() const;
    const Filter& filter() const;

private:
    struct State;
    explicit Capture(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
    friend struct detail::CaptureAccess;
};

// Writes frames first..last (0-based, both included) of `capture` into `path` in the format
// its extension names: .csv, .pcd, .ply, .las or .mcap, as "hvk32-cli export --out" writes
// them with the capture's channels and distance range (PCD and PLY: one file per frame,
// "scan.pcd" gives scan-000001.pcd, ...). The file takes its name only once whole. Throws
// Error.
void write(const std::string& path, const Capture& capture, std::size_t first, std::size_t last);
// Every frame.
void write(const std::string& path, const Capture& capture);

} // namespace hvk32
