#pragma once
// Writes whole files (a header, then a body of packed records) on a thread of its own, in the
// order they were handed over, so that a frame-per-file export converts its next frame while
// the system copies the last one into its file. Each file goes through writeWhole, so one that
// fails leaves nothing that looks whole; the files queued behind a failed one are not written.
// Bodies are moved in and spare ones handed back: nothing is copied per file.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hvk32::pointfile {

class FileQueue {
public:
    FileQueue();  // starts the thread
    ~FileQueue(); // finishes the file being written, drops those queued behind it, joins
    FileQueue(const FileQueue&) = delete;
    FileQueue& operator=(const FileQueue&) = delete;

    // Queues `path` as `header` and the first `bodyBytes` bytes of `body`, and leaves a spare
    // body in its place. False, with nothing queued, once a file has failed.
    bool submit(const std::string& path, const std::string& header, std::vector<char>& body, std::size_t bodyBytes);
    // Waits until every queued file is written or dropped; the files written since the start.
    std::size_t settle();
    // "<path> cannot be written: <reason>" for the file that failed, else empty.
    std::string error();

private:
    struct File {
        std::string path;
        std::string header;
        std::vector<char> body;
    };

    void run();

    static constexpr std::size_t kMaxWaiting = 2;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<File> waiting_;
    std::vector<std::vector<char>> spare_;
    bool writing_ = false;
    bool stopping_ = false;
    std::size_t written_ = 0;
    std::string error_;
    std::thread thread_;
};

} // namespace hvk32::pointfile
