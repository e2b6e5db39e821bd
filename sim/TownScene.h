#pragma once
// A synthetic town for a scanner that drives: flat ground at z = 0, a grid of streets, blocks
// of buildings between them, lamp posts along the kerbs, parked cars and trees, placed from
// a seed so that the same seed gives the same town. Plain ray caster, no I/O.
//
// Coordinates are metres in the town's frame, z up. Every thing stands on the ground as an
// upright box or cylinder; a uniform grid over the ground plane tells a ray which things lie
// along its way, so a cast costs the cells it crosses, not the whole town.

#include "sim/Scene.h"

#include <cstdint>
#include <vector>

namespace hvk32::sim {

namespace town {
constexpr double kStreetSpacing = 100.0;  // [m] centre lines at x = 100 i and y = 100 j
constexpr int kStreetLines = 3;           // i, j = -3..3
constexpr double kStreetWidth = 16.0;     // [m], kerb to kerb
constexpr double kKerb = kStreetWidth / 2;
constexpr double kMinBuildingWidth = 10.0, kMaxBuildingWidth = 40.0; // [m]
constexpr double kMinBuildingHeight = 5.0, kMaxBuildingHeight = 30.0;
constexpr double kMaxSetback = 6.0;       // [m], facade behind the kerb
constexpr double kLampSpacing = 30.0;     // [m] along each kerb
constexpr double kLampRadius = 0.125;     // [m], 0.25 m thick
constexpr double kLampHeight = 8.0;       // [m]
constexpr double kLampBehindKerb = 0.3;   // [m], centre of a post from the kerb line
constexpr double kMaxRange = 200.0;       // [m], farther surfaces give no return
constexpr std::uint64_t kDefaultSeed = 1;
} // namespace town

class TownScene : public Scene {
public:
    enum class Kind : std::uint8_t { Building, Lamp, Car, Tree };

    // An upright box, or an upright cylinder standing in the middle of its square.
    struct Thing {
        double min[3];
        double max[3];
        bool round;
        Kind kind;
        std::uint8_t intensity; // at normal incidence and zero range
    };

    explicit TownScene(std::uint64_t seed = town::kDefaultSeed);

    EchoPair cast(const Vec3& origin, const Vec3& direction) const override;

    const std::vector<Thing>& things() const { return things_; }

private:
    struct Hit;
    void add(const Thing& thing);
    void buildGrid();
    void hitThing(const Thing& thing, const Vec3& o, const Vec3& d, const double inverse[3], Hit& best) const;
    int groundIntensity(double x, double y) const;

    std::vector<Thing> things_;
    // The grid: cell (cx, cy) covers [gridMin + c * kCell, + kCell) on each axis and lists the
    // things whose footprint touches it (cellStart_ indexes cellThings_), with their top.
    double gridMinX_ = 0.0, gridMinY_ = 0.0;
    int cellsX_ = 0, cellsY_ = 0;
    std::vector<std::uint32_t> cellStart_;
    std::vector<std::uint32_t> cellThings_;
    std::vector<float> cellTop_;
    double top_ = 0.0; // the highest top of all
};

} // namespace hvk32::sim
