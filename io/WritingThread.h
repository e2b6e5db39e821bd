#pragma once
// Writes on a thread of its own, in the order the pieces were handed over, so that the caller
// prepares the next piece while the system copies the last one into its file. Each piece is a
// body of bytes, with a path and a header for writers that make one file per piece. Bodies are
// moved in and emptied ones handed back, so nothing is copied or allocated per piece once a
// few have gone round. At most two pieces wait; a caller ahead of the disk waits for one to be
// written. After a failed piece, those queued behind it are dropped.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hvk32::pointfile {

class WritingThread {
public:
    struct Piece {
        std::string path;
        std::string header;
        std::vector<char> body;
    };
    // Writes one piece: empty when it did, else the message of what went wrong.
    using Write = std::function<std::string(Piece&)>;

    explicit WritingThread(Write write); // starts the thread
    ~WritingThread(); // finishes the piece being written, drops those behind it, joins
    WritingThread(const WritingThread&) = delete;
    WritingThread& operator=(const WritingThread&) = delete;

    // Queues a piece of `body` (its first `bodyBytes` bytes) and leaves a spare body in its
    // place. False, with nothing queued, once a piece has failed.
    bool submit(const std::string& path, const std::string& header, std::vector<char>& body, std::size_t bodyBytes);
    // Waits until every queued piece is written or dropped; the pieces written since the start.
    std::size_t settle();
    // The message of the piece that failed, else empty.
    std::string error();

private:
    void run();

    static constexpr std::size_t kMaxWaiting = 2;

    const Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;
    std::vector<std::vector<char>> spare_;
    bool writing_ = false;
    bool stopping_ = false;
    std::size_t written_ = 0;
    std::string error_;
    std::thread thread_;
};

} // namespace hvk32::pointfile
