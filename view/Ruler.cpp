#include "view/Ruler.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace hvk32 {

void Ruler::addPoint(const RulerPoint& p)
{
    if (count_ == 2)
        count_ = 0;
    points_[static_cast<std::size_t>(count_++)] = p;
}

std::optional<Measurement> Ruler::measurement() const
{
    if (count_ < 2)
        return std::nullopt;
    return Measurement{points_[0], points_[1]};
}

namespace {

QString metres(double v) { return QString::number(v, 'f', 3) + " m"; }

QString signedMetres(double v)
{
    // Rounded first, so a difference that rounds to zero reads 0.000, never -0.000.
    const double rounded = std::round(v * 1000.0) / 1000.0;
    if (rounded == 0.0)
        return metres(0.0);
    return (rounded > 0 ? "+" : "") + metres(rounded);
}

QString pointText(const RulerPoint& p)
{
    return QString("(%1, %2, %3)").arg(p.x, 0, 'f', 3).arg(p.y, 0, 'f', 3).arg(p.z, 0, 'f', 3);
}

} // namespace

QString rulerLabelText(const Measurement& m)
{
    return QCoreApplication::translate("Ruler", "Distance: %1\nHorizontal: %2\nHeight: %3")
        .arg(metres(m.distance()), metres(m.horizontalDistance()), signedMetres(m.heightDifference()));
}

QString rulerStatusText(const Ruler& ruler)
{
    if (ruler.pointCount() == 0)
        return QCoreApplication::translate("Ruler", "Measure: click a point of the cloud");
    if (const auto m = ruler.measurement()) {
        // Distances first: on a narrow status bar the end of the text is cut.
        return QCoreApplication::translate("Ruler", "Measure: Distance %1  Horizontal %2  Height %3  A %4  B %5")
            .arg(metres(m->distance()), metres(m->horizontalDistance()), signedMetres(m->heightDifference()),
                 pointText(m->from), pointText(m->to));
    }
    return QCoreApplication::translate("Ruler", "Measure: A %1  click the second point").arg(pointText(ruler.first()));
}

std::optional<std::size_t> chooseSnapCandidate(const std::vector<SnapCandidate>& candidates)
{
    if (candidates.empty())
        return std::nullopt;
    const auto nearest = std::min_element(candidates.begin(), candidates.end(),
                                          [](const SnapCandidate& a, const SnapCandidate& b) { return a.pixels < b.pixels; });
    const SnapCandidate* best = &*nearest;
    for (const SnapCandidate& c : candidates) {
        if (c.pixels <= nearest->pixels + kSnapTiePixels && c.depth < best->depth)
            best = &c;
    }
    return best->index;
}

} // namespace hvk32
