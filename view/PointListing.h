#pragma once
// Which points of a frame the point table lists, in which rows and with which texts. Plain
// logic: the window supplies a row writer (which fills the table's model) and the table's
// scroll position.

#include "view/CloudBuilder.h"
#include "view/ConversionSnapshot.h"
#include "view/PointConversion.h"

#include <QStringList>

#include <cstdint>
#include <functional>

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
    // each channel are listed in rows 4·c + k; with one, the points inside the selection
    // box are listed under a row counter that wraps at selectionCount, and only rows from
    // scrollValue to scrollValue + 30 are written.
    void beginFrame(bool selectionActive, int selectionCount, int scrollValue);

    // One converted point of the frame, in conversion order (the cloud builder's visitor).
    void addPoint(const ConvertedPoint& point);

    // Lists a frame shown while paused: every point of every channel that falls inside `box`,
    // in rows 0, 1, 2, ..., converted with the fixed offsets of the export; the azimuth is not
    // wrapped. The caller resets the table first. Returns the number of rows written.
    int listPaused(const LidarData& frame, const ConversionSnapshot& snapshot, const SelectionBox& box);

    int selectionRowCounter() const { return selectionRowCounter_; }

private:
    RowWriter writeRow_;
    bool selectionActive_ = false;
    int selectionCount_ = 0;
    int scrollValue_ = 0;
    int liveChannel_ = -1;
    int liveRowCounter_ = 0;
    int selectionRowCounter_ = 0; // kept across frames and selections; wraps at selectionCount
    PointArrays points_;          // the paused frame's points, storage kept
};

} // namespace hvk32
