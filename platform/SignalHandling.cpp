#include "platform/SignalHandling.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

namespace hvk32::platform {

namespace {

// Process-wide by nature: the signal disposition is. Written by the handler only.
std::atomic<int> receivedSignal{0};
int wakePipe[2] = {-1, -1};
std::once_flag pipeOnce;
bool pipeReady = false;

static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

void onStopSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    receivedSignal.compare_exchange_strong(none, signal);
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        // Non-blocking: a full pipe already wakes every reader.
        [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    }
    errno = savedErrno;
}

bool makePipe()
{
    std::call_once(pipeOnce, [] {
        if (::pipe(wakePipe) != 0)
            return;
        for (int fd : wakePipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        pipeReady = true;
    });
    return pipeReady;
}

bool catchSignal(int signal)
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(signal, &action, nullptr) != 0)
        return false;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    return ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr) == 0;
}

} // namespace

bool installStopSignalHandling()
{
    const bool piped = makePipe();
    const bool interrupt = catchSignal(SIGINT);
    const bool terminate = catchSignal(SIGTERM);
    return piped && interrupt && terminate;
}

bool stopOnBrokenPipe()
{
    return makePipe() && catchSignal(SIGPIPE);
}

bool stopSignalReceived()
{
    return receivedSignal.load() != 0;
}

int stopSignalNumber()
{
    return receivedSignal.load();
}

bool waitForStopSignal(int timeoutMs)
{
    if (stopSignalReceived() || !pipeReady)
        return stopSignalReceived();
    pollfd readable{wakePipe[0], POLLIN, 0};
    while (::poll(&readable, 1, timeoutMs) < 0 && errno == EINTR) {
        if (stopSignalReceived())
            break;
    }
    return stopSignalReceived();
}

bool waitForWritableUnlessStopped(int fd, int timeoutMs)
{
    if (stopSignalReceived())
        return false;
    pollfd waits[2] = {{fd, POLLOUT, 0}, {pipeReady ? wakePipe[0] : -1, POLLIN, 0}};
    while (::poll(waits, 2, timeoutMs) < 0 && errno == EINTR) {
        if (stopSignalReceived())
            break;
    }
    return !stopSignalReceived();
}

void watchStopSignal(QObject* owner, std::function<void(int signal)> onStop)
{
    if (!pipeReady)
        return;
    auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, owner);
    // The pipe is never drained: once a signal arrived, every watcher and waiter sees it.
    // The notifier is disabled after its one call so the loop does not spin on it.
    auto fire = [notifier, onStop = std::move(onStop)]() {
        if (!notifier->isEnabled())
            return;
        notifier->setEnabled(false);
        onStop(stopSignalNumber());
    };
    QObject::connect(notifier, &QSocketNotifier::activated, owner, fire);
    if (stopSignalReceived())
        QTimer::singleShot(0, owner, fire);
}

} // namespace hvk32::platform
