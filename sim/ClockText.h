#pragma once
// The device clock's start as a user writes it on the command line: an ISO-8601 local date
// and time, "2026-03-05T10:00:00" (or with a space for the T, or a date alone for midnight).
// A trailing "Z" is taken; other zone offsets are refused, since the device clock keeps no
// zone. Years 2000..2255, the range of the device's year byte.

#include "sim/DeviceConfiguration.h"

#include <string>

namespace hvk32::sim {

// False when `text` is not such a date and time, or names a day the calendar does not have.
bool parseClockText(const std::string& text, ClockTime& out);

} // namespace hvk32::sim
