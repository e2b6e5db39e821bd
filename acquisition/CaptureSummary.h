#pragma once
// The summary of a whole capture that "hvk32-cli info --summary" prints and the Python module's
// summary() returns: one JSON object of frame, packet, time, damage and stream-health counts.

#include <QJsonObject>

namespace hvk32 {

class CaptureFrameIndex;

// The summary of a capture indexed to its end.
QJsonObject captureSummary(const CaptureFrameIndex& index);

} // namespace hvk32
