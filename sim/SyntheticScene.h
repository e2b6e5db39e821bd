#pragma once
// A synthetic room as the substitute scanner sees it: a floor, four walls open to the sky,
// a few boxes, a pole and a glass pane. Plain ray caster, no I/O.
//
// Coordinates are metres in the viewer's frame: the scanner near the origin, z up, the floor
// 1.8 m below it. The room is not centred on the scanner, so the walls lie at different
// distances in each direction. Rays that leave over the walls find nothing.

namespace hvk32::sim {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// One return along a ray: the distance along a unit direction and the return's intensity.
struct Echo {
    double range = 0.0; // [m]; 0 means no return
    int intensity = 0;  // 0..255
    bool hit() const { return range > 0.0; }
};

// The two returns of one firing: `first` is the nearest surface, translucent or not;
// `last` is the nearest opaque surface. They are equal wherever no translucent surface
// lies in front of the opaque one.
struct EchoPair {
    Echo first;
    Echo last;
};

// Where things are, so tests and demos can check what the scanner reports.
namespace scene {
constexpr double kFloorZ = -1.8;   // [m]
constexpr double kWallTopZ = 6.0;  // [m]; high enough that every upward beam meets a wall
constexpr double kRoomMinX = -9.0; // [m]; the room is 24 m x 16 m
constexpr double kRoomMaxX = 15.0;
constexpr double kRoomMinY = -6.0;
constexpr double kRoomMaxY = 10.0;
constexpr double kGlassX = -6.0;   // [m], face of the glass pane towards the scanner
constexpr double kGlassMinY = -3.0;
constexpr double kGlassMaxY = 3.0;
constexpr double kGlassTopZ = 0.6;
constexpr double kMaxRange = 200.0; // [m], farther surfaces give no return
} // namespace scene

class SyntheticScene {
public:
    // Casts a ray from `origin` along the unit vector `direction`.
    EchoPair cast(const Vec3& origin, const Vec3& direction) const;

    // Distance from a point inside the room to the nearest surface of the scene [m], to
    // check where reported points land.
    double distanceToSurface(const Vec3& point) const;
};

} // namespace hvk32::sim
