#include "io/PlyFile.h"

#include "io/PointFileOutput.h"

namespace hvk32::pointfile {

std::string plyHeader(const FieldSet& fields, std::size_t points)
{
    std::string header = "ply\n"
                         "format binary_little_endian 1.0\n"
                         "comment hvk32-cli export\n"
                         "element vertex " + std::to_string(points) + "\n";
    for (Field f : fields.fields())
        header += std::string("property ") + infoOf(f).plyType + " " + infoOf(f).name + "\n";
    return header + "end_header\n";
}

bool writePlyFile(const std::string& path, const PointArrays& points, const FieldSet& fields,
                  std::vector<char>& scratch, std::string* error)
{
    packRecords(points, fields, scratch);
    return writeWhole(path, plyHeader(fields, points.size), scratch, points.size * fields.recordSize(), error);
}

} // namespace hvk32::pointfile
