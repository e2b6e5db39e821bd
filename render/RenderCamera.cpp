#include "render/RenderCamera.h"

#include <algorithm>
#include <cmath>

namespace hvk32::render {

namespace {

Vec3 minus(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 unit(const Vec3& v)
{
    const double n = std::sqrt(dot(v, v));
    return n > 0 ? Vec3{v[0] / n, v[1] / n, v[2] / n} : Vec3{0, 0, 0};
}

} // namespace

RenderCamera RenderCamera::top(int width, int height, double range, double cx, double cy)
{
    RenderCamera c;
    c.width_ = width;
    c.height_ = height;
    c.top_ = true;
    const double s = std::min(width, height) / (2.0 * range);
    c.m_[0][0] = static_cast<float>(s);
    c.m_[0][3] = static_cast<float>(width / 2.0 - cx * s);
    c.m_[1][1] = static_cast<float>(-s);
    c.m_[1][3] = static_cast<float>(height / 2.0 + cy * s);
    c.m_[2][3] = 1.0f;
    c.m_[3][2] = -1.0f;
    return c;
}

RenderCamera RenderCamera::perspective(int width, int height, const Vec3& position, const Vec3& focalPoint,
                                       const Vec3& viewUp, double viewAngleDeg)
{
    RenderCamera c;
    c.width_ = width;
    c.height_ = height;
    // The camera's axes: forward towards the focal point, right, and up made square to both.
    const Vec3 forward = unit(minus(focalPoint, position));
    const Vec3 right = unit(cross(forward, viewUp));
    const Vec3 up = cross(right, forward);
    // Pixels a unit of the image plane at distance 1: the vertical opening spans the height.
    const double f = (height / 2.0) / std::tan(viewAngleDeg * M_PI / 360.0);
    const double halfW = width / 2.0, halfH = height / 2.0;
    const double toPosition[3] = {-dot(right, position), -dot(up, position), -dot(forward, position)};
    for (int i = 0; i < 3; ++i) {
        // column·w = f·right·p + W/2·w, row·w = −f·up·p + H/2·w, w = forward·p.
        c.m_[0][i] = static_cast<float>(f * right[i] + halfW * forward[i]);
        c.m_[1][i] = static_cast<float>(-f * up[i] + halfH * forward[i]);
        c.m_[2][i] = static_cast<float>(forward[i]);
        c.m_[3][i] = static_cast<float>(forward[i]);
    }
    c.m_[0][3] = static_cast<float>(f * toPosition[0] + halfW * toPosition[2]);
    c.m_[1][3] = static_cast<float>(-f * toPosition[1] + halfH * toPosition[2]);
    c.m_[2][3] = static_cast<float>(toPosition[2]);
    c.m_[3][3] = static_cast<float>(toPosition[2]);
    return c;
}

} // namespace hvk32::render
