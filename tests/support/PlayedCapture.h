#pragma once
// What forward play makes of a capture file: the check that a recording plays back.

#include "acquisition/CapturePlayerCore.h"

#include <QString>

namespace hvk32::test {

struct PlayedCapture {
    int frames = -1;         // -1: the file cannot be opened
    bool configured = false; // a device-info packet reported the configuration
    bool damaged = false;    // the reader met damage
};

inline PlayedCapture playCapture(const QString& path)
{
    PlayedCapture played;
    CapturePlayerCore player;
    if (!player.open(path))
        return played;
    player.start();
    played.frames = 0;
    for (auto e = player.next(CapturePlayerCore::Direction::Forward); e != CapturePlayerCore::Event::End;
         e = player.next(CapturePlayerCore::Direction::Forward))
        played.frames += e == CapturePlayerCore::Event::Frame;
    played.configured = player.configurationReported();
    played.damaged = player.damage().any();
    return played;
}

} // namespace hvk32::test
