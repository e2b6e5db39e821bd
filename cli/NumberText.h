#pragma once
// Numbers as the command line prints them.

#include <string>

namespace hvk32 {

// 34512000 -> "34,512,000".
inline std::string grouped(unsigned long long n)
{
    std::string digits = std::to_string(n);
    for (int k = static_cast<int>(digits.size()) - 3; k > 0; k -= 3)
        digits.insert(static_cast<std::size_t>(k), ",");
    return digits;
}

} // namespace hvk32
