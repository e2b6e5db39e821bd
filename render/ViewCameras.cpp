#include "render/ViewCameras.h"

#include <algorithm>
#include <cmath>

namespace hvk32::render {

CameraPlacement startingCamera(const PointArrays& p, double aspect)
{
    Box3 box;
    box.min = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    box.max = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::size_t k = 0; k < p.size; ++k) {
        const float xyz[3] = {p.x[k], p.y[k], p.z[k]};
        for (int i = 0; i < 3; ++i)
            if (std::isfinite(xyz[i])) {
                box.min[i] = std::min(box.min[i], double(xyz[i]));
                box.max[i] = std::max(box.max[i], double(xyz[i]));
            }
    }
    if (const auto placed = p.size ? fitCamera(box, kOverviewPosition, {0.0, 0.0, 1.0}, kViewAngleDeg, aspect)
                                   : std::nullopt)
        return *placed;
    return {kOverviewPosition, {0.0, 0.0, 0.0}};
}

CameraPlacement turnedCamera(const CameraPlacement& c, double turn)
{
    const double dx = c.position[0] - c.focalPoint[0], dy = c.position[1] - c.focalPoint[1];
    const double a = turn * 2.0 * M_PI;
    CameraPlacement out = c;
    out.position[0] = c.focalPoint[0] + dx * std::cos(a) - dy * std::sin(a);
    out.position[1] = c.focalPoint[1] + dx * std::sin(a) + dy * std::cos(a);
    return out;
}

CameraPlacement followingCamera(const std::vector<Eigen::Isometry3d>& poses)
{
    constexpr double kBack = 25.0, kUp = 20.0, kAhead = 5.0, kHeadingBase = 3.0; // [m]
    const Eigen::Vector3d here = poses.back().translation();
    Eigen::Vector2d heading = (poses.back().linear() * Eigen::Vector3d::UnitX()).head<2>();
    for (auto it = poses.rbegin(); it != poses.rend(); ++it) {
        const Eigen::Vector2d way = here.head<2>() - it->translation().head<2>();
        if (way.norm() >= kHeadingBase) {
            heading = way;
            break;
        }
    }
    heading = heading.norm() > 1e-9 ? heading.normalized() : Eigen::Vector2d::UnitX();
    CameraPlacement c;
    c.position = {here.x() - kBack * heading.x(), here.y() - kBack * heading.y(), here.z() + kUp};
    c.focalPoint = {here.x() + kAhead * heading.x(), here.y() + kAhead * heading.y(), here.z()};
    return c;
}

} // namespace hvk32::render
