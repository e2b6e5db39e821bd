#include "view/PointListing.h"

#include "io/CsvExport.h"

#include <algorithm>
#include <utility>

namespace hvk32 {

namespace {

constexpr double kCentimetresPerMetre = 100.0;

QString fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }

ListedPoint listed(const ConvertedPoint& p)
{
    return {p.x, p.y, p.z, p.thetaWrapped, p.distanceCm, p.intensity, p.channel, p.timestamp};
}

} // namespace

QStringList pointRowTexts(int pointId, const ListedPoint& p)
{
    const QString time = QString::number(static_cast<qulonglong>(p.timestamp));
    return {
        QString::number(pointId),
        fixed(p.x, 4) + ' ' + fixed(p.y, 4) + ' ' + fixed(p.z, 4),
        fixed(p.azimuth, 3),
        fixed(p.distanceCm / kCentimetresPerMetre, 4),
        QString::number(p.intensity),
        QString::number(p.channel),
        time,
        time,
    };
}

PointListing::PointListing(RowWriter writeRow) : writeRow_(std::move(writeRow)) {}

void PointListing::beginFrame(bool selectionActive)
{
    selectionActive_ = selectionActive;
    liveChannel_ = -1;
    liveRowCounter_ = 0;
    selected_.clear();
}

void PointListing::addPoint(const ConvertedPoint& point)
{
    if (!selectionActive_) {
        if (point.channel != liveChannel_) {
            liveChannel_ = point.channel;
            liveRowCounter_ = 0;
        }
        if (liveRowCounter_ < kLiveRowsPerChannel) {
            writeRow_(kLiveRowsPerChannel * point.channel + liveRowCounter_,
                      pointRowTexts(liveRowCounter_, listed(point)));
            ++liveRowCounter_;
        }
    }
    if (selectionActive_ && point.inSelection)
        selected_.push_back(point);
}

void PointListing::listSelection(int scrollValue)
{
    const int last = std::min(static_cast<int>(selected_.size()) - 1, scrollValue + kRefreshedRowSpan);
    for (int row = std::max(scrollValue, 0); row <= last; ++row)
        writeRow_(row, pointRowTexts(row, listed(selected_[static_cast<std::size_t>(row)])));
}

int PointListing::listPaused(const LidarData& frame, const ConversionSnapshot& snapshot)
{
    convertWholeFrame(frame, snapshot, points_);
    int row = 0;
    for (std::size_t k : wholeFramePositions(frame, selected_)) {
        const int c = points_.channel[k];
        const std::size_t j = points_.source[k];
        const ListedPoint shown{points_.x[k], points_.y[k], points_.z[k], points_.theta[k], points_.distanceCm[k],
                                frame.intensities[c][j], c, frame.timestamps[c][j]};
        writeRow_(row, pointRowTexts(row, shown));
        ++row;
    }
    return row;
}

} // namespace hvk32
