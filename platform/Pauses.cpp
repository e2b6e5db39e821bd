#include "platform/Pauses.h"

#include <chrono>
#include <thread>

namespace hvk32::platform {

void Pauses::pause(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Pauses& systemPauses()
{
    static Pauses pauses;
    return pauses;
}

} // namespace hvk32::platform
