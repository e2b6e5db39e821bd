#pragma once
// Standard output of the command line's commands. Each write is flushed and checked: a
// reader that went away (a closed pipe) ends the command quietly, as a stop signal does;
// any other failure (a full disk, /dev/full) is an error, reported once on stderr with its
// reason, and the command exits 1. A pipe whose reader does not read holds a write only until
// a stop signal, which ends the output as a closed pipe does.

#include <cstddef>
#include <string>

namespace hvk32::cli {

class StandardOutput {
public:
    // `command` names the command in the message ("frames").
    explicit StandardOutput(const char* command);

    // Writes and flushes; false when nothing more can be written.
    bool write(const void* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // A write failed other than by a closed pipe.
    bool failed() const { return !error_.empty(); }
    // Flushes what is left. After a failure says why on stderr and returns 1; else `rc`.
    int finish(int rc);

private:
    bool check(bool written);
    bool writeAll(const char* p, std::size_t size);

    const char* command_;
    std::size_t chunk_; // bytes written at once: a pipe takes at most PIPE_BUF without waiting
    std::string error_;
    bool closed_ = false; // the reader went away
};

// For main(), after any command: flushes standard output and returns 1 with a message when
// a write to it failed other than by a closed pipe (help texts, summaries) and the command
// had not failed already; else `rc`.
int finishStandardOutput(int rc);

} // namespace hvk32::cli
