#pragma once
// Writes one file of header and packed records in one go, with the reason for any failure.
// The bytes go to a temporary file beside the target, renamed to it once all of them are
// written (OutputFile), so a failed or interrupted write leaves no file that looks whole.

#include <string>
#include <vector>

namespace hvk32::pointfile {

// Replaces `path` with `header` followed by the first `bodyBytes` bytes of `body`. False with
// *error set ("<path> cannot be written: <reason>") when any byte did not reach the file.
bool writeWhole(const std::string& path, const std::string& header, const std::vector<char>& body,
                std::size_t bodyBytes, std::string* error);

} // namespace hvk32::pointfile
