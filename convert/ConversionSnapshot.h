#pragma once
// The device's modes and angle values as one frame is converted with them. Plain data: every
// conversion of a frame (window cloud, point table, CSV, PCD and PLY) takes one of these, so
// a frame converts the same way whatever other threads write meanwhile.

#include "records/DeviceCalibration.h"
#include "records/LidarData.h"

#include <array>

namespace hvk32 {

struct CloudParameters;

struct ConversionSnapshot {
    int degreeMode = 0;                  // 0: 1-degree layout, 1: 0.33-degree layout
    int modeKnown = 0;                   // 0: 0.25 cm per count, else 1/2.5 cm
    float offsetAngles[4] = {0, 0, 0, 0}; // the device's horizontal offset angles 1..4 [deg]
    float deviceVerticalAngles[32] = {};  // the device's vertical angle table [deg]

    static ConversionSnapshot of(const CloudParameters& params);
    // The device's side of a conversion: its modes and a calibration, that of the capture a
    // frame was played from.
    static ConversionSnapshot of(int degreeMode, int modeKnown, const DeviceCalibration& calibration);
    // A frame played from a capture: a frame plays only after a device-info packet that reports
    // the device's modes, so its distance unit is the known one (1/2.5 cm), whatever a live
    // device reported meanwhile.
    static ConversionSnapshot ofCapture(int degreeMode, const DeviceCalibration& calibration);
    // The same for a live frame: the given offset angles and the process-wide vertical angle
    // table. The window and the command line both build their snapshots here.
    static ConversionSnapshot ofDevice(int degreeMode, int modeKnown, const std::array<float, 4>& offsetAngles);
};

} // namespace hvk32
