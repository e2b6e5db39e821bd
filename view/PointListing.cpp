#include "view/PointListing.h"

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

void PointListing::beginFrame(bool selectionActive, int selectionCount, int scrollValue)
{
    selectionActive_ = selectionActive;
    selectionCount_ = selectionCount;
    scrollValue_ = scrollValue;
    liveChannel_ = -1;
    liveRowCounter_ = 0;
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
    if (point.inSelection) {
        if (selectionRowCounter_ >= selectionCount_)
            selectionRowCounter_ = 0;
        const int row = selectionRowCounter_;
        if (scrollValue_ <= row && row <= scrollValue_ + kRefreshedRowSpan)
            writeRow_(row, pointRowTexts(row, listed(point)));
        ++selectionRowCounter_;
    }
}

int PointListing::listPaused(const LidarData& frame, const ConversionSnapshot& snapshot, const SelectionBox& box)
{
    ConversionOptions options;
    options.precision = Precision::Exact;
    PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, points_);
    int row = 0;
    for (std::size_t k = 0; k < points_.size; ++k) {
        if (!box.contains(points_.x[k], points_.y[k], points_.z[k]))
            continue;
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
