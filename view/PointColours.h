#pragma once
// The colours the view gives a point in each colouring: by intensity, height, azimuth or
// laser channel. The cloud and the colour legend both take them from here.

#include <cstdint>

namespace hvk32 {

struct Rgb8 {
    std::uint8_t r, g, b;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb8& o) const { return !(*this == o); }
};

// The device's intensity value (0..255): blue, cyan, green, then red to yellow.
Rgb8 intensityColour(int intensity);
// Height z [m]: brown below -2, yellow -2..0, white 0..1, green 1..5, blue elsewhere.
Rgb8 elevationColour(float z);
// The frame's raw horizontal angle [deg], one colour per quarter turn.
Rgb8 azimuthColour(float azimuth);
// Channel 0..31: seven shades by pair of channels, red for the rest.
Rgb8 laserColour(int channel);

} // namespace hvk32
