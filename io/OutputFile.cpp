#include "io/OutputFile.h"

#include "io/WritingThread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hvk32::pointfile {

namespace {

constexpr std::size_t kBufferSize = std::size_t(1) << 20;
constexpr std::size_t kDirectWrite = std::size_t(64) << 10; // larger writes skip the buffer
constexpr int kNameAttempts = 1000; // temporary names tried before giving up
constexpr mode_t kFileMode = 0666;  // less the umask, as any new file
constexpr int kReaderPollMs = 50;   // between two looks for a FIFO's reader

std::atomic<OutputFile::OutputWait> outputWait{nullptr};

// The program's wait, or else the output's readiness (or the time) without an end of its own.
bool waitForOutput(int fd, int timeoutMs)
{
    if (const OutputFile::OutputWait wait = outputWait.load())
        return wait(fd, timeoutMs);
    pollfd ready{fd, POLLOUT, 0};
    ::poll(&ready, 1, timeoutMs);
    return true;
}

// Writes all of `size` bytes at `p` to `fd`, resuming after signals and waiting while an
// output written in place takes nothing; the errno of a failure (EIO for a write that took
// nothing, EINTR when the wait was given up), else 0.
int writeFully(int fd, const char* p, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitForOutput(fd, -1))
                return EINTR;
            continue;
        }
        if (n <= 0)
            return n < 0 ? errno : EIO;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string failureText(const std::string& target, int reason)
{
    return target + " cannot be written: " + std::strerror(reason);
}

} // namespace

void OutputFile::setOutputWait(OutputWait wait)
{
    outputWait = wait;
}

bool OutputFile::checkTarget(const std::string& target, bool seeks, std::string* error)
{
    struct stat s {};
    if (::stat(target.c_str(), &s) != 0 || S_ISREG(s.st_mode)) {
        OutputFile probe; // the temporary file open() makes, removed again
        const bool made = probe.open(target);
        if (!made && error)
            *error = probe.error();
        return made;
    }
    int reason = 0;
    if (S_ISDIR(s.st_mode))
        reason = EISDIR;
    else if (seeks && (S_ISFIFO(s.st_mode) || S_ISSOCK(s.st_mode)))
        reason = ESPIPE;
    else if (::access(target.c_str(), W_OK) != 0)
        reason = errno;
    if (reason && error)
        *error = reason == ESPIPE ? target + " cannot be written: it is a FIFO or a socket, and this file's header is "
                                             "written last"
                                  : failureText(target, reason);
    return reason == 0;
}

OutputFile::OutputFile(Writing writing) : writing_(writing) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::open(const std::string& target)
{
    discard();
    target_ = target;
    error_.clear();
    block_.clear();
    inPlace_ = false;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode))
            return fail(EISDIR);
        if (!openInPlace())
            return false;
    }
    int reason = fd_ >= 0 ? 0 : EEXIST;
    for (int n = 0; n < kNameAttempts && fd_ < 0 && reason == EEXIST; ++n) {
        temporary_ = target + "." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".part";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        reason = fd_ < 0 ? errno : 0;
    }
    if (fd_ < 0) {
        temporary_.clear();
        return fail(reason);
    }
    if (writing_ == Writing::Behind)
        behind_ = std::make_unique<WritingThread>([fd = fd_, target = target_](WritingThread::Piece& piece) {
            const int reason = writeFully(fd, piece.body.data(), piece.body.size());
            return reason == 0 ? std::string() : failureText(target, reason);
        });
    return true;
}

bool OutputFile::openTarget(const std::string& target)
{
    struct stat existing {};
    if (writing_ == Writing::Behind || (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)))
        return open(target);
    discard();
    target_ = target;
    error_.clear();
    block_.clear();
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
    if (fd_ < 0)
        return fail(errno);
    inPlace_ = true;
    return true;
}

bool OutputFile::truncate(std::uint64_t size)
{
    if (fd_ < 0 || behind_)
        return false;
    block_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
        return false;
    error_.clear();
    return true;
}

// Opens the target itself, without blocking: a FIFO without a reader is waited for, in
// steps, as long as the program's wait (when it has one) goes on.
bool OutputFile::openInPlace()
{
    for (;;) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            inPlace_ = true;
            return true;
        }
        if (errno == EINTR)
            continue;
        // ENXIO: a FIFO without a reader. Without a program's wait, that is a failure.
        if (errno != ENXIO || !outputWait.load())
            return fail(errno);
        if (!waitForOutput(-1, kReaderPollMs))
            return fail(EINTR);
    }
}

bool OutputFile::flush()
{
    if (block_.empty())
        return true;
    if (behind_)
        return behind_->submit({}, {}, block_, block_.size()) || behindFailed();
    if (!writeAll(block_.data(), block_.size()))
        return false;
    block_.clear();
    return true;
}

bool OutputFile::writeAll(const char* p, std::size_t size)
{
    const int reason = writeFully(fd_, p, size);
    return reason == 0 || fail(reason);
}

bool OutputFile::behindFailed()
{
    if (error_.empty())
        error_ = behind_->error();
    return false;
}

bool OutputFile::settleBehind()
{
    behind_->settle();
    return behind_->error().empty() || behindFailed();
}

bool OutputFile::write(const void* data, std::size_t size)
{
    if (fd_ < 0 || !error_.empty())
        return false;
    const char* p = static_cast<const char*>(data);
    // Written directly, a frame's records need no copy: what is buffered goes first, then they
    // follow. Written behind, they are copied, as the caller keeps its bytes.
    if (!behind_ && size >= kDirectWrite)
        return flush() && writeAll(p, size);
    if (block_.size() + size > kBufferSize && !flush())
        return false;
    if (block_.capacity() < kBufferSize)
        block_.reserve(kBufferSize);
    block_.insert(block_.end(), p, p + size);
    return true;
}

bool OutputFile::writeBlock(std::vector<char>& block)
{
    if (fd_ < 0 || !error_.empty())
        return false;
    if (!behind_) {
        const bool written = write(block.data(), block.size());
        block.clear();
        return written;
    }
    return (flush() && behind_->submit({}, {}, block, block.size())) || behindFailed();
}

bool OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size)
{
    if (fd_ < 0 || !error_.empty() || !flush())
        return false;
    if (behind_ && !settleBehind())
        return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitForOutput(fd_, -1))
                return fail(EINTR);
            continue;
        }
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::commit()
{
    if (fd_ < 0 || !error_.empty() || !flush())
        return false;
    if (behind_) {
        if (!settleBehind())
            return false;
        behind_.reset();
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fail(errno);
        if (!inPlace_)
            ::unlink(temporary_.c_str());
        return false;
    }
    if (inPlace_)
        return true;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(errno);
        ::unlink(temporary_.c_str());
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::discard()
{
    behind_.reset(); // joins its thread before the descriptor goes
    block_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool OutputFile::fail(int reason)
{
    if (error_.empty())
        error_ = failureText(target_, reason);
    return false;
}

} // namespace hvk32::pointfile
