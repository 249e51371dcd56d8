// Byte streams under the readers and writers: a file descriptor or a block of
// memory in, a file descriptor out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trelvane::cli {

// Something bytes are read from. Read returns the number of bytes read (0 at
// the end), or -1 with errno set.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual ptrdiff_t Read(void* dst, size_t bytes) = 0;
};

// Reads a file descriptor. Once a stop has been asked for (StopSignal), a
// read of anything but a regular file ends the input instead of waiting for
// more bytes.
class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd);
    ptrdiff_t Read(void* dst, size_t bytes) override;

private:
    int fd_;
    bool mayBlock_;  // not a regular file: a read can wait indefinitely
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    ptrdiff_t Read(void* dst, size_t bytes) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Buffered reading of lines and blocks. Errors are sticky: after a failed read
// error() holds the reason.
class BufferedReader {
public:
    explicit BufferedReader(ByteSource& source, size_t bufferBytes = 1 << 16);

    enum class LineResult { kLine, kEnd, kTooLong, kUnterminated, kError };
    // Reads up to and without the next '\n'. kEnd: nothing was left; kTooLong:
    // no '\n' within maxBytes; kUnterminated: the input ended inside the line.
    LineResult ReadLine(std::string& line, size_t maxBytes);

    // Reads exactly `bytes` bytes unless the input ends or fails first;
    // returns the number read.
    size_t ReadExact(void* dst, size_t bytes);

    // The next `bytes` bytes (fewer when the input ends or fails first, or
    // the buffer is smaller), left to be read.
    std::string_view Peek(size_t bytes);

    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    bool Fill();

    ByteSource& source_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool failed_ = false;
    std::string error_;
};

// Writes whole blocks to a file descriptor, retrying short and interrupted
// writes, and waiting on a descriptor left non-blocking. Returns 0, or the
// errno of the failure (EPIPE when the reader has gone away).
int WriteAll(int fd, const void* data, size_t bytes);

// SIGINT and SIGTERM ask the tool to stop: the handler records the signal and
// wakes every FdSource waiting in a read; a second signal ends the process
// as it would have without the handler. Installed once, by main().
void InstallStopHandlers();

// The signal that asked the tool to stop, or 0.
int StopSignal();

// What a failed write means: the reader went away (EPIPE), or the reason.
std::string DescribeWriteError(int error);

}  // namespace trelvane::cli
