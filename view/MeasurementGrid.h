#pragma once
// The measurement grid in the plane z = 0: 82 straight lines 10 m apart from -200 to 200 m,
// and 20 circles of radius 10..200 m, each drawn as 36 ten-degree segments and labelled
// with its radius.

#include <string>
#include <vector>

namespace hvk32 {

struct GridSegment {
    std::string id; // "Line<k>" or "Circle<r><a>"
    double x0, y0, x1, y1;
};

constexpr int kGridLineCount = 82;
constexpr int kGridCircleSegmentCount = 720;
constexpr double kGridColor = 150.0; // per channel, on the viewer's 0..1 scale: full brightness
constexpr double kGridOpacity = 0.2;

std::vector<GridSegment> measurementGridSegments();

// Where each circle's distance is written: on the circle, toward x > 0, y < 0.
struct GridLabel {
    int radius; // [m]
    double x, y;
};
std::vector<GridLabel> measurementGridLabels();

} // namespace hvk32
