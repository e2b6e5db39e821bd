#include "io/PointCloud2.h"

#include "records/ByteOrder.h"

#include <cstring>

namespace hvk32::ros2 {

namespace {

constexpr std::uint8_t kUint16 = 4; // sensor_msgs/PointField datatypes
constexpr std::uint8_t kFloat32 = 7;

struct FieldLayout {
    const char* name;
    std::uint32_t offset;
    std::uint8_t datatype;
};
constexpr FieldLayout kFields[] = {
    {"x", 0, kFloat32}, {"y", 4, kFloat32}, {"z", 8, kFloat32}, {"intensity", 12, kFloat32},
    {"ring", 16, kUint16}, {"time", 20, kFloat32},
};

// CDR: every primitive aligned to its size, counted from the end of the encapsulation header.
class Cdr {
public:
    explicit Cdr(std::vector<char>& out) : out_(out)
    {
        out_.assign(4, '\0');
        out_[1] = 0x01; // encapsulation 00 01 00 00: CDR, little-endian
    }
    void u8(std::uint8_t v) { put(v, 1); }
    void u32(std::uint32_t v) { put(v, 4); }
    void i32(std::int32_t v) { put(static_cast<std::uint32_t>(v), 4); }
    void str(const std::string& s) // length with the closing NUL, the bytes, the NUL
    {
        u32(static_cast<std::uint32_t>(s.size() + 1));
        out_.insert(out_.end(), s.begin(), s.end());
        out_.push_back('\0');
    }

private:
    void put(std::uint32_t v, std::size_t size)
    {
        while ((out_.size() - 4) % size)
            out_.push_back('\0');
        for (std::size_t k = 0; k < size; ++k)
            out_.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    }
    std::vector<char>& out_;
};

} // namespace

const std::string& pointCloud2Definition()
{
    static const std::string text =
        "# This message holds a collection of N-dimensional points, which may\n"
        "# contain additional information such as normals, intensity, etc. The\n"
        "# point data is stored as a binary blob, its layout described by the\n"
        "# contents of the \"fields\" array.\n"
        "\n"
        "std_msgs/Header header\n"
        "\n"
        "uint32 height\n"
        "uint32 width\n"
        "\n"
        "PointField[] fields\n"
        "\n"
        "bool    is_bigendian # Is this data bigendian?\n"
        "uint32  point_step   # Length of a point in bytes\n"
        "uint32  row_step     # Length of a row in bytes\n"
        "uint8[] data         # Actual point data, size is (row_step*height)\n"
        "\n"
        "bool is_dense        # True if there are no invalid points\n"
        "\n"
        "================================================================================\n"
        "MSG: sensor_msgs/PointField\n"
        "uint8 INT8    = 1\n"
        "uint8 UINT8   = 2\n"
        "uint8 INT16   = 3\n"
        "uint8 UINT16  = 4\n"
        "uint8 INT32   = 5\n"
        "uint8 UINT32  = 6\n"
        "uint8 FLOAT32 = 7\n"
        "uint8 FLOAT64 = 8\n"
        "\n"
        "string name      # Name of field\n"
        "uint32 offset    # Offset from start of point struct\n"
        "uint8  datatype  # Datatype enumeration, see above\n"
        "uint32 count     # How many elements in the field\n"
        "\n"
        "================================================================================\n"
        "MSG: std_msgs/Header\n"
        "builtin_interfaces/Time stamp\n"
        "string frame_id\n"
        "\n"
        "================================================================================\n"
        "MSG: builtin_interfaces/Time\n"
        "int32 sec\n"
        "uint32 nanosec\n";
    return text;
}

namespace {

// Everything before the point data: the header, the layout of a point and the data's length.
void encodeHead(std::int32_t stampSeconds, std::uint32_t stampNanoseconds, const std::string& frameId,
                std::size_t n, std::vector<char>& out)
{
    Cdr cdr(out);
    cdr.i32(stampSeconds);
    cdr.u32(stampNanoseconds);
    cdr.str(frameId);
    cdr.u32(1);                                 // height
    cdr.u32(static_cast<std::uint32_t>(n));     // width
    cdr.u32(sizeof kFields / sizeof kFields[0]); // fields
    for (const FieldLayout& f : kFields) {
        cdr.str(f.name);
        cdr.u32(f.offset);
        cdr.u8(f.datatype);
        cdr.u32(1);
    }
    cdr.u8(0); // is_bigendian
    cdr.u32(kPointStep);
    cdr.u32(static_cast<std::uint32_t>(n * kPointStep)); // row_step
    cdr.u32(static_cast<std::uint32_t>(n * kPointStep)); // data: its length, the bytes follow
}

} // namespace

std::size_t pointCloud2Size(const std::string& frameId, std::size_t points)
{
    std::vector<char> head;
    encodeHead(0, 0, frameId, points, head);
    return head.size() + points * kPointStep + 1;
}

void encodePointCloud2(std::int32_t stampSeconds, std::uint32_t stampNanoseconds, const std::string& frameId,
                       const PointArrays& points, char* out)
{
    const std::size_t n = points.size;
    std::vector<char> head;
    encodeHead(stampSeconds, stampNanoseconds, frameId, n, head);
    std::memcpy(out, head.data(), head.size());
    char* p = out + head.size();
    const float* x = points.x.data();
    const float* y = points.y.data();
    const float* z = points.z.data();
    const float* intensity = points.intensity.data();
    const std::uint16_t* channel = points.channel.data();
    const float* time = points.time.data();
    for (std::size_t i = 0; i < n; ++i, p += kPointStep) {
        putLittleEndian(p, x[i]);
        putLittleEndian(p + 4, y[i]);
        putLittleEndian(p + 8, z[i]);
        putLittleEndian(p + 12, intensity[i]);
        putLittleEndian(p + 16, std::uint32_t{channel[i]}); // ring and 2 bytes of padding
        putLittleEndian(p + 20, time[i]);
    }
    *p = 1; // is_dense: returns without a position are left out
}

} // namespace hvk32::ros2
