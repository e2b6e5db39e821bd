#include "acquisition/ReplayPacing.h"

#include <cmath>

namespace hvk32 {

std::int64_t ReplayPacing::dueMicros(double recordSeconds)
{
    if (speed_ <= 0)
        return 0;
    if (!started_ || recordSeconds < lastTime_) {
        started_ = true;
        base_ = recordSeconds;
        passStart_ = lastDue_;
    }
    lastTime_ = recordSeconds;
    const auto due = passStart_ + static_cast<std::int64_t>(std::llround((recordSeconds - base_) * 1e6 / speed_));
    if (due > lastDue_)
        lastDue_ = due;
    return lastDue_;
}

} // namespace hvk32
