#pragma once
// The colours the view gives a point in each colouring: by intensity, height, azimuth or
// laser channel. The cloud and the colour legend both take them from here; they are inline
// because the cloud asks for one per point.

#include <cstdint>

namespace hvk32 {

struct Rgb8 {
    std::uint8_t r, g, b;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb8& o) const { return !(*this == o); }
};

// Byte arithmetic of the colour rules wraps modulo 256.
constexpr std::uint8_t wrapByte(int v) { return static_cast<std::uint8_t>(v); }

// The device's intensity value (0..255): blue, cyan, green, then red to yellow.
inline Rgb8 intensityColour(int i)
{
    if (i < 32)
        return {0, wrapByte(8 * i), 255};
    if (i < 64)
        return {0, 255, wrapByte(255 - 4 * (i - 32))};
    if (i < 128)
        return {wrapByte(4 * i - 64), 255, 0};
    return {255, wrapByte(254 - 2 * i), 0};
}

// Height z [m]: brown below -2, yellow -2..0, white 0..1, green 1..5, blue from 5 up. Each
// band starts at its lower boundary, as the legend shows it; a height that is not a number
// is blue.
inline Rgb8 elevationColour(float z)
{
    if (z < -2.0f)
        return {139, 69, 19};
    if (z >= -2.0f && z < 0.0f)
        return {255, 255, 0};
    if (z >= 0.0f && z < 1.0f)
        return {255, 255, 255};
    if (z >= 1.0f && z < 5.0f)
        return {0, 128, 0};
    return {0, 0, 255};
}

// The frame's raw horizontal angle [deg], one colour per quarter turn.
inline Rgb8 azimuthColour(float a)
{
    if (a < 90.0f)
        return {0, 255, 255};
    if (a < 180.0f)
        return {0, 125, 192};
    if (a < 270.0f)
        return {0, 255, 0};
    return {255, 255, 0};
}

// Channel 0..31: seven shades by pair of channels, red for the rest.
inline Rgb8 laserColour(int channel)
{
    static constexpr Rgb8 kByPair[7] = {
        {102, 102, 255}, {153, 153, 255}, {204, 204, 255}, {255, 255, 255},
        {255, 178, 178}, {255, 102, 102}, {255, 76, 76},
    };
    const int pair = channel / 2;
    return pair < 7 ? kByPair[pair] : Rgb8{255, 0, 0};
}

} // namespace hvk32
