#include "sim/TownScene.h"

#include "sim/Random.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace hvk32::sim {

namespace {

using namespace town;

constexpr double kNoHit = std::numeric_limits<double>::infinity();
constexpr double kMinRange = 1e-6;        // [m], ignore hits at the ray's own origin
constexpr double kIncidenceWeight = 0.3;  // share of the intensity that follows the incidence
constexpr double kFalloffPerMetre = 0.5;  // intensity lost per metre of range
constexpr double kCell = 4.0;             // [m], side of a grid cell

// The street furniture runs this far along every street, past the outermost cross streets.
constexpr double kStreetEnd = kStreetLines * kStreetSpacing + 30.0; // [m]
constexpr double kBlockSide = kStreetSpacing - kStreetWidth;         // [m], kerb to kerb across a block
constexpr double kMinBuildingDepth = 10.0, kMaxBuildingDepth = 30.0; // [m]
constexpr double kMaxBuildingGap = 4.0;   // [m] between neighbouring buildings
constexpr int kMinBuildingIntensity = 60, kMaxBuildingIntensity = 140;

constexpr double kLampClearance = 2.0;    // [m] past the kerb of a cross street
constexpr int kLampIntensity = 235;

constexpr double kCarSlot = 6.5;          // [m] of kerb per parking place
constexpr double kCarShare = 0.35;        // of the places taken
constexpr double kCarClearance = 20.0;    // [m] from a cross street's centre line
constexpr double kCarFromKerb = 1.1;      // [m], centre of a car from the kerb line
constexpr double kCarWidth = 1.8;
constexpr double kMinCarLength = 4.2, kMaxCarLength = 4.8;
constexpr double kMinCarHeight = 1.4, kMaxCarHeight = 1.6;
constexpr int kMinCarIntensity = 60, kMaxCarIntensity = 220;

constexpr double kTreeShare = 0.5;        // of the places halfway between lamp posts
constexpr double kTreeClearance = 12.0;   // [m] from a cross street's centre line
constexpr double kTreeBehindKerb = 1.5;   // [m]
constexpr double kTrunkRadius = 0.2, kTrunkHeight = 3.0;
constexpr double kMinCrownRadius = 1.5, kMaxCrownRadius = 2.2;
constexpr double kCrownBottom = 2.5;
constexpr double kMinCrownTop = 5.0, kMaxCrownTop = 7.0;
constexpr int kTrunkIntensity = 70, kCrownIntensity = 45;

constexpr int kAsphaltIntensity = 20;
constexpr int kPavementIntensity = 55;
constexpr int kMarkingIntensity = 140;
constexpr double kMarkingHalfWidth = 0.075; // [m], dashed centre line
constexpr double kDashLength = 3.0, kDashPeriod = 9.0;

// Distance from `v` to the nearest street centre line of the town (-3..3), and that line's index.
double offsetFromStreet(double v, int& line)
{
    line = std::clamp(static_cast<int>(std::lround(v / kStreetSpacing)), -kStreetLines, kStreetLines);
    return v - line * kStreetSpacing;
}

bool nearCrossStreet(double along, double clearance)
{
    int line = 0;
    return std::fabs(offsetFromStreet(along, line)) < clearance;
}

int intensityOf(int material, double incidence, double range)
{
    const double value = material * (1.0 - kIncidenceWeight + kIncidenceWeight * incidence) - kFalloffPerMetre * range;
    return static_cast<int>(std::lround(std::clamp(value, 1.0, 255.0)));
}

} // namespace

struct TownScene::Hit {
    double t = kNoHit;
    double incidence = 0.0; // cosine between the ray and the surface normal
    int intensity = 0;
};

TownScene::TownScene(std::uint64_t seed)
{
    Random random(seed);

    // Buildings: along each of a block's four sides, boxes side by side with small gaps, each
    // set back from the kerb on its own. Boxes of neighbouring sides may meet at a corner.
    for (int i = -kStreetLines; i < kStreetLines; ++i) {
        for (int j = -kStreetLines; j < kStreetLines; ++j) {
            const double x0 = i * kStreetSpacing + kKerb, x1 = x0 + kBlockSide;
            const double y0 = j * kStreetSpacing + kKerb, y1 = y0 + kBlockSide;
            for (int side = 0; side < 4; ++side) {
                for (double along = 0.0;;) {
                    const double gap = random.uniform(0.0, kMaxBuildingGap);
                    double width = random.uniform(kMinBuildingWidth, kMaxBuildingWidth);
                    const double setback = random.uniform(0.0, kMaxSetback);
                    const double depth = random.uniform(kMinBuildingDepth, kMaxBuildingDepth);
                    const double height = random.uniform(kMinBuildingHeight, kMaxBuildingHeight);
                    const auto intensity = static_cast<std::uint8_t>(
                        random.uniform(kMinBuildingIntensity, kMaxBuildingIntensity + 1));
                    const double u0 = along + gap;
                    width = std::min(width, kBlockSide - u0);
                    if (width < kMinBuildingWidth)
                        break;
                    const double u1 = u0 + width, w0 = setback, w1 = setback + depth;
                    along = u1;
                    Thing b{{0, 0, 0}, {0, 0, height}, false, Kind::Building, intensity};
                    switch (side) {
                    case 0: b.min[0] = x0 + u0, b.max[0] = x0 + u1, b.min[1] = y0 + w0, b.max[1] = y0 + w1; break;
                    case 1: b.min[0] = x1 - w1, b.max[0] = x1 - w0, b.min[1] = y0 + u0, b.max[1] = y0 + u1; break;
                    case 2: b.min[0] = x1 - u1, b.max[0] = x1 - u0, b.min[1] = y1 - w1, b.max[1] = y1 - w0; break;
                    default: b.min[0] = x0 + w0, b.max[0] = x0 + w1, b.min[1] = y1 - u1, b.max[1] = y1 - u0; break;
                    }
                    add(b);
                }
            }
        }
    }

    // Along both kerbs of every street: lamp posts every 30 m, trees halfway between them
    // where the pavement leaves room for their crowns, cars in some of the parking places,
    // none of them inside a crossing.
    for (int axis = 0; axis < 2; ++axis) { // 0: streets along x, 1: streets along y
        for (int line = -kStreetLines; line <= kStreetLines; ++line) {
            for (int sideSign = -1; sideSign <= 1; sideSign += 2) {
                const double centre = line * kStreetSpacing;
                // True when a crown of `radius` at `along`, `across` reaches into a building.
                const auto touchesBuilding = [&](double along, double across, double radius) {
                    const double a = centre + sideSign * across;
                    return std::any_of(things_.begin(), things_.end(), [&](const Thing& t) {
                        return t.kind == Kind::Building && t.min[axis] < along + radius && t.max[axis] > along - radius
                            && t.min[1 - axis] < a + radius && t.max[1 - axis] > a - radius;
                    });
                };
                // A thing at `along` on the street, `across` from the centre line towards this side.
                const auto place = [&](double along, double across, double halfAlong, double halfAcross, double bottom,
                                       double top, bool round, Kind kind, int intensity) {
                    const double a = centre + sideSign * across;
                    Thing t{{0, 0, bottom}, {0, 0, top}, round, kind, static_cast<std::uint8_t>(intensity)};
                    t.min[axis] = along - halfAlong;
                    t.max[axis] = along + halfAlong;
                    t.min[1 - axis] = a - halfAcross;
                    t.max[1 - axis] = a + halfAcross;
                    add(t);
                };
                for (double along = -kStreetEnd; along <= kStreetEnd; along += kLampSpacing) {
                    if (!nearCrossStreet(along, kKerb + kLampClearance))
                        place(along, kKerb + kLampBehindKerb, kLampRadius, kLampRadius, 0.0, kLampHeight, true,
                              Kind::Lamp, kLampIntensity);
                    const double treeAt = along + kLampSpacing / 2;
                    const bool tree = random.chance(kTreeShare);
                    const double crown = random.uniform(kMinCrownRadius, kMaxCrownRadius);
                    const double crownTop = random.uniform(kMinCrownTop, kMaxCrownTop);
                    const double across = kKerb + kTreeBehindKerb;
                    if (tree && treeAt <= kStreetEnd && !nearCrossStreet(treeAt, kTreeClearance)
                        && !touchesBuilding(treeAt, across, crown)) {
                        place(treeAt, across, kTrunkRadius, kTrunkRadius, 0.0, kTrunkHeight, true, Kind::Tree,
                              kTrunkIntensity);
                        place(treeAt, across, crown, crown, kCrownBottom, crownTop, true, Kind::Tree, kCrownIntensity);
                    }
                }
                for (double slot = -kStreetEnd; slot + kCarSlot <= kStreetEnd; slot += kCarSlot) {
                    const double length = random.uniform(kMinCarLength, kMaxCarLength);
                    const double height = random.uniform(kMinCarHeight, kMaxCarHeight);
                    const int intensity = static_cast<int>(random.uniform(kMinCarIntensity, kMaxCarIntensity + 1));
                    const double middle = slot + kCarSlot / 2;
                    if (random.chance(kCarShare) && !nearCrossStreet(middle, kCarClearance))
                        place(middle, kKerb - kCarFromKerb, length / 2, kCarWidth / 2, 0.0, height, false, Kind::Car,
                              intensity);
                }
            }
        }
    }
    buildGrid();
}

void TownScene::add(const Thing& thing) { things_.push_back(thing); }

void TownScene::buildGrid()
{
    double minX = kNoHit, minY = kNoHit, maxX = -kNoHit, maxY = -kNoHit;
    for (const Thing& t : things_) {
        minX = std::min(minX, t.min[0]);
        minY = std::min(minY, t.min[1]);
        maxX = std::max(maxX, t.max[0]);
        maxY = std::max(maxY, t.max[1]);
        top_ = std::max(top_, t.max[2]);
    }
    gridMinX_ = std::floor(minX / kCell) * kCell;
    gridMinY_ = std::floor(minY / kCell) * kCell;
    cellsX_ = static_cast<int>(std::ceil((maxX - gridMinX_) / kCell)) + 1;
    cellsY_ = static_cast<int>(std::ceil((maxY - gridMinY_) / kCell)) + 1;
    const std::size_t cells = static_cast<std::size_t>(cellsX_) * cellsY_;

    // Each thing goes into every cell its footprint touches: counted first, then filled.
    const auto forCells = [&](const Thing& t, auto&& visit) {
        const int cx0 = static_cast<int>(std::floor((t.min[0] - gridMinX_) / kCell));
        const int cx1 = static_cast<int>(std::floor((t.max[0] - gridMinX_) / kCell));
        const int cy0 = static_cast<int>(std::floor((t.min[1] - gridMinY_) / kCell));
        const int cy1 = static_cast<int>(std::floor((t.max[1] - gridMinY_) / kCell));
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx)
                visit(static_cast<std::size_t>(cy) * cellsX_ + cx);
    };
    cellStart_.assign(cells + 1, 0);
    cellTop_.assign(cells, -1.0f);
    for (const Thing& t : things_)
        forCells(t, [&](std::size_t cell) {
            ++cellStart_[cell + 1];
            cellTop_[cell] = std::max(cellTop_[cell], static_cast<float>(t.max[2]));
        });
    for (std::size_t c = 0; c < cells; ++c)
        cellStart_[c + 1] += cellStart_[c];
    cellThings_.resize(cellStart_[cells]);
    std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (std::size_t i = 0; i < things_.size(); ++i)
        forCells(things_[i], [&](std::size_t cell) { cellThings_[fill[cell]++] = static_cast<std::uint32_t>(i); });
}

// The nearest entry into a thing, if nearer than `best`; rays that start inside one ignore it.
void TownScene::hitThing(const Thing& thing, const Vec3& o, const Vec3& d, const double inverse[3], Hit& best) const
{
    const double origin[3] = {o.x, o.y, o.z};
    const double direction[3] = {d.x, d.y, d.z};
    if (!thing.round) {
        double tNear = -kNoHit, tFar = kNoHit;
        int axis = -1;
        for (int a = 0; a < 3; ++a) {
            if (direction[a] == 0.0) {
                if (origin[a] < thing.min[a] || origin[a] > thing.max[a])
                    return;
                continue;
            }
            double t0 = (thing.min[a] - origin[a]) * inverse[a];
            double t1 = (thing.max[a] - origin[a]) * inverse[a];
            if (t0 > t1)
                std::swap(t0, t1);
            if (t0 > tNear) {
                tNear = t0;
                axis = a;
            }
            tFar = std::min(tFar, t1);
        }
        if (axis >= 0 && tNear <= tFar && tNear >= kMinRange && tNear < best.t)
            best = {tNear, std::fabs(direction[axis]), thing.intensity};
        return;
    }
    // Upright cylinder: its side, then its flat top.
    const double radius = (thing.max[0] - thing.min[0]) / 2;
    const double cx = o.x - (thing.min[0] + radius);
    const double cy = o.y - (thing.min[1] + radius);
    const double a = d.x * d.x + d.y * d.y;
    if (a > 0.0) {
        const double b = cx * d.x + cy * d.y;
        const double c = cx * cx + cy * cy - radius * radius;
        const double disc = b * b - a * c;
        if (disc < 0.0)
            return; // the ray passes beside the cylinder, top included
        const double t = (-b - std::sqrt(disc)) / a;
        const double z = o.z + t * d.z;
        if (t >= kMinRange && t < best.t && z >= thing.min[2] && z <= thing.max[2]) {
            const double incidence = std::fabs((cx + t * d.x) * d.x + (cy + t * d.y) * d.y) / radius;
            best = {t, incidence, thing.intensity};
            return;
        }
    }
    if (d.z < 0.0) {
        const double t = (thing.max[2] - o.z) / d.z;
        const double px = cx + t * d.x;
        const double py = cy + t * d.y;
        if (t >= kMinRange && t < best.t && px * px + py * py <= radius * radius)
            best = {t, -d.z, thing.intensity};
    }
}

int TownScene::groundIntensity(double x, double y) const
{
    int lineX = 0, lineY = 0;
    const double dx = std::fabs(offsetFromStreet(x, lineX)); // from a street along y
    const double dy = std::fabs(offsetFromStreet(y, lineY)); // from a street along x
    const bool inTown = std::fabs(x) <= kStreetEnd && std::fabs(y) <= kStreetEnd;
    if (!inTown || (dx >= kKerb && dy >= kKerb))
        return kPavementIntensity;
    if (dx < kKerb && dy < kKerb)
        return kAsphaltIntensity; // a crossing: no markings
    const double across = dx < kKerb ? dx : dy;
    const double along = dx < kKerb ? y : x;
    const double phase = along - std::floor(along / kDashPeriod) * kDashPeriod;
    return across < kMarkingHalfWidth && phase < kDashLength ? kMarkingIntensity : kAsphaltIntensity;
}

EchoPair TownScene::cast(const Vec3& o, const Vec3& d) const
{
    // The ground, the range limit, and for rays going up the height above which nothing stands.
    const double tGround = d.z < 0.0 && o.z > 0.0 ? o.z / -d.z : kNoHit;
    double tEnd = std::min(kMaxRange, tGround);
    if (d.z > 0.0)
        tEnd = std::min(tEnd, (top_ - o.z) / d.z);

    // Where the ray crosses the grid's rectangle.
    const double inverse[3] = {1.0 / d.x, 1.0 / d.y, 1.0 / d.z};
    const double gridMax[2] = {gridMinX_ + cellsX_ * kCell, gridMinY_ + cellsY_ * kCell};
    const double gridMin[2] = {gridMinX_, gridMinY_};
    const double origin[2] = {o.x, o.y};
    const double direction[2] = {d.x, d.y};
    double tStart = 0.0;
    for (int a = 0; a < 2; ++a) {
        if (direction[a] == 0.0) {
            if (origin[a] < gridMin[a] || origin[a] >= gridMax[a])
                tEnd = -1.0;
            continue;
        }
        double t0 = (gridMin[a] - origin[a]) * inverse[a];
        double t1 = (gridMax[a] - origin[a]) * inverse[a];
        if (t0 > t1)
            std::swap(t0, t1);
        tStart = std::max(tStart, t0);
        tEnd = std::min(tEnd, t1);
    }

    Hit best;
    if (tStart < tEnd) {
        // Walk the cells along the ray (Amanatides and Woo), nearest first, until a hit lies
        // within the cell being looked at.
        const double enterX = o.x + tStart * d.x, enterY = o.y + tStart * d.y;
        int cx = std::clamp(static_cast<int>(std::floor((enterX - gridMinX_) / kCell)), 0, cellsX_ - 1);
        int cy = std::clamp(static_cast<int>(std::floor((enterY - gridMinY_) / kCell)), 0, cellsY_ - 1);
        const int stepX = d.x > 0.0 ? 1 : -1, stepY = d.y > 0.0 ? 1 : -1;
        double nextX = d.x == 0.0 ? kNoHit : (gridMinX_ + (cx + (d.x > 0.0)) * kCell - o.x) * inverse[0];
        double nextY = d.y == 0.0 ? kNoHit : (gridMinY_ + (cy + (d.y > 0.0)) * kCell - o.y) * inverse[1];
        const double deltaX = d.x == 0.0 ? kNoHit : kCell * std::fabs(inverse[0]);
        const double deltaY = d.y == 0.0 ? kNoHit : kCell * std::fabs(inverse[1]);
        double tCell = tStart;
        for (;;) {
            const double tExit = std::min({nextX, nextY, tEnd});
            const std::size_t cell = static_cast<std::size_t>(cy) * cellsX_ + cx;
            const double lowest = o.z + d.z * (d.z > 0.0 ? tCell : tExit);
            if (lowest <= cellTop_[cell])
                for (std::uint32_t k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k)
                    hitThing(things_[cellThings_[k]], o, d, inverse, best);
            if (best.t <= tExit || tExit >= tEnd)
                break;
            if (nextX < nextY) {
                cx += stepX;
                tCell = nextX;
                nextX += deltaX;
                if (cx < 0 || cx >= cellsX_)
                    break;
            } else {
                cy += stepY;
                tCell = nextY;
                nextY += deltaY;
                if (cy < 0 || cy >= cellsY_)
                    break;
            }
        }
    }

    EchoPair echoes;
    if (best.t <= kMaxRange && best.t <= tGround) {
        echoes.last = {best.t, intensityOf(best.intensity, best.incidence, best.t)};
    } else if (tGround <= kMaxRange) {
        const double x = o.x + tGround * d.x, y = o.y + tGround * d.y;
        echoes.last = {tGround, intensityOf(groundIntensity(x, y), -d.z, tGround)};
    }
    echoes.first = echoes.last; // nothing in the town is translucent
    return echoes;
}

} // namespace hvk32::sim
