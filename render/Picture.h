#pragma once
// A picture in memory: 8-bit RGB, rows from the top, no padding between them.

#include <cstdint>
#include <vector>

namespace hvk32::render {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3) {}
    std::uint8_t* row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    const std::uint8_t* row(int y) const { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
};

} // namespace hvk32::render
