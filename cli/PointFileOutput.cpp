#include "cli/PointFileOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hvk32::pointfile {

bool writeWhole(const std::string& path, const std::string& header, const std::vector<char>& body,
                std::size_t bodyBytes, std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    int reason = file ? 0 : errno;
    if (file) {
        if (std::fwrite(header.data(), 1, header.size(), file) != header.size()
            || (bodyBytes > 0 && std::fwrite(body.data(), 1, bodyBytes, file) != bodyBytes))
            reason = errno ? errno : EIO;
        if (std::fclose(file) != 0 && reason == 0)
            reason = errno ? errno : EIO;
    }
    if (reason != 0 && error)
        *error = path + " cannot be written: " + std::strerror(reason);
    return reason == 0;
}

} // namespace hvk32::pointfile
