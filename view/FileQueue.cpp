#include "view/FileQueue.h"

#include "view/PointFileOutput.h"

#include <utility>

namespace hvk32::pointfile {

FileQueue::FileQueue()
{
    thread_ = std::thread([this] { run(); });
}

FileQueue::~FileQueue()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool FileQueue::submit(const std::string& path, const std::string& header, std::vector<char>& body,
                       std::size_t bodyBytes)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !error_.empty() || waiting_.size() < kMaxWaiting; });
    if (!error_.empty())
        return false;
    body.resize(bodyBytes);
    waiting_.push_back({path, header, std::move(body)});
    if (spare_.empty()) {
        body = std::vector<char>();
    } else {
        body = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
    return true;
}

std::size_t FileQueue::settle()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !writing_; });
    return written_;
}

std::string FileQueue::error()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void FileQueue::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        File file = std::move(waiting_.front());
        waiting_.pop_front();
        writing_ = true;
        lock.unlock();
        std::string failure;
        const bool written = writeWhole(file.path, file.header, file.body, file.body.size(), &failure);
        file.body.clear();
        lock.lock();
        writing_ = false;
        if (written) {
            ++written_;
        } else if (error_.empty()) {
            error_ = failure;
            waiting_.clear(); // a later frame's file must not stand without this one
        }
        spare_.push_back(std::move(file.body));
        changed_.notify_all();
    }
}

} // namespace hvk32::pointfile
