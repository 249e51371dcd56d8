// Byte sources, buffered reading, whole writes, and the stop signals.
#include "io/byte_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace trelvane::cli {

namespace {

std::atomic<int> gStopSignal{0};
// A pipe the stop handler writes one byte into; never drained, so once a
// stop has been asked for its read end stays readable for every waiter.
int gWakeRead = -1;
int gWakeWrite = -1;

static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set in a signal handler");

void OnStopSignal(int signal) {
    int none = 0;
    if (!gStopSignal.compare_exchange_strong(none, signal)) {
        // Asked twice: stop now, the default way.
        struct sigaction plain{};
        plain.sa_handler = SIG_DFL;
        ::sigaction(signal, &plain, nullptr);
        ::raise(signal);
        return;
    }
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t put = ::write(gWakeWrite, &byte, 1);
    errno = saved;
}

// Waits until `fd` can be read or a stop has been asked for; false for a stop.
bool WaitReadable(int fd) {
    while (gStopSignal.load() == 0) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {gWakeRead, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR) return true;  // let read() report it
        if (ready > 0 && fds[0].revents != 0) return true;
    }
    return false;
}

}  // namespace

void InstallStopHandlers() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        gWakeRead = ends[0];
        gWakeWrite = ends[1];
    }
    // No SA_RESTART: a read or write under way returns EINTR, and the
    // loops above and below look at the flag.
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return gStopSignal.load(); }

FdSource::FdSource(int fd) : fd_(fd) {
    struct stat st{};
    mayBlock_ = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
}

ptrdiff_t FdSource::Read(void* dst, size_t bytes) {
    for (;;) {
        // Without the handlers there is nothing to wait for but the input.
        if (mayBlock_ && gWakeRead >= 0 && !WaitReadable(fd_)) return 0;
        const ssize_t got = ::read(fd_, dst, bytes);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

ptrdiff_t MemorySource::Read(void* dst, size_t bytes) {
    const size_t n = bytes < size_ - pos_ ? bytes : size_ - pos_;
    if (n > 0) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return static_cast<ptrdiff_t>(n);
}

BufferedReader::BufferedReader(ByteSource& source, size_t bufferBytes)
    : source_(source), buffer_(bufferBytes) {}

bool BufferedReader::Fill() {
    if (failed_) return false;
    begin_ = 0;
    end_ = 0;
    const ptrdiff_t got = source_.Read(buffer_.data(), buffer_.size());
    if (got < 0) {
        failed_ = true;
        error_ = std::strerror(errno);
        return false;
    }
    end_ = static_cast<size_t>(got);
    return got > 0;
}

BufferedReader::LineResult BufferedReader::ReadLine(std::string& line, size_t maxBytes) {
    line.clear();
    bool any = false;
    for (;;) {
        if (begin_ == end_ && !Fill()) {
            if (failed_) return LineResult::kError;
            return any ? LineResult::kUnterminated : LineResult::kEnd;
        }
        any = true;
        const uint8_t* start = buffer_.data() + begin_;
        const size_t avail = end_ - begin_;
        const void* nl = std::memchr(start, '\n', avail);
        const size_t take = nl ? static_cast<size_t>(static_cast<const uint8_t*>(nl) - start) : avail;
        if (line.size() + take > maxBytes) return LineResult::kTooLong;
        line.append(reinterpret_cast<const char*>(start), take);
        begin_ += take;
        if (nl) {
            ++begin_;
            return LineResult::kLine;
        }
    }
}

size_t BufferedReader::ReadExact(void* dst, size_t bytes) {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    const size_t buffered = end_ - begin_ < bytes ? end_ - begin_ : bytes;
    if (buffered > 0) std::memcpy(out, buffer_.data() + begin_, buffered);
    begin_ += buffered;
    done += buffered;
    // Large remainders go straight into the destination.
    while (done < bytes && !failed_) {
        const ptrdiff_t got = source_.Read(out + done, bytes - done);
        if (got < 0) {
            failed_ = true;
            error_ = std::strerror(errno);
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

std::string_view BufferedReader::Peek(size_t bytes) {
    if (bytes > buffer_.size()) bytes = buffer_.size();
    if (end_ - begin_ < bytes && begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (!failed_ && end_ - begin_ < bytes) {
        const ptrdiff_t got = source_.Read(buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0) {
            failed_ = true;
            error_ = std::strerror(errno);
        }
        if (got <= 0) break;
        end_ += static_cast<size_t>(got);
    }
    return {reinterpret_cast<const char*>(buffer_.data() + begin_), end_ - begin_};
}

int WriteAll(int fd, const void* data, size_t bytes) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t put = ::write(fd, p, bytes);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd writable{fd, POLLOUT, 0};
                if (::poll(&writable, 1, -1) >= 0 || errno == EINTR) continue;
            }
            return errno;
        }
        p += put;
        bytes -= static_cast<size_t>(put);
    }
    return 0;
}

std::string DescribeWriteError(int error) {
    if (error == EPIPE) return "output closed by the reader";
    return std::string("cannot write output: ") + std::strerror(error);
}

}  // namespace trelvane::cli
