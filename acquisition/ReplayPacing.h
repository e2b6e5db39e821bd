#pragma once
// When each record of a replayed capture leaves: at its record time relative to the first
// record, divided by the speed. Plain, no clock: the caller waits.
//
// A record stamped earlier than the one before it (a clock step back in the capture) leaves
// at once after it, and the times after it count from there; a new pass of a looped replay
// starts where the last pass ended.

#include <cstdint>

namespace hvk32 {

class ReplayPacing {
public:
    // `speed` > 0: 2 plays twice as fast; 0: as fast as possible (every record due at once).
    explicit ReplayPacing(double speed) : speed_(speed) {}

    // When the record stamped `recordSeconds` is due, in microseconds from the start of the
    // replay. Called in file order; never less than the previous result.
    std::int64_t dueMicros(double recordSeconds);

    // The file starts again: its first record follows the last one of this pass.
    void restart() { started_ = false; }

private:
    double speed_;
    bool started_ = false;
    double base_ = 0;             // record time at passStart_
    std::int64_t passStart_ = 0;  // [us] when the record at base_ is due
    double lastTime_ = 0;
    std::int64_t lastDue_ = 0;
};

} // namespace hvk32
