#pragma once
// A synthetic room as the substitute scanner sees it: a floor, four walls open to the sky,
// a few boxes, a pole and a glass pane. Plain ray caster, no I/O.
//
// Coordinates are metres in the viewer's frame: the scanner near the origin, z up, the floor
// 1.8 m below it. The room is not centred on the scanner, so the walls lie at different
// distances in each direction. Rays that leave over the walls find nothing.

#include "sim/Scene.h"

namespace hvk32::sim {

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

class SyntheticScene : public Scene {
public:
    EchoPair cast(const Vec3& origin, const Vec3& direction) const override;

    // Distance from a point inside the room to the nearest surface of the scene [m], to
    // check where reported points land.
    double distanceToSurface(const Vec3& point) const;
};

} // namespace hvk32::sim
