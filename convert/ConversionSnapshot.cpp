#include "convert/ConversionSnapshot.h"

#include "convert/CloudBuilder.h"
#include "records/AngleValues.h"

#include <algorithm>

namespace hvk32 {

ConversionSnapshot ConversionSnapshot::of(const CloudParameters& params)
{
    ConversionSnapshot s;
    s.degreeMode = params.degreeMode;
    s.modeKnown = params.modeKnown;
    std::copy(params.offsetAngles, params.offsetAngles + 4, s.offsetAngles);
    std::copy(params.deviceVerticalAngles, params.deviceVerticalAngles + kChannelCount, s.deviceVerticalAngles);
    return s;
}

ConversionSnapshot ConversionSnapshot::of(int degreeMode, int modeKnown, const DeviceCalibration& calibration)
{
    ConversionSnapshot s;
    s.degreeMode = degreeMode;
    s.modeKnown = modeKnown;
    std::copy(calibration.offsetAngles.begin(), calibration.offsetAngles.end(), s.offsetAngles);
    std::copy(calibration.verticalAngles.begin(), calibration.verticalAngles.end(), s.deviceVerticalAngles);
    return s;
}

ConversionSnapshot ConversionSnapshot::ofCapture(int degreeMode, const DeviceCalibration& calibration)
{
    return of(degreeMode, 1, calibration); // the mode is known: 1/2.5 cm per count
}

ConversionSnapshot ConversionSnapshot::ofDevice(int degreeMode, int modeKnown, const std::array<float, 4>& offsetAngles)
{
    DeviceCalibration calibration = publishedCalibration();
    calibration.offsetAngles = offsetAngles;
    return of(degreeMode, modeKnown, calibration);
}

} // namespace hvk32
