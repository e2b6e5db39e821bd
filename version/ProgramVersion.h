#pragma once
// The line every program prints for --version: its name, the project's version and, when
// the build came from a git checkout, the commit it was built from.

#include <string>

namespace hvk32 {

// "hvk32-cli 0.1.0 (git 0123456789ab)", or "hvk32-cli 0.1.0" without a known commit.
std::string programVersionLine(const char* program);

} // namespace hvk32
