#include "platform/FileKinds.h"

#include <sys/stat.h>

namespace hvk32::platform {

FileKind fileKind(const std::string& path, std::string* what)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0)
        return FileKind::Missing;
    if (S_ISREG(s.st_mode))
        return FileKind::Regular;
    if (what)
        *what = S_ISDIR(s.st_mode)    ? "a folder"
              : S_ISFIFO(s.st_mode) ? "a FIFO (named pipe)"
              : S_ISSOCK(s.st_mode) ? "a socket"
              : S_ISCHR(s.st_mode)  ? "a character device"
              : S_ISBLK(s.st_mode)  ? "a block device"
                                    : "not a regular file";
    return S_ISDIR(s.st_mode) ? FileKind::Folder : FileKind::Other;
}

} // namespace hvk32::platform
