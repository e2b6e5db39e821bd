#include "records/AngleValues.h"

std::atomic<float> verticalAngleTable[32] = {};
std::atomic<float> offsetAngle1{0.0f};
std::atomic<float> offsetAngle2{0.0f};
std::atomic<float> offsetAngle3{0.0f};
std::atomic<float> offsetAngle4{0.0f};

std::array<float, 4> publishedOffsetAngles()
{
    return {offsetAngle1, offsetAngle2, offsetAngle3, offsetAngle4};
}

hvk32::DeviceCalibration publishedCalibration()
{
    hvk32::DeviceCalibration c;
    for (std::size_t i = 0; i < c.verticalAngles.size(); ++i)
        c.verticalAngles[i] = verticalAngleTable[i];
    c.offsetAngles = publishedOffsetAngles();
    return c;
}

const float defaultVerticalAngles1[32] = {
    -16, 0, -15, 1, -14, 2, -13, 3, -12, 4, -11, 5, -10, 6, -9, 7,
    -8, 8, -7, 9, -6, 10, -5, 11, -4, 12, -3, 13, -2, 14, -1, 15,
};

const float defaultVerticalAngles033[32] = {
    -18, -1, -15, -0.66f, -12, -0.33f, -10, 0, -8, 0.33f, -7, 0.66f, -6, 1, -5, 1.33f,
    -4, 1.66f, -3.33f, 2, -3, 3, -2.66f, 4, -2.33f, 6, -2, 8, -1.66f, 11, -1.33f, 14,
};
