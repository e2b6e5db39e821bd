#include "cli/StandardOutput.h"

#include "platform/SignalHandling.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace hvk32::cli {

namespace {

// A closed pipe shows as EPIPE, or as SIGPIPE where the command catches it.
bool readerWentAway(int error)
{
    return error == EPIPE || platform::stopSignalNumber() == SIGPIPE;
}

} // namespace

StandardOutput::StandardOutput(const char* command) : command_(command)
{
    struct stat s {};
    const bool file = ::fstat(STDOUT_FILENO, &s) == 0 && S_ISREG(s.st_mode);
    chunk_ = file ? std::numeric_limits<std::size_t>::max() : PIPE_BUF;
}

// Writes straight to the descriptor, after what stdio holds. Each piece waits until the output
// takes it without blocking, so a stop signal is seen while a reader does not read.
bool StandardOutput::writeAll(const char* p, std::size_t size)
{
    if (std::fflush(stdout) != 0)
        return false;
    while (size > 0) {
        pollfd ready{STDOUT_FILENO, POLLOUT, 0};
        if (::poll(&ready, 1, 0) == 0 && !platform::waitForWritableUnlessStopped(STDOUT_FILENO, -1)) {
            closed_ = true; // stopped: ends the output as a reader that went away does
            return false;
        }
        const ssize_t n = ::write(STDOUT_FILENO, p, std::min(size, chunk_));
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool StandardOutput::check(bool written)
{
    if (written && std::fflush(stdout) == 0)
        return true;
    if (closed_)
        return false; // stopped while the output waited
    const int error = errno;
    if (readerWentAway(error))
        closed_ = true;
    else if (error_.empty())
        error_ = error ? std::strerror(error) : "write failed";
    return false;
}

bool StandardOutput::write(const void* data, std::size_t size)
{
    if (closed_ || failed())
        return false;
    return check(writeAll(static_cast<const char*>(data), size));
}

bool StandardOutput::print(const char* format, ...)
{
    if (closed_ || failed())
        return false;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return length >= 0 && write(text);
}

int StandardOutput::finish(int rc)
{
    if (!closed_ && !failed())
        check(true);
    if (!failed())
        return rc;
    std::fprintf(stderr, "hvk32-cli %s: cannot write to standard output: %s\n", command_, error_.c_str());
    return 1;
}

int finishStandardOutput(int rc)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    // A command that failed has said why already.
    if ((flushed && !std::ferror(stdout)) || readerWentAway(error) || rc != 0)
        return rc;
    std::fprintf(stderr, "hvk32-cli: cannot write to standard output: %s\n",
                 flushed || !error ? "a write failed" : std::strerror(error));
    return 1;
}

} // namespace hvk32::cli
