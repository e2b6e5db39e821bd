#include "io/PointFileOutput.h"

#include "io/OutputFile.h"

namespace hvk32::pointfile {

bool writeWhole(const std::string& path, const std::string& header, const std::vector<char>& body,
                std::size_t bodyBytes, std::string* error)
{
    OutputFile file;
    const bool written = file.open(path) && file.write(header.data(), header.size())
        && file.write(body.data(), bodyBytes) && file.commit();
    if (!written && error)
        *error = file.error();
    return written;
}

} // namespace hvk32::pointfile
