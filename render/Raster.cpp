#include "render/Raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace hvk32::render {

void Raster::clear(int width, int height, Rgb8 background)
{
    if (picture_.width != width || picture_.height != height)
        picture_ = Picture(width, height);
    std::uint8_t* p = picture_.rgb.data();
    const std::size_t n = static_cast<std::size_t>(width) * height;
    for (std::size_t k = 0; k < n; ++k, p += 3) {
        p[0] = background.r;
        p[1] = background.g;
        p[2] = background.b;
    }
    depth_.assign(n, std::numeric_limits<float>::infinity());
}

void Raster::square(int i, int j, float depth, Rgb8 colour, int size)
{
    const int i0 = std::max(i - (size - 1) / 2, 0), i1 = std::min(i + size / 2, picture_.width - 1);
    const int j0 = std::max(j - (size - 1) / 2, 0), j1 = std::min(j + size / 2, picture_.height - 1);
    for (int y = j0; y <= j1; ++y)
        for (int x = i0; x <= i1; ++x)
            plot(x, y, depth, colour);
}

void Raster::paint(int i, int j, Rgb8 colour)
{
    if (i < 0 || j < 0 || i >= picture_.width || j >= picture_.height)
        return;
    std::uint8_t* p = picture_.rgb.data() + (static_cast<std::size_t>(j) * picture_.width + i) * 3;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

void Raster::line(const RenderCamera& camera, const float a[3], const float b[3], Rgb8 colour, int width)
{
    // A segment partly behind a perspective camera is cut where it crosses the near plane:
    // found by halving, since the camera's depth is affine along the segment.
    float pa[3] = {a[0], a[1], a[2]}, pb[3] = {b[0], b[1], b[2]};
    float ca = 0, ra = 0, da = 0, cb = 0, rb = 0, db = 0;
    bool seenA = camera.project(pa[0], pa[1], pa[2], ca, ra, da);
    bool seenB = camera.project(pb[0], pb[1], pb[2], cb, rb, db);
    if (!seenA && !seenB)
        return;
    if (!seenA || !seenB) {
        float* hidden = seenA ? pb : pa;
        const float* shown = seenA ? pa : pb;
        float lo[3] = {shown[0], shown[1], shown[2]}, hi[3] = {hidden[0], hidden[1], hidden[2]};
        for (int k = 0; k < 30; ++k) {
            const float mid[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
            float c = 0, r = 0, d = 0;
            float* end = camera.project(mid[0], mid[1], mid[2], c, r, d) ? lo : hi;
            std::copy(mid, mid + 3, end);
        }
        std::copy(lo, lo + 3, hidden);
        seenA = camera.project(pa[0], pa[1], pa[2], ca, ra, da);
        seenB = camera.project(pb[0], pb[1], pb[2], cb, rb, db);
        if (!seenA || !seenB)
            return;
    }
    // The part of the segment over the picture (and a width around it), found by cutting the
    // segment's parameter at each edge (Liang and Barsky), so that a segment reaching far
    // outside is walked only where it shows.
    const float dx = cb - ca, dy = rb - ra;
    const float lo[2] = {-static_cast<float>(width), -static_cast<float>(width)};
    const float hi[2] = {static_cast<float>(picture_.width + width), static_cast<float>(picture_.height + width)};
    float t0 = 0.0f, t1 = 1.0f;
    const float p[4] = {-dx, dx, -dy, dy};
    const float q[4] = {ca - lo[0], hi[0] - ca, ra - lo[1], hi[1] - ra};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0f) {
            if (q[k] < 0.0f)
                return;
            continue;
        }
        const float t = q[k] / p[k];
        if (p[k] < 0.0f)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (!(t0 <= t1))
        return;
    // Steps of at most one pixel along the longer axis; each step paints a square of the width.
    const float x0 = ca + dx * t0, y0 = ra + dy * t0, sx = dx * (t1 - t0), sy = dy * (t1 - t0);
    const int steps = std::max(1, static_cast<int>(std::ceil(std::max(std::fabs(sx), std::fabs(sy)))));
    for (int s = 0; s <= steps; ++s) {
        const float t = static_cast<float>(s) / steps;
        const int i = static_cast<int>(std::floor(x0 + sx * t)), j = static_cast<int>(std::floor(y0 + sy * t));
        for (int y = j - (width - 1) / 2; y <= j + width / 2; ++y)
            for (int x = i - (width - 1) / 2; x <= i + width / 2; ++x)
                paint(x, y, colour);
    }
}

void Raster::disc(const RenderCamera& camera, const float p[3], Rgb8 colour, int radius)
{
    float c = 0, r = 0, d = 0;
    if (!camera.project(p[0], p[1], p[2], c, r, d))
        return;
    const int i = static_cast<int>(std::floor(c)), j = static_cast<int>(std::floor(r));
    for (int y = -radius; y <= radius; ++y)
        for (int x = -radius; x <= radius; ++x)
            if (x * x + y * y <= radius * radius)
                paint(i + x, j + y, colour);
}

} // namespace hvk32::render
