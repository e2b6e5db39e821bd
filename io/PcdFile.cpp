#include "io/PcdFile.h"

namespace hvk32::pointfile {

std::string pcdHeader(const FieldSet& fields, std::size_t points)
{
    std::string names, sizes, types, counts;
    for (Field f : fields.fields()) {
        const FieldInfo& info = infoOf(f);
        names += std::string(" ") + info.name;
        sizes += " " + std::to_string(info.size);
        types += std::string(" ") + info.pcdType;
        counts += " 1";
    }
    const std::string n = std::to_string(points);
    return "# .PCD v0.7 - Point Cloud Data file format\n"
           "VERSION 0.7\n"
           "FIELDS" + names + "\n"
           "SIZE" + sizes + "\n"
           "TYPE" + types + "\n"
           "COUNT" + counts + "\n"
           "WIDTH " + n + "\n"
           "HEIGHT 1\n"
           "VIEWPOINT 0 0 0 1 0 0 0\n"
           "POINTS " + n + "\n"
           "DATA binary\n";
}

} // namespace hvk32::pointfile
