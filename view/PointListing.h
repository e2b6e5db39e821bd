#pragma once
// Which points of a frame the point table lists, in which rows and with which texts. Plain
// logic: the window supplies a row writer (which fills the table's model) and the table's
// scroll position.

#include "convert/CloudBuilder.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace hvk32 {

// What one table row shows about a point.
struct ListedPoint {
    float x, y, z;      // [m]
    double azimuth;     // [deg], as the listing defines it
    float distanceCm;   // scaled distance
    int intensity;
    int channel;
    std::uint64_t timestamp;
};

// The eight column texts: PointID, "x y z" (4 decimals each), azimuth (3 decimals),
// distance in metres (4 decimals), intensity, channel, and the timestamp twice.
QStringList pointRowTexts(int pointId, const ListedPoint& point);

class PointListing {
public:
    using RowWriter = std::function<void(int row, const QStringList& texts)>;

    static constexpr int kLiveRowsPerChannel = 4;
    static constexpr int kRefreshedRowSpan = 30; // rows below the scroll position refreshed per frame

    explicit PointListing(RowWriter writeRow);

    // Starts the listing of a frame. Without an active selection the first four points of
    // each channel are listed in rows 4·c + k as they come; with one, the points inside the
    // selection box are kept as the frame's selection, which listSelection() or listPaused()
    // then writes. The selection of the frame before is forgotten.
    void beginFrame(bool selectionActive);

    // One converted point of the frame, in conversion order (the cloud builder's visitor).
    void addPoint(const ConvertedPoint& point);

    // The points of the frame that lie inside the selection box, in conversion order: what
    // the view shows as selected, and what the selection's count, rows and export describe.
    const std::vector<ConvertedPoint>& selectedPoints() const { return selected_; }
    void clearSelection() { selected_.clear(); }

    // Writes the rows of the selected points from row scrollValue to scrollValue + 30 (row i,
    // PointID i: selected point i), as a frame that is followed by others does.
    void listSelection(int scrollValue);

    // Writes a row for every selected point of `frame` (the frame they were selected in), in
    // rows 0, 1, 2, ..., converted with the fixed offsets of the export; the azimuth is not
    // wrapped. For a frame that stays on screen. Returns the number of rows written.
    int listPaused(const LidarData& frame, const ConversionSnapshot& snapshot);

private:
    RowWriter writeRow_;
    bool selectionActive_ = false;
    int liveChannel_ = -1;
    int liveRowCounter_ = 0;
    std::vector<ConvertedPoint> selected_;
    PointArrays points_; // the paused frame's points, storage kept
};

} // namespace hvk32
