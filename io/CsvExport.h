#pragma once
// CSV export of frames: the header, one frame's point lines, and the session that the window
// arms for a number of frames. The points come from the one conversion (PointConversion) with
// one device offset angle per channel, always added: the user's adjustments, the channel
// selection and the display sector play no part, and distances of 0 are written too (they
// land on the emitter offset circle).

#include "records/DeviceCalibration.h"
#include "records/LidarData.h"
#include "convert/CloudBuilder.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <array>
#include <iosfwd>
#include <limits>
#include <vector>

class QDateTime;
class QIODevice;

namespace hvk32 {

struct CsvExportOptions {
    QList<int> channels;     // exported channels; order and repeats do not matter
    float angleMin = 0.0f;   // azimuth range, bounds included [deg]
    float angleMax = 360.0f;
    // Distance range, bounds included [m]; the default lets every distance through.
    float distanceMin = 0.0f;
    float distanceMax = std::numeric_limits<float>::infinity();

    bool limitsDistance() const { return distanceMin > 0.0f || distanceMax < std::numeric_limits<float>::infinity(); }

    // The conversion's filters for these channels and ranges (zero distances kept unless the
    // distance range starts above 0).
    ConversionOptions conversionOptions(Precision precision) const;
};

// Converts every point of `frame` (every channel, zero distances kept, any azimuth) with the
// export's fixed offsets and exact precision: what the selection's rows and export show.
void convertWholeFrame(const LidarData& frame, const ConversionSnapshot& snapshot, PointArrays& points);
// Where the given points of `frame` (named by channel and index) lie in its whole conversion,
// in their order; points the frame does not hold are left out.
std::vector<std::size_t> wholeFramePositions(const LidarData& frame, const std::vector<ConvertedPoint>& points);

// "FrameID,Points_X,...,timestamp" and a line end.
QByteArray csvHeaderLine();

// The proposed file name for an export started at `now`: "yyyy-MM-dd-hh-mm.csv".
QString csvDefaultFileName(const QDateTime& now);

// Writes one line per point of the listed channels (0..31 in order, every point including
// zero distances) whose wrapped azimuth lies in the options' range. Numbers use the default
// stream formatting (6 significant digits). Returns the number of points written, or -1 when
// the stream or device did not take the text.
qint64 writeCsvFrame(std::ostream& out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                     const ConversionSnapshot& snapshot);
qint64 writeCsvFrame(QIODevice* out, int frameId, const LidarData& frame, const CsvExportOptions& options,
                     const ConversionSnapshot& snapshot);

// The lines of `points`, converted from `frame` with exact precision (a selection of them
// too), in their order. Returns their number, or -1 when the device did not take the text.
qint64 writeCsvPoints(QIODevice* out, int frameId, const LidarData& frame, const PointArrays& points);

// The selection's export: the header, then the given points of `frame` (each named by its
// channel and index, as the view selected them in that frame) as frame 1, in their order and
// in the format above, whatever their azimuth. Returns the number of points, or -1 when the
// device did not take the text.
qint64 writeCsvSelection(QIODevice* out, const LidarData& frame, const std::vector<ConvertedPoint>& points,
                         const ConversionSnapshot& snapshot);
// The same into the file `path`, replacing its contents; on failure -1, and *error says why.
qint64 writeCsvSelection(const QString& path, const LidarData& frame, const std::vector<ConvertedPoint>& points,
                         const ConversionSnapshot& snapshot, QString* error);

// The window's export: armed on a file for a number of frames, fed one frame at a time,
// closed after the last.
class CsvExportSession {
public:
    CsvExportSession() = default;
    CsvExportSession(const CsvExportSession&) = delete;
    CsvExportSession& operator=(const CsvExportSession&) = delete;

    // Closes a file still open from an earlier export, opens `path` (replacing its contents),
    // writes the header and arms for `frames` frames (fewer than 1 counts as 1). On failure
    // nothing is armed and errorString() says why.
    // Distances outside [distanceMin, distanceMax] (metres) are left out, as the window's
    // distance filter leaves them out of the view.
    bool arm(const QString& path, int frames, float angleMin, float angleMax, const QList<int>& channels,
             float distanceMin = 0.0f, float distanceMax = std::numeric_limits<float>::infinity());

    // While armed: writes the frame as the next FrameID (1, 2, ...). Returns true when the
    // export has just ended, with the file closed: after the last frame, or on a write error
    // (errorString() then says so). Not armed: does nothing and returns false.
    bool writeFrame(const LidarData& frame, const ConversionSnapshot& snapshot);

    // While armed: writes this one frame as the next FrameID and ends the export at once,
    // whatever the frame count (display frozen or capture paused). False on a write error or
    // when not armed.
    bool writeFinalFrame(const LidarData& frame, const ConversionSnapshot& snapshot);

    // Ends an export early, keeping what was written.
    void cancel();

    bool isArmed() const { return file_.isOpen(); }
    int frameCounter() const { return frameCounter_; } // frames written so far, 0 when idle
    int framesToWrite() const { return framesToWrite_; }
    const CsvExportOptions& options() const { return options_; }
    QString fileName() const { return file_.fileName(); }
    QString errorString() const { return error_; } // empty after a good arm and write

private:
    bool writeNext(const LidarData& frame, const ConversionSnapshot& snapshot);
    void finish();

    QFile file_;
    CsvExportOptions options_;
    int framesToWrite_ = 1;
    int frameCounter_ = 0;
    QString error_;
};

} // namespace hvk32
