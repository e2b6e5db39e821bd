#pragma once
// The main window's rules, kept apart from its widgets: which controls each step of its
// work enables, when no new frame is coming, and the box around picked points.

#include "convert/CloudBuilder.h"

#include <algorithm>
#include <vector>

namespace hvk32 {

// The controls whose enabled state follows what the window is doing.
enum class WindowControl {
    Connect,            // the link button
    Disconnect,         // the broken-link button
    DataPortField,      // " Data Port:"
    TelemetryPortField, // " Telemetry Port："
    MulticastField,     // " Multicast IP:"
    Play,
    StepForward,        // one frame forward while paused
    StepBackward,       // one frame back while paused
    SeekForward,        // play forwards
    SeekBackward,       // play backwards
    FrameSlider,
    OpenCapture,
    Record,
};

// The steps after which the window sets its controls.
enum class WindowStep {
    Started,          // idle: nothing connected, no capture open
    Connecting,       // waiting for the device, then receiving from it
    Disconnected,
    CaptureOpened,    // a capture is loaded and waits for Play
    PlaybackRunning,
    PlaybackPaused,
    PlaybackFinished, // the player reached the end of the capture
};

struct ControlState {
    WindowControl control;
    bool enabled;
};

// The controls a step sets; the others keep their state.
const std::vector<ControlState>& controlsAfter(WindowStep step);

// True when no new frame will reach the screen: the live display is frozen, or a capture
// is paused or stopped. What is on screen is then all there is to export or list.
inline bool nothingNewComing(bool liveFrozen, bool playStopped, bool filePlaying)
{
    return liveFrozen || (playStopped && filePlaying);
}

// The smallest box around points with x, y and z members; empty input gives the box at 0.
template <typename Points>
SelectionBox boundingBox(const Points& points)
{
    auto it = std::begin(points);
    if (it == std::end(points))
        return {};
    SelectionBox box{it->x, it->x, it->y, it->y, it->z, it->z};
    for (; it != std::end(points); ++it) {
        box.xMin = std::min(box.xMin, it->x);
        box.xMax = std::max(box.xMax, it->x);
        box.yMin = std::min(box.yMin, it->y);
        box.yMax = std::max(box.yMax, it->y);
        box.zMin = std::min(box.zMin, it->z);
        box.zMax = std::max(box.zMax, it->z);
    }
    return box;
}

} // namespace hvk32
