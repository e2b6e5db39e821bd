#pragma once
// The ruler of the 3-D view: two points picked on the cloud, the straight distance between
// them, its horizontal part and the height difference. Plain object: the view snaps each
// click to a cloud point (nearestOnScreen) and hands the point to the ruler.

#include <QString>

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace hvk32 {

struct RulerPoint {
    double x = 0, y = 0, z = 0; // [m]
};

struct Measurement {
    RulerPoint from, to;

    double distance() const { return std::sqrt(horizontal2() + dz() * dz()); }
    double horizontalDistance() const { return std::sqrt(horizontal2()); }
    // Signed: positive when the second point lies higher than the first.
    double heightDifference() const { return dz(); }

private:
    double dz() const { return to.z - from.z; }
    double horizontal2() const { return (to.x - from.x) * (to.x - from.x) + (to.y - from.y) * (to.y - from.y); }
};

// Collects the picked points: the first click starts a measurement, the second completes
// it, a third starts a new one.
class Ruler {
public:
    void addPoint(const RulerPoint& p);
    void clear() { count_ = 0; }

    int pointCount() const { return count_; }
    const RulerPoint& first() const { return points_[0]; }
    // Both points once a measurement is complete.
    std::optional<Measurement> measurement() const;

private:
    std::array<RulerPoint, 2> points_{};
    int count_ = 0;
};

// The label drawn beside the ruler's line: one quantity per line, metres with 3 decimals.
QString rulerLabelText(const Measurement& m);
// The status-bar line: both points and the three distances, to be copied as text.
QString rulerStatusText(const Ruler& ruler);

// Where a world point lands on the screen: the camera's world-to-view matrix (row-major,
// view coordinates -1..1 on x and y) and the size of the view in pixels.
struct ViewProjection {
    double matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double width = 1, height = 1; // [px]

    // Pixel position (origin bottom left) and depth (-1 near .. 1 far); false when the point
    // is behind the camera.
    bool project(double x, double y, double z, double& px, double& py, double& depth) const
    {
        const double* m = matrix;
        const double w = m[12] * x + m[13] * y + m[14] * z + m[15];
        if (w <= 0)
            return false;
        px = ((m[0] * x + m[1] * y + m[2] * z + m[3]) / w + 1.0) * 0.5 * width;
        py = ((m[4] * x + m[5] * y + m[6] * z + m[7]) / w + 1.0) * 0.5 * height;
        depth = (m[8] * x + m[9] * y + m[10] * z + m[11]) / w;
        return true;
    }
};

struct SnapCandidate {
    std::size_t index;
    double pixels; // screen distance to the click
    double depth;  // -1 near .. 1 far
};

// Candidates this much farther from the click than the nearest one count as equally near.
constexpr double kSnapTiePixels = 1.5;

// The candidate the user means: the one drawn nearest to the click, or, among those
// drawn about as near, the one nearest the camera, since it hides the others. Nothing
// when there is no candidate.
std::optional<std::size_t> chooseSnapCandidate(const std::vector<SnapCandidate>& candidates);

// Adds the points drawn within radius pixels of the pixel (px, py), numbered from
// firstIndex. Points is any sequence of elements with x, y, z.
template <typename Points>
void appendSnapCandidates(const Points& points, const ViewProjection& view, double px, double py, double radius,
                          std::vector<SnapCandidate>& out, std::size_t firstIndex = 0)
{
    std::size_t i = firstIndex;
    for (auto it = std::begin(points); it != std::end(points); ++it, ++i) {
        double sx, sy, depth;
        if (!view.project(it->x, it->y, it->z, sx, sy, depth) || depth < -1.0 || depth > 1.0)
            continue;
        const double pixels = std::hypot(sx - px, sy - py);
        if (pixels <= radius)
            out.push_back({i, pixels, depth});
    }
}

// Index of the point drawn nearest to the pixel (px, py), within radius pixels, or nothing
// when no point is drawn that close.
template <typename Points>
std::optional<std::size_t> nearestOnScreen(const Points& points, const ViewProjection& view, double px, double py,
                                           double radius)
{
    std::vector<SnapCandidate> candidates;
    appendSnapCandidates(points, view, px, py, radius, candidates);
    return chooseSnapCandidate(candidates);
}

} // namespace hvk32
