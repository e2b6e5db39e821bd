#pragma once
// A file written under a temporary name beside its target ("scan.las.1234-0.part") and
// renamed to the target only when commit() succeeds, so a failed or interrupted export
// leaves no file that looks whole, and an older file of the target's name stays as it was
// until the new one is complete. Small writes are buffered, large ones go straight to the
// file; every failure keeps the system's reason ("No space left on device").
//
// A target that exists and is not a regular file (a FIFO, /dev/null, a terminal) is written
// in place and never replaced; a folder is refused. Such an output may take no bytes for a
// while (a FIFO waits for its reader): the wait set with setOutputWait() can end it.
//
// A file opened with write-behind hands its bytes to a thread of its own (WritingThread), so a
// long export prepares its next frame while the system copies the last one into the file. A
// failed write is then reported by the next call after it; commit() reports every one.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hvk32::pointfile {

class WritingThread;

class OutputFile {
public:
    enum class Writing { Direct, Behind };

    // Waits up to `timeoutMs` until descriptor `fd` takes bytes (fd -1: only the time);
    // false gives the write up as interrupted (a stop signal).
    using OutputWait = bool (*)(int fd, int timeoutMs);
    // For every output file of the program. Without one a FIFO without a reader fails at
    // once, and a write waits as long as the output takes nothing.
    static void setOutputWait(OutputWait wait);

    // Whether `target` can be written, before any work: a folder cannot, a regular file or a
    // new one needs a temporary file beside it (made and removed here), another existing
    // file needs write permission, and with `seeks` it must not be a FIFO or a socket.
    // False with *error set as error() would say it.
    static bool checkTarget(const std::string& target, bool seeks, std::string* error);

    explicit OutputFile(Writing writing = Writing::Direct);
    ~OutputFile(); // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `target`, or opens `target` itself when it exists and
    // is not a regular file.
    bool open(const std::string& target);
    // Creates or empties `target` itself and writes there, without a temporary name, so what
    // was written stays in place if the program dies (a recording); commit() only closes. A
    // target that exists and is not a regular file is opened as open() opens it. Direct
    // writing only.
    bool openTarget(const std::string& target);
    // Drops what is buffered and cuts the file back to its first `size` bytes, writing on from
    // there, and forgets a failure, so a writer can end a file at its last whole part after a
    // write failed (a full disk). Direct writing of a regular file only.
    bool truncate(std::uint64_t size);
    bool write(const void* data, std::size_t size);
    // Writes all of `block` and leaves it empty to be filled again; with write-behind the
    // block itself goes to the writing thread and another comes back, so nothing is copied.
    bool writeBlock(std::vector<char>& block);
    // Writes over bytes written before, at `offset` from the start (a header completed last).
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // Writes what is buffered now (handed to the writing thread with write-behind).
    bool flush();
    // Writes what is buffered, closes and renames the file to its target.
    bool commit();
    // Closes and removes the temporary file.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    // The target is written in place (it is not a regular file, or openTarget() opened it).
    bool inPlace() const { return inPlace_; }
    const std::string& target() const { return target_; }
    // "<target> cannot be written: <reason>" after a failure, else empty.
    const std::string& error() const { return error_; }

private:
    bool writeAll(const char* p, std::size_t size);
    bool behindFailed();
    bool settleBehind(); // waits for the writing thread; false with error() set if a write failed
    bool fail(int reason);
    bool openInPlace();

    const Writing writing_;
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool inPlace_ = false;
    std::vector<char> block_; // small writes gathered; its room is kept for the next files
    std::unique_ptr<WritingThread> behind_; // from open() to commit() or discard(), with write-behind
    std::string error_;
};

} // namespace hvk32::pointfile
