#include "io/PlyFile.h"

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

} // namespace hvk32::pointfile
