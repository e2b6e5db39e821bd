#include "view/PointColours.h"

namespace hvk32 {

namespace {

// Byte arithmetic of the colour rules wraps modulo 256.
constexpr std::uint8_t wrap(int v) { return static_cast<std::uint8_t>(v); }

} // namespace

Rgb8 intensityColour(int i)
{
    if (i < 32)
        return {0, wrap(8 * i), 255};
    if (i < 64)
        return {0, 255, wrap(255 - 4 * (i - 32))};
    if (i < 128)
        return {wrap(4 * i - 64), 255, 0};
    return {255, wrap(254 - 2 * i), 0};
}

// The boundaries themselves (-2, 0 and 1) fall through to blue, as they always have.
Rgb8 elevationColour(float z)
{
    if (z < -2.0f)
        return {139, 69, 19};
    if (z > -2.0f && z < 0.0f)
        return {255, 255, 0};
    if (z > 0.0f && z < 1.0f)
        return {255, 255, 255};
    if (z > 1.0f && z < 5.0f)
        return {0, 128, 0};
    return {0, 0, 255};
}

Rgb8 azimuthColour(float a)
{
    if (a < 90.0f)
        return {0, 255, 255};
    if (a < 180.0f)
        return {0, 125, 192};
    if (a < 270.0f)
        return {0, 255, 0};
    return {255, 255, 0};
}

Rgb8 laserColour(int channel)
{
    static constexpr Rgb8 kByPair[7] = {
        {102, 102, 255}, {153, 153, 255}, {204, 204, 255}, {255, 255, 255},
        {255, 178, 178}, {255, 102, 102}, {255, 76, 76},
    };
    const int pair = channel / 2;
    return pair < 7 ? kByPair[pair] : Rgb8{255, 0, 0};
}

} // namespace hvk32
