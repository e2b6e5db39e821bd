#pragma once
// The per-point fields a PCD or PLY file can carry, in the order the files hold them, and
// their packing into the files' little-endian records. Names are those the field's tools
// read: x, y, z and intensity for PCL's and Open3D's loaders, ring and time as ROS drivers
// publish them.

#include "convert/PointConversion.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hvk32::pointfile {

enum class Field { X, Y, Z, Intensity, Ring, Time, Azimuth, Distance, Return };
constexpr int kFieldCount = 9;

struct FieldInfo {
    const char* name;
    std::size_t size; // bytes
    char pcdType;     // 'F' float, 'U' unsigned
    const char* plyType;
};

const FieldInfo& infoOf(Field f);

// A choice of fields; the files hold them in the order of Field whatever order they were named in.
class FieldSet {
public:
    static FieldSet all();

    // "x,y,z,intensity": names separated by commas, each at most once. False for an empty list,
    // an unknown or a repeated name (`bad` then holds it).
    static bool parse(const std::string& text, FieldSet& out, std::string* bad = nullptr);

    bool has(Field f) const { return (mask_ >> static_cast<int>(f)) & 1u; }
    std::vector<Field> fields() const;
    std::size_t recordSize() const; // bytes per point

private:
    unsigned mask_ = 0;
};

// Packs points [0, points.size) into `out` as consecutive records of the set's fields,
// little-endian, without padding. `out` keeps its storage between calls.
void packRecords(const PointArrays& points, const FieldSet& fields, std::vector<char>& out);

} // namespace hvk32::pointfile
