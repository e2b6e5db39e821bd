#include "view/MeasurementGrid.h"

#include <cmath>

namespace hvk32 {

namespace {
constexpr double kPi = 3.14159; // as everywhere in the view's geometry
}

std::vector<GridSegment> measurementGridSegments()
{
    std::vector<GridSegment> segments;
    segments.reserve(kGridLineCount + kGridCircleSegmentCount);
    for (int k = -200; k <= 200; k += 10) {
        segments.push_back({"Line" + std::to_string(k), double(k), -200.0, double(k), 200.0});
        segments.push_back({"Line" + std::to_string(k + 41), -200.0, double(k), 200.0, double(k)});
    }
    for (int r = 10; r <= 200; r += 10) {
        for (int a = 0; a < 360; a += 10) {
            const double a0 = a * kPi / 180.0;
            const double a1 = (a + 10) * kPi / 180.0;
            segments.push_back({"Circle" + std::to_string(r) + std::to_string(a), r * std::cos(a0), r * std::sin(a0),
                                r * std::cos(a1), r * std::sin(a1)});
        }
    }
    return segments;
}

std::vector<GridLabel> measurementGridLabels()
{
    std::vector<GridLabel> labels;
    const double c = std::cos(-45.0 * kPi / 180.0), s = std::sin(-45.0 * kPi / 180.0);
    for (int r = 10; r <= 200; r += 10)
        labels.push_back({r, r * c, r * s});
    return labels;
}

} // namespace hvk32
