#pragma once
// Process-wide angle values, in degrees: those of the live device. Written by the live
// device-info receiver, read by the conversion of live frames (a played capture carries its
// own with every frame). Each value is written as a whole float; atomics make those
// unlocked cross-thread reads well defined.

#include "records/DeviceCalibration.h"

#include <array>
#include <atomic>

extern std::atomic<float> verticalAngleTable[32];
extern std::atomic<float> offsetAngle1;
extern std::atomic<float> offsetAngle2;
extern std::atomic<float> offsetAngle3;
extern std::atomic<float> offsetAngle4;

// The four offset angles as they stand now.
std::array<float, 4> publishedOffsetAngles();
// The vertical angle table and the offset angles as they stand now.
hvk32::DeviceCalibration publishedCalibration();

// Built-in vertical angle tables (channel 0 first) of the 1-degree and 0.33-degree layouts.
extern const float defaultVerticalAngles1[32];
extern const float defaultVerticalAngles033[32];
