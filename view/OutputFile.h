#pragma once
// A file written under a temporary name beside its target ("scan.las.1234-0.part") and
// renamed to the target only when commit() succeeds, so a failed or interrupted export
// leaves no file that looks whole, and an older file of the target's name stays as it was
// until the new one is complete. Small writes are buffered, large ones go straight to the
// file; every failure keeps the system's reason ("No space left on device").

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hvk32::pointfile {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `target`.
    bool open(const std::string& target);
    bool write(const void* data, std::size_t size);
    // Writes over bytes written before, at `offset` from the start (a header completed last).
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // Writes what is buffered, closes and renames the file to its target.
    bool commit();
    // Closes and removes the temporary file.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& target() const { return target_; }
    // "<target> cannot be written: <reason>" after a failure, else empty.
    const std::string& error() const { return error_; }

private:
    bool flush();
    bool writeAll(const char* p, std::size_t size);
    bool fail(int reason);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_; // made at the first small write, kept for the next files
    std::size_t buffered_ = 0;
    std::string error_;
};

} // namespace hvk32::pointfile
