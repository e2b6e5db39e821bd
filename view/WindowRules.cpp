#include "view/WindowRules.h"

namespace hvk32 {

namespace {

using C = WindowControl;

// The link button and the fields it locks: connected, the fields cannot change under the
// receivers.
const std::vector<ControlState> kStarted = {
    {C::Play, false},        {C::StepForward, false}, {C::StepBackward, false}, {C::SeekBackward, false},
    {C::SeekForward, false}, {C::Connect, true},      {C::Disconnect, false},
};
const std::vector<ControlState> kConnecting = {
    {C::Connect, false},        {C::DataPortField, false},  {C::TelemetryPortField, false},
    {C::MulticastField, false}, {C::Disconnect, true},
};
const std::vector<ControlState> kDisconnected = {
    {C::Connect, true},        {C::DataPortField, true}, {C::TelemetryPortField, true},
    {C::MulticastField, true}, {C::Disconnect, false},
};
// Playback: single steps only while paused; no other capture opened or recorded while one plays.
const std::vector<ControlState> kCaptureOpened = {
    {C::Play, true},          {C::StepForward, false}, {C::StepBackward, false},
    {C::SeekBackward, false}, {C::SeekForward, false}, {C::FrameSlider, false},
};
const std::vector<ControlState> kPlaybackRunning = {
    {C::StepForward, false}, {C::StepBackward, false}, {C::OpenCapture, false},
    {C::Record, false},      {C::SeekBackward, true},  {C::SeekForward, true},
};
// Paused, every way on is open, also after a seek back from the end.
const std::vector<ControlState> kPlaybackPaused = {
    {C::StepForward, true}, {C::StepBackward, true}, {C::SeekForward, true},
    {C::SeekBackward, true}, {C::OpenCapture, true}, {C::Record, true},
};
const std::vector<ControlState> kPlaybackFinished = {
    {C::StepForward, false}, {C::StepBackward, false}, {C::SeekBackward, false},
    {C::SeekForward, false}, {C::OpenCapture, true},   {C::Record, true},
};

} // namespace

const std::vector<ControlState>& controlsAfter(WindowStep step)
{
    switch (step) {
    case WindowStep::Started: return kStarted;
    case WindowStep::Connecting: return kConnecting;
    case WindowStep::Disconnected: return kDisconnected;
    case WindowStep::CaptureOpened: return kCaptureOpened;
    case WindowStep::PlaybackRunning: return kPlaybackRunning;
    case WindowStep::PlaybackPaused: return kPlaybackPaused;
    case WindowStep::PlaybackFinished: return kPlaybackFinished;
    }
    return kStarted;
}

} // namespace hvk32
