#include "view/DataSilence.h"

namespace hvk32 {

void DataSilence::start(std::int64_t nowMs, std::uint64_t received)
{
    watching_ = true;
    received_ = received;
    lastArrivalMs_ = nowMs;
}

int DataSilence::sample(std::int64_t nowMs, std::uint64_t received)
{
    if (!watching_)
        return 0;
    // Any change counts as an arrival: a receiver that restarts may count from 0 again.
    if (received != received_) {
        received_ = received;
        lastArrivalMs_ = nowMs;
        return 0;
    }
    const std::int64_t quietMs = nowMs - lastArrivalMs_;
    if (quietMs < kQuietAfterMs)
        return 0;
    return static_cast<int>(quietMs / 1000);
}

} // namespace hvk32
