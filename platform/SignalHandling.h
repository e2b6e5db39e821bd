#pragma once
// Stop signals (SIGINT, SIGTERM) for every program of the system. Installed once, first
// thing in main(), before any socket or file is opened, so a signal that arrives during
// start-up is kept rather than lost or fatal. The handler only records the signal and
// writes a byte to a pipe: plain loops ask stopSignalReceived() or wait in
// waitForStopSignal(); Qt programs get a call in their event loop from watchStopSignal().

#include <functional>

class QObject;

namespace hvk32::platform {

// Catches SIGINT and SIGTERM, also where they were inherited as ignored (a script's
// background job) or blocked. Safe to call more than once. False when the pipe or a
// handler could not be set up.
bool installStopSignalHandling();

// Treats SIGPIPE (the reader of our output went away) as a stop signal too.
bool stopOnBrokenPipe();

bool stopSignalReceived();
// The first stop signal received, 0 while there was none.
int stopSignalNumber();

// Waits up to `timeoutMs` (negative: without limit) for a stop signal; true when one has
// arrived, now or earlier.
bool waitForStopSignal(int timeoutMs);

// Waits up to `timeoutMs` (negative: without limit) until the descriptor `fd` takes bytes
// (with fd -1, only the time passes); false when a stop signal has arrived, now or earlier.
// For writes to pipes and FIFOs, whose other end may not read for a long time.
bool waitForWritableUnlessStopped(int fd, int timeoutMs);

// Calls `onStop` with the signal number in `owner`'s thread, from its event loop, once a
// stop signal has arrived (at once on the next loop pass when one arrived earlier). The
// watcher lives as long as `owner`.
void watchStopSignal(QObject* owner, std::function<void(int signal)> onStop);

} // namespace hvk32::platform
