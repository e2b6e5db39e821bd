#include "view/WriteBehind.h"

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace hvk32::pointfile {

int writeFully(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
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

WriteBehind::WriteBehind(int fd) : fd_(fd)
{
    thread_ = std::thread([this] { run(); });
}

WriteBehind::~WriteBehind()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool WriteBehind::submit(std::vector<char>& block)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return error_ != 0 || waiting_.size() < kMaxWaiting; });
    if (error_ != 0)
        return false;
    waiting_.push_back(std::move(block));
    if (spare_.empty()) {
        block = std::vector<char>();
    } else {
        block = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool WriteBehind::drain()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return error_ != 0 || (waiting_.empty() && !writing_); });
    return error_ == 0;
}

int WriteBehind::error()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void WriteBehind::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        std::vector<char> block = std::move(waiting_.front());
        waiting_.pop_front();
        writing_ = true;
        lock.unlock();
        const int failure = writeFully(fd_, block.data(), block.size());
        block.clear();
        lock.lock();
        writing_ = false;
        if (failure != 0 && error_ == 0) {
            error_ = failure;
            waiting_.clear(); // nothing after a lost block may reach the file
        }
        spare_.push_back(std::move(block));
        changed_.notify_all();
    }
}

} // namespace hvk32::pointfile
