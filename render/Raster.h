#pragma once
// Points drawn into a picture as squares of a given size, the nearest in front (a depth
// buffer), and lines drawn over them. Deterministic: a point ties with one drawn before it at
// the same depth and loses, so the same points in the same order give the same pixels.

#include "convert/PointColours.h"
#include "render/Picture.h"
#include "render/RenderCamera.h"

#include <cmath>
#include <vector>

namespace hvk32::render {

class Raster {
public:
    // Makes the picture width x height and fills it with `background`, every depth far.
    void clear(int width, int height, Rgb8 background);

    // A point of `size` pixels a side: the pixel its column and row fall in, and as many
    // pixels around it as the size asks (1: that pixel; 2: it and the ones to its right and
    // below; 3: the ring around it; ...).
    void point(float column, float row, float depth, Rgb8 colour, int size)
    {
        const int i = static_cast<int>(std::floor(column)), j = static_cast<int>(std::floor(row));
        if (size == 1) {
            if (i >= 0 && j >= 0 && i < picture_.width && j < picture_.height)
                plot(i, j, depth, colour);
            return;
        }
        square(i, j, depth, colour, size);
    }

    // A line between two points of the scene, `width` pixels wide, over everything drawn.
    void line(const RenderCamera& camera, const float a[3], const float b[3], Rgb8 colour, int width);
    // A filled disc of `radius` pixels around a point of the scene, over everything drawn.
    void disc(const RenderCamera& camera, const float p[3], Rgb8 colour, int radius);

    Picture& picture() { return picture_; }
    const Picture& picture() const { return picture_; }

private:
    void plot(int i, int j, float depth, Rgb8 colour)
    {
        const std::size_t k = static_cast<std::size_t>(j) * picture_.width + i;
        if (depth < depth_[k]) {
            depth_[k] = depth;
            std::uint8_t* p = picture_.rgb.data() + k * 3;
            p[0] = colour.r;
            p[1] = colour.g;
            p[2] = colour.b;
        }
    }
    void square(int i, int j, float depth, Rgb8 colour, int size);
    void paint(int i, int j, Rgb8 colour);

    Picture picture_;
    std::vector<float> depth_;
};

} // namespace hvk32::render
