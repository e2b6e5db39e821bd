#pragma once
// Process-wide angle values, in degrees. Written by the device-info side (live receiver
// and capture player), read by the point-cloud builder. Each value is written as a whole
// float; atomics make those unlocked cross-thread reads well defined.

#include <array>
#include <atomic>

extern std::atomic<float> verticalAngleTable[32];
extern std::atomic<float> offsetAngle1;
extern std::atomic<float> offsetAngle2;
extern std::atomic<float> offsetAngle3;
extern std::atomic<float> offsetAngle4;

// The four offset angles as they stand now.
std::array<float, 4> publishedOffsetAngles();

// Built-in vertical angle tables (channel 0 first) of the 1-degree and 0.33-degree layouts.
extern const float defaultVerticalAngles1[32];
extern const float defaultVerticalAngles033[32];
