#pragma once
// Writes blocks to an open file descriptor on a thread of its own, in the order they were
// handed over, so that the system's copy into the file overlaps the caller preparing the next
// block. Blocks are moved in and empty ones (with their capacity) handed back, so nothing is
// copied or allocated per block once a few have gone round. At most two blocks wait; a caller
// ahead of the disk waits for one to be written.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace hvk32::pointfile {

// Writes all of `size` bytes at `data` to `fd`, resuming after signals; the errno of a
// failure (EIO for a write that took nothing), else 0.
int writeFully(int fd, const void* data, std::size_t size);

class WriteBehind {
public:
    explicit WriteBehind(int fd); // starts the thread; the descriptor stays the caller's
    ~WriteBehind();              // stops and joins the thread; blocks not yet written are dropped
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues `block` behind those before it and leaves an empty block in its place. False,
    // with nothing queued, once a write has failed.
    bool submit(std::vector<char>& block);
    // Waits until every queued block is written; false if any write failed.
    bool drain();
    // The errno of the first failed write, else 0.
    int error();

private:
    void run();

    static constexpr std::size_t kMaxWaiting = 2;

    const int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> waiting_;
    std::vector<std::vector<char>> spare_; // written blocks, emptied, to hand back
    bool writing_ = false;
    bool stopping_ = false;
    int error_ = 0;
    std::thread thread_;
};

} // namespace hvk32::pointfile
