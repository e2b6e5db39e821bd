#include "io/WritingThread.h"

#include <utility>

namespace hvk32::pointfile {

WritingThread::WritingThread(Write write) : write_(std::move(write))
{
    thread_ = std::thread([this] { run(); });
}

WritingThread::~WritingThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool WritingThread::submit(const std::string& path, const std::string& header, std::vector<char>& body,
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

std::size_t WritingThread::settle()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !writing_; });
    return written_;
}

std::string WritingThread::error()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void WritingThread::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        writing_ = true;
        lock.unlock();
        const std::string failure = write_(piece);
        piece.body.clear();
        lock.lock();
        writing_ = false;
        if (failure.empty()) {
            ++written_;
        } else if (error_.empty()) {
            error_ = failure;
            waiting_.clear(); // nothing after a lost piece may reach the disk
        }
        spare_.push_back(std::move(piece.body));
        changed_.notify_all();
    }
}

} // namespace hvk32::pointfile
