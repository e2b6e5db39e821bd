#pragma once
// The one conversion of a frame into points: vertical table check, distance scale, horizontal
// angle terms, emitter offset, channel, azimuth and distance filters, zero distances kept or dropped.
// The result is a structure of arrays, reused from frame to frame. Every output (window cloud,
// point table, CSV, selection export, PCD and PLY) takes its points from here; colours and
// text formats stay with their callers.
//
// Two precisions, the same rules: Exact computes as the CSV export always has (double
// trigonometry on the unwrapped angle, then rounded to float), so its text never changes;
// Fast looks the trigonometry up in an interpolated table (within a few float steps of Exact)
// and is the one that keeps up with whole captures.

#include "records/LidarData.h"
#include "convert/ConversionSnapshot.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hvk32 {

// "V2.6.1" or "V2.6.0", from how far apart the device's offset angles are.
const char* firmwareVariantOf(int degreeMode, const float offsetAngles[4]);

// The built-in vertical angle table of a degree mode (1: 0.33-degree layout, else 1-degree).
const float* builtInVerticalAngles(int degreeMode);

// First channel whose device vertical angle is more than 1.5 degrees off the built-in table of
// the degree mode, or -1 when the device's table is trusted.
int verticalAngleMistake(int degreeMode, const float deviceVerticalAngles[32]);

// The vertical table a frame is converted with: the device's, or the built-in one of the
// degree mode when any channel deviates.
const float* verticalAnglesInUse(int degreeMode, const float deviceVerticalAngles[32]);

// The device offset angle (0..3 for offset angles 1..4) that turns channel c where the user's
// adjustments play no part (point table of a paused frame, CSV, PCD and PLY). It is always added.
int fixedOffsetIndex(int degreeMode, int channel);

// Raw distance counts to centimetres: 0.25 cm per count, or 1/2.5 cm once the mode is known.
float scaledDistanceCm(float raw, int modeKnown);

// Points of channel c present in all four per-channel lists of the frame.
std::size_t channelPointCount(const LidarData& frame, int channel);

// The adjusted angle corrected by one turn at most: above 360 less a turn, below 0 plus one.
// Both corrections are computed and one chosen, a select rather than a branch, so that the
// conversion's loops vectorise with it.
inline double wrapOnce(double theta)
{
    const double above = theta > 360.0 ? theta - 360.0 : theta;
    return theta < 0.0 ? theta + 360.0 : above;
}

struct BeamTrig {
    double cosV, sinV; // of the channel's vertical angle
};
BeamTrig beamTrigOf(float verticalDegrees);

struct Xyz {
    float x, y, z; // [m]
};
// Position of a return distanceCm along a beam at horizontal angle thetaDegrees (unwrapped),
// including the emitter's offset from the rotation axis.
Xyz beamCoordinates(double distanceCm, const BeamTrig& beam, double thetaDegrees);

// What turns each channel: the horizontal angle of a point is (azimuth + adjust) + offset.
struct AngleTerms {
    double adjust[kChannelCount] = {};
    double offset[kChannelCount] = {};

    // One device offset angle per channel, always added (fixedOffsetIndex).
    static AngleTerms fixed(const ConversionSnapshot& snapshot);
    // The window's rules: the firmware variant picks, per channel, which of the user's
    // adjustments 1..4 and the device's offset angles 1..4 turn it, and in which direction.
    static AngleTerms adjusted(const ConversionSnapshot& snapshot, const double angleAdjust[4]);
};

enum class Precision { Exact, Fast };

struct ConversionOptions {
    ConversionOptions() { channels.fill(true); }

    Precision precision = Precision::Fast;
    std::array<bool, kChannelCount> channels; // converted channels
    bool keepZeroDistances = true;            // returns of distance 0 (or none) stay in
    // Only points whose wrapped azimuth, as a float, lies in [azimuthMin, azimuthMax].
    bool limitAzimuth = false;
    float azimuthMin = 0.0f, azimuthMax = 360.0f;
    // Only points whose distance in metres lies in [distanceMin, distanceMax]; with a minimum
    // above 0 no zero distance is left, whatever keepZeroDistances says.
    bool limitDistance = false;
    float distanceMin = 0.0f, distanceMax = 0.0f; // [m]
    // The window's display sector: a point whose wrapped angle lies strictly between
    // displayAngle and 360 - displayAngle keeps its place in the arrays with distance 0.
    bool collapseOutsideDisplay = false;
    float displayAngle = 360.0f;
    // Fields a writer does not need may be left out (positions, azimuths and distances are
    // always there): their arrays then hold no meaningful values. The Fast conversion without
    // the display sector and the Exact conversion leave them out; the Exact conversion always
    // gives channels, which the window's cloud reads.
    bool fillIntensity = true, fillChannel = true, fillTime = true, fillEcho = true;
};

// The converted points, one index per point across every array; channel 0..31 in order, each
// channel's points in list order. Arrays hold at least `size` entries (they only grow).
struct PointArrays {
    std::size_t size = 0;
    std::vector<float> x, y, z;          // [m]
    std::vector<float> intensity;        // the device's 0..255
    std::vector<std::uint16_t> channel;  // 0..31
    std::vector<float> azimuth;          // wrapped horizontal angle [deg]
    std::vector<float> distance;         // [m], 0 when collapsed
    std::vector<float> time;             // [s] from the frame's first firing
    std::vector<std::uint8_t> echo;      // 0: single or first echo, 1: second echo
    // Exact precision only: what the text outputs print.
    std::vector<double> theta;           // horizontal angle before the wrap [deg]
    std::vector<float> distanceCm;       // scaled distance, 0 when collapsed [cm]
    std::vector<std::uint32_t> source;   // position in the channel's lists
};

class PointConversion {
public:
    // Converts `frame` into `out` (its previous points are replaced). The vertical table is the
    // snapshot's when it is trusted, else the built-in one of its degree mode.
    void convert(const LidarData& frame, const ConversionSnapshot& snapshot, const AngleTerms& angles,
                 const ConversionOptions& options, PointArrays& out) const;
};

// The time stamp of the frame's first firing (the earliest first point of a channel, across
// the hourly wrap of the time stamps), in time-stamp units; 0 for an empty frame.
std::uint64_t frameStartTime(const LidarData& frame);

} // namespace hvk32
