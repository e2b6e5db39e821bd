#include "view/OutputFile.h"

#include "view/WritingThread.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace hvk32::pointfile {

namespace {

constexpr std::size_t kBufferSize = std::size_t(1) << 20;
constexpr std::size_t kDirectWrite = std::size_t(64) << 10; // larger writes skip the buffer
constexpr int kNameAttempts = 1000; // temporary names tried before giving up
constexpr mode_t kFileMode = 0666;  // less the umask, as any new file

// Writes all of `size` bytes at `p` to `fd`, resuming after signals; the errno of a failure
// (EIO for a write that took nothing), else 0.
int writeFully(int fd, const char* p, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
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
    int reason = EEXIST;
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
        ::unlink(temporary_.c_str());
        return false;
    }
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
