#include "view/CameraFit.h"

#include <algorithm>
#include <cmath>

namespace hvk32 {

namespace {

double dot(const Vec3& a, const Vec3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::optional<Vec3> unit(const Vec3& v)
{
    const double n = std::sqrt(dot(v, v));
    if (!(n > 1e-12) || !std::isfinite(n))
        return std::nullopt;
    return Vec3{v[0] / n, v[1] / n, v[2] / n};
}

constexpr double kPi = 3.14159265358979323846;

} // namespace

std::optional<CameraPlacement> fitCamera(const Box3& box, const Vec3& towardCamera, const Vec3& viewUp,
                                         double viewAngleDeg, double aspect, double margin)
{
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(box.min[i]) || !std::isfinite(box.max[i]))
            return std::nullopt;
    }
    const auto back = unit(towardCamera);
    if (!back)
        return std::nullopt;
    const auto right = unit(cross(viewUp, *back));
    if (!right)
        return std::nullopt;
    const Vec3 up = cross(*back, *right);

    const Vec3 centre{(box.min[0] + box.max[0]) / 2, (box.min[1] + box.max[1]) / 2, (box.min[2] + box.max[2]) / 2};
    const double tanUp = std::tan(viewAngleDeg * kPi / 360.0) * margin;
    const double tanRight = tanUp * (aspect > 0 ? aspect : 1.0);
    // A corner at offset v from the centre lies at depth D - v·back in front of a camera
    // standing at distance D; it is inside the view when its sideways offsets are within
    // that depth times the half-openings.
    double distance = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec3 v{(corner & 1 ? box.max[0] : box.min[0]) - centre[0],
                     (corner & 2 ? box.max[1] : box.min[1]) - centre[1],
                     (corner & 4 ? box.max[2] : box.min[2]) - centre[2]};
        const double depthShift = dot(v, *back);
        distance = std::max({distance, depthShift + std::abs(dot(v, up)) / tanUp,
                             depthShift + std::abs(dot(v, *right)) / tanRight});
    }
    // A flat or empty box still needs the camera in front of it.
    distance = std::max(distance, 1.0);

    CameraPlacement placement;
    placement.focalPoint = centre;
    for (int i = 0; i < 3; ++i)
        placement.position[i] = centre[i] + distance * (*back)[i];
    return placement;
}

} // namespace hvk32
