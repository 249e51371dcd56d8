// Byte streams under the readers and writers: a file descriptor or a block of
// memory in, a file descriptor out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trelvane::cli {

// Something bytes are read from. Read returns the number of bytes read (0 at
// the end), or -1 with errno set.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual ptrdiff_t Read(void* dst, size_t bytes) = 0;
};

class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    ptrdiff_t Read(void* dst, size_t bytes) override;

private:
    int fd_;
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

// Writes whole blocks to a file descriptor, retrying short writes. Returns 0,
// or the errno of the failure (EPIPE when the reader has gone away).
int WriteAll(int fd, const void* data, size_t bytes);

// "Broken pipe" wording for EPIPE, strerror otherwise.
std::string DescribeWriteError(int error);

}  // namespace trelvane::cli
