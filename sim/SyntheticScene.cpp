#include "sim/SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace hvk32::sim {

namespace {

constexpr double kNoHit = std::numeric_limits<double>::infinity();
constexpr double kMinRange = 1e-6;            // [m], ignore hits at the ray's own origin
constexpr double kIncidenceWeight = 0.3;      // share of the intensity that follows the incidence
constexpr double kFalloffPerMetre = 0.5;      // intensity lost per metre of range
constexpr double kThroughGlassFactor = 0.6;   // what is left of a return seen through glass

struct Material {
    int intensity;    // at normal incidence and zero range
    bool translucent; // the beam goes on past it
};

constexpr Material kFloor{22, false};
constexpr Material kFloorPaint{110, false};
constexpr Material kWall{95, false};
constexpr Material kCrate{180, false};
constexpr Material kPerson{150, false};
constexpr Material kCar{210, false};
constexpr Material kPole{235, false};
constexpr Material kGlass{45, true};

// A painted line on the floor, across the room.
constexpr double kPaintMinY = 1.0; // [m]
constexpr double kPaintMaxY = 1.15;

struct Box {
    Vec3 min;
    Vec3 max;
    const Material* material;
};

// Upright cylinder with a flat top.
struct Pole {
    double x, y, radius, bottomZ, topZ;
    const Material* material;
};

constexpr double kGlassThickness = 0.02; // [m]

const Box kBoxes[] = {
    {{4.0, 2.0, scene::kFloorZ}, {6.0, 3.5, -0.8}, &kCrate},
    {{-3.0, -2.2, scene::kFloorZ}, {-2.6, -1.8, 0.0}, &kPerson},
    {{8.0, -4.0, scene::kFloorZ}, {12.5, -2.2, -0.3}, &kCar},
    {{scene::kGlassX - kGlassThickness, scene::kGlassMinY, scene::kFloorZ},
     {scene::kGlassX, scene::kGlassMaxY, scene::kGlassTopZ},
     &kGlass},
};

const Pole kPoles[] = {
    {3.0, -3.0, 0.15, scene::kFloorZ, 1.2, &kPole},
};

struct Hit {
    double t = kNoHit;
    Vec3 normal;
    const Material* material = nullptr;
};

double component(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

Vec3 axisNormal(int axis, double sign)
{
    Vec3 n;
    (axis == 0 ? n.x : axis == 1 ? n.y : n.z) = sign;
    return n;
}

// Entry into a box seen from outside (slab method).
Hit hitBox(const Box& box, const Vec3& o, const Vec3& d)
{
    double tEnter = -kNoHit;
    double tExit = kNoHit;
    int enterAxis = -1;
    for (int axis = 0; axis < 3; ++axis) {
        const double oc = component(o, axis);
        const double dc = component(d, axis);
        const double lo = component(box.min, axis);
        const double hi = component(box.max, axis);
        if (dc == 0.0) {
            if (oc < lo || oc > hi)
                return {};
            continue;
        }
        double t0 = (lo - oc) / dc;
        double t1 = (hi - oc) / dc;
        if (t0 > t1)
            std::swap(t0, t1);
        if (t0 > tEnter) {
            tEnter = t0;
            enterAxis = axis;
        }
        tExit = std::min(tExit, t1);
    }
    if (enterAxis < 0 || tEnter > tExit || tEnter < kMinRange)
        return {};
    return {tEnter, axisNormal(enterAxis, component(d, enterAxis) > 0 ? -1.0 : 1.0), box.material};
}

Hit hitPole(const Pole& pole, const Vec3& o, const Vec3& d)
{
    Hit best;
    const double ox = o.x - pole.x;
    const double oy = o.y - pole.y;
    const double a = d.x * d.x + d.y * d.y;
    if (a > 0.0) {
        const double b = 2.0 * (ox * d.x + oy * d.y);
        const double c = ox * ox + oy * oy - pole.radius * pole.radius;
        const double disc = b * b - 4.0 * a * c;
        if (disc >= 0.0) {
            const double t = (-b - std::sqrt(disc)) / (2.0 * a);
            const double z = o.z + t * d.z;
            if (t >= kMinRange && z >= pole.bottomZ && z <= pole.topZ)
                best = {t, {(ox + t * d.x) / pole.radius, (oy + t * d.y) / pole.radius, 0.0}, pole.material};
        }
    }
    if (d.z < 0.0) {
        const double t = (pole.topZ - o.z) / d.z;
        const double px = ox + t * d.x;
        const double py = oy + t * d.y;
        if (t >= kMinRange && t < best.t && px * px + py * py <= pole.radius * pole.radius)
            best = {t, {0.0, 0.0, 1.0}, pole.material};
    }
    return best;
}

// The room seen from inside: the face the ray leaves through. The floor and the walls
// return; leaving through the open top returns nothing.
Hit hitRoom(const Vec3& o, const Vec3& d)
{
    const Vec3 lo{scene::kRoomMinX, scene::kRoomMinY, scene::kFloorZ};
    const Vec3 hi{scene::kRoomMaxX, scene::kRoomMaxY, scene::kWallTopZ};
    double tExit = kNoHit;
    int exitAxis = -1;
    for (int axis = 0; axis < 3; ++axis) {
        const double dc = component(d, axis);
        if (dc == 0.0)
            continue;
        const double t = ((dc > 0 ? component(hi, axis) : component(lo, axis)) - component(o, axis)) / dc;
        if (t < tExit) {
            tExit = t;
            exitAxis = axis;
        }
    }
    if (exitAxis < 0 || tExit < kMinRange || (exitAxis == 2 && d.z > 0))
        return {};
    const Vec3 normal = axisNormal(exitAxis, component(d, exitAxis) > 0 ? -1.0 : 1.0);
    if (exitAxis != 2)
        return {tExit, normal, &kWall};
    const double y = o.y + tExit * d.y;
    return {tExit, normal, y >= kPaintMinY && y <= kPaintMaxY ? &kFloorPaint : &kFloor};
}

int intensityOf(const Hit& hit, const Vec3& d)
{
    const double incidence = std::fabs(d.x * hit.normal.x + d.y * hit.normal.y + d.z * hit.normal.z);
    const double value = hit.material->intensity * (1.0 - kIncidenceWeight + kIncidenceWeight * incidence)
        - kFalloffPerMetre * hit.t;
    return static_cast<int>(std::lround(std::clamp(value, 1.0, 255.0)));
}

// Distance to the surface of a box, from outside or inside.
double boxDistance(const Box& box, const Vec3& p)
{
    double outside = 0.0;
    double inside = kNoHit;
    for (int axis = 0; axis < 3; ++axis) {
        const double below = component(box.min, axis) - component(p, axis);
        const double above = component(p, axis) - component(box.max, axis);
        const double gap = std::max({below, above, 0.0});
        outside += gap * gap;
        inside = std::min(inside, std::min(-below, -above));
    }
    return outside > 0.0 ? std::sqrt(outside) : inside;
}

double poleDistance(const Pole& pole, const Vec3& p)
{
    const double radial = std::hypot(p.x - pole.x, p.y - pole.y) - pole.radius;
    const double vertical = std::max(pole.bottomZ - p.z, p.z - pole.topZ);
    if (radial <= 0.0 && vertical <= 0.0)
        return std::min(-radial, -vertical);
    return std::hypot(std::max(radial, 0.0), std::max(vertical, 0.0));
}

} // namespace

EchoPair SyntheticScene::cast(const Vec3& origin, const Vec3& direction) const
{
    Hit nearest = hitRoom(origin, direction);
    Hit nearestOpaque = nearest;
    auto consider = [&](const Hit& hit) {
        if (hit.t < nearest.t)
            nearest = hit;
        if (!hit.material->translucent && hit.t < nearestOpaque.t)
            nearestOpaque = hit;
    };
    for (const Box& box : kBoxes) {
        const Hit hit = hitBox(box, origin, direction);
        if (hit.material)
            consider(hit);
    }
    for (const Pole& pole : kPoles) {
        const Hit hit = hitPole(pole, origin, direction);
        if (hit.material)
            consider(hit);
    }

    EchoPair echoes;
    const bool behindGlass = nearest.t < nearestOpaque.t;
    if (nearestOpaque.t <= scene::kMaxRange) {
        echoes.last = {nearestOpaque.t, intensityOf(nearestOpaque, direction)};
        if (behindGlass)
            echoes.last.intensity = static_cast<int>(echoes.last.intensity * kThroughGlassFactor);
    }
    echoes.first = behindGlass && nearest.t <= scene::kMaxRange ? Echo{nearest.t, intensityOf(nearest, direction)}
                                                                 : echoes.last;
    return echoes;
}

double SyntheticScene::distanceToSurface(const Vec3& p) const
{
    double best = std::min({p.x - scene::kRoomMinX, scene::kRoomMaxX - p.x, p.y - scene::kRoomMinY,
                            scene::kRoomMaxY - p.y, p.z - scene::kFloorZ});
    for (const Box& box : kBoxes)
        best = std::min(best, boxDistance(box, p));
    for (const Pole& pole : kPoles)
        best = std::min(best, poleDistance(pole, p));
    return std::fabs(best);
}

} // namespace hvk32::sim
