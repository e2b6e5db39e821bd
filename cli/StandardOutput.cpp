#include "cli/StandardOutput.h"

#include "platform/SignalHandling.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace hvk32::cli {

namespace {

// A closed pipe shows as EPIPE, or as SIGPIPE where the command catches it.
bool readerWentAway(int error)
{
    return error == EPIPE || platform::stopSignalNumber() == SIGPIPE;
}

} // namespace

bool StandardOutput::check(bool written)
{
    if (written && std::fflush(stdout) == 0)
        return true;
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
    return check(std::fwrite(data, 1, size, stdout) == size);
}

bool StandardOutput::print(const char* format, ...)
{
    if (closed_ || failed())
        return false;
    std::va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stdout, format, args);
    va_end(args);
    return check(written >= 0);
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
