#pragma once
// Tells when a connected device has gone quiet: a factory reset that moves it to other ports,
// a pulled cable. Fed at each status tick with the datagrams received so far (both ports
// together), it reports how long nothing has arrived once that reaches kQuietAfterMs, and
// nothing again as soon as the count moves. Plain object: the caller passes the times.

#include <cstdint>

namespace hvk32 {

class DataSilence {
public:
    // With the status refreshed every 500 ms, the window says so within 2.5 s.
    static constexpr std::int64_t kQuietAfterMs = 2000;

    // Starts watching (Connect): the quiet time counts from now.
    void start(std::int64_t nowMs, std::uint64_t received);
    // Stops watching (Disconnect, a capture plays): nothing is reported any more.
    void stop() { watching_ = false; }
    bool isWatching() const { return watching_; }

    // Takes the received total at nowMs and returns the whole seconds nothing has arrived
    // for, or 0 while data arrives, before kQuietAfterMs has passed, or when not watching.
    int sample(std::int64_t nowMs, std::uint64_t received);

private:
    bool watching_ = false;
    std::uint64_t received_ = 0;
    std::int64_t lastArrivalMs_ = 0;
};

} // namespace hvk32
