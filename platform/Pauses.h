#pragma once
// The fixed pauses of the program (pacing of the capture player, waits after a
// configuration datagram). Tests replace them to run without waiting or to record them.

namespace hvk32::platform {

class Pauses {
public:
    virtual ~Pauses() = default;
    virtual void pause(int milliseconds);
};

// The process's real pauses.
Pauses& systemPauses();

} // namespace hvk32::platform
