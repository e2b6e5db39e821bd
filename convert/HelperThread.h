#pragma once
// A second thread that runs one job at a time for its owner: the owner starts a job, does its
// own share of the work, then waits for the job. The thread starts with the first job and is
// stopped and joined when the helper goes.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace hvk32 {

class HelperThread {
public:
    HelperThread() = default;
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Runs `job` on the helper's thread; the job and what it reads must outlive wait().
    void start(std::function<void()> job);
    // Returns once the started job has finished (at once if none was started).
    void wait();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace hvk32
