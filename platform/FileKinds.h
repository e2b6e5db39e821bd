#pragma once
// What a path names, asked of the system without opening it: opening a FIFO waits for its
// other end, so a program that reads or writes files looks first.

#include <string>

namespace hvk32::platform {

enum class FileKind { Missing, Regular, Folder, Other };

// The kind of `path` (links followed); `what` gets the wording of a kind that is not a
// regular file: "a folder", "a FIFO (named pipe)", "a socket", "a character device", ...
FileKind fileKind(const std::string& path, std::string* what = nullptr);

} // namespace hvk32::platform
