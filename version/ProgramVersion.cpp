#include "version/ProgramVersion.h"

#include "BuildVersion.h" // generated into the build folder

namespace hvk32 {

std::string programVersionLine(const char* program)
{
    std::string line = std::string(program) + " " + HVK32_BUILD_VERSION;
    const std::string commit = HVK32_BUILD_COMMIT;
    if (!commit.empty())
        line += " (git " + commit + ")";
    return line;
}

} // namespace hvk32
