#pragma once
// Colours one frame's points and splits them at the selection box. The points come from the
// one conversion (PointConversion) with the window's rules: the user's adjustments, the
// channel selection and the display sector. Plain object: the caller passes a snapshot of
// every setting and of the device's angle values, so a frame is converted the same way
// whatever other threads write meanwhile.

#include "records/LidarData.h"
#include "convert/HelperThread.h"
#include "convert/PointConversion.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace hvk32 {

struct CloudPoint {
    float x, y, z; // [m]
    std::uint8_t r, g, b;
};

// The colour chooser's item index.
enum class ColorMode { Intensity = 0, Solid = 1, Elevation = 2, Azimuth = 3, LaserID = 4 };

// Axis-aligned box in metres, bounds included.
struct SelectionBox {
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0, zMin = 0, zMax = 0;
    bool contains(float x, float y, float z) const
    {
        return xMin <= x && x <= xMax && yMin <= y && y <= yMax && zMin <= z && z <= zMax;
    }
};

// The points drawn inside a rectangle of the view: the camera's world-to-normalised-device
// matrix at the time of the drag (row-major, as vtkCamera's composite projection matrix) and
// the rectangle in normalised device coordinates. A point belongs when its projection lies in
// the rectangle, bounds included, and between the near and far planes, so the selection is
// exactly what was drawn inside the rectangle whatever the view's kind, zoom or size.
struct SelectionArea {
    bool active = false;
    double worldToDevice[16] = {};
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool contains(float x, float y, float z) const
    {
        if (!active)
            return false;
        const double* m = worldToDevice;
        const double w = m[12] * x + m[13] * y + m[14] * z + m[15];
        if (!(w > 0))
            return false;
        const double nx = (m[0] * x + m[1] * y + m[2] * z + m[3]) / w;
        const double ny = (m[4] * x + m[5] * y + m[6] * z + m[7]) / w;
        const double nz = (m[8] * x + m[9] * y + m[10] * z + m[11]) / w;
        return xMin <= nx && nx <= xMax && yMin <= ny && ny <= yMax && -1.0 <= nz && nz <= 1.0;
    }
};

// The area of the rectangle between two corners given in display pixels (x to the right, y
// upwards from the bottom of the window, as the view's events give them), over a viewport
// of the given origin and size in the same pixels, seen through worldToDevice.
SelectionArea selectionArea(const double worldToDevice[16], const int viewportOrigin[2], const int viewportSize[2],
                            const double cornerA[2], const double cornerB[2]);

struct CloudParameters {
    CloudParameters() { channelEnabled.fill(true); }

    int degreeMode = 0;                   // 0: 1-degree layout, 1: 0.33-degree layout
    int modeKnown = 0;                    // 0: 0.25 cm per count, else 0.4 cm per count (d / 2.5)
    double angleAdjust[4] = {0, 0, 0, 0}; // the user's horizontal adjustments 1..4 [deg]
    float offsetAngles[4] = {0, 0, 0, 0}; // the device's horizontal offset angles 1..4 [deg]
    float deviceVerticalAngles[32] = {};  // the device's vertical angle table, by channel [deg]
    float displayAngle = 360.0f;          // [deg]; points with displayAngle < angle < 360 - displayAngle collapse
    std::array<bool, 32> channelEnabled;  // by channel, already resolved through the channel form's map
    ColorMode colorMode = ColorMode::Intensity;
    SelectionBox selectionBox;
    // When active, the selection is the points drawn inside this area instead of the box.
    SelectionArea selectionArea;
    bool computeAverageIntensities = false;
    // Only points this far from the scanner, bounds included [m].
    bool limitDistance = false;
    float distanceMin = 0.0f, distanceMax = 0.0f;
};

// Everything later consumers (point table, CSV export) need about one converted point.
struct ConvertedPoint {
    int channel;
    std::size_t index; // position in the channel's lists
    float x, y, z;     // [m]
    double theta;        // adjusted horizontal angle, unwrapped [deg]
    double thetaWrapped; // after the single +/-360 correction [deg]
    float distanceCm;    // scaled distance, 0 when removed by the display sector
    int intensity;
    std::uint64_t timestamp;
    float azimuth; // raw horizontal angle of the frame [deg]
    bool inSelection;
    std::uint8_t r, g, b;
};

struct CloudResult {
    std::vector<CloudPoint> frame;     // points outside the selection box
    std::vector<CloudPoint> selection; // points inside it
    const char* firmwareVariant = "V2.6.0"; // "V2.6.0" or "V2.6.1"
    int angleMistakeChannel = -1;           // first channel deviating > 1.5 degrees, else -1
    std::vector<float> averageIntensities;  // 32 entries when requested, else empty
};

class CloudBuilder {
public:
    using PointVisitor = std::function<void(const ConvertedPoint&)>;

    // Converts every point of the frame (channel 0..31, list order) and calls visitor (if
    // any) for each converted point of an enabled channel. Points with a distance of 0 or
    // less are skipped. A channel converts only as many points as all four of its lists hold.
    // `out` is cleared first; its vectors' capacity is reused, as are the builder's arrays.
    void build(const LidarData& frame, const CloudParameters& params, CloudResult& out,
               const PointVisitor* visitor = nullptr);

private:
    void emitPoints(const LidarData& frame, const CloudParameters& params, const PointArrays& p, CloudResult& out,
                    const PointVisitor* visitor) const;

    PointConversion conversion_;
    PointArrays points_;
    // A large frame's higher channels convert on a second thread while this one converts the
    // lower ones.
    PointConversion helperConversion_;
    PointArrays helperPoints_;
    HelperThread helper_;
};

} // namespace hvk32
