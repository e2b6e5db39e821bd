#pragma once
// Each fuzz target supplies a few valid inputs; the standalone runner mutates them.

#include <cstdint>
#include <vector>

std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds();
