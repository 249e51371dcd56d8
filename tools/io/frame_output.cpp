// The output file: opened at the first frame, cut back to the last whole one.
#include "io/frame_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "io/byte_io.h"

namespace trelvane::cli {

FrameOutput::FrameOutput(std::string path, int fd) : path_(std::move(path)), fd_(path_ == "-" ? fd : -1) {}

FrameOutput::~FrameOutput() { Close(); }

int FrameOutput::Open() {
    if (opened_) return 0;
    if (fd_ < 0) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            openFailed_ = true;
            return errno;
        }
        owned_ = true;
    }
    opened_ = true;
    struct stat st{};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (regular_) {
        // Standard output may be a file opened for appending, or already
        // holding something this run must not cut into.
        const int flags = ::fcntl(fd_, F_GETFL);
        base_ = flags >= 0 && (flags & O_APPEND) != 0 ? st.st_size : ::lseek(fd_, 0, SEEK_CUR);
        regular_ = base_ >= 0;
    }
    if (prologue_.empty()) return 0;
    const int e = WriteAll(fd_, prologue_.data(), prologue_.size());
    written_ += static_cast<int64_t>(prologue_.size());
    if (e == 0) EndFrame();
    return e;
}

int FrameOutput::Write(const void* data, size_t bytes) {
    if (const int e = Open(); e != 0) return e;
    // Counted as written whether or not it all was: a cut goes back to the
    // last complete frame in either case.
    written_ += static_cast<int64_t>(bytes);
    return WriteAll(fd_, data, bytes);
}

bool FrameOutput::CutBack() {
    if (!opened_ || !regular_) return false;
    if (written_ == complete_) return true;
    const off_t end = base_ + static_cast<off_t>(complete_);
    if (::ftruncate(fd_, end) != 0) return false;
    written_ = complete_;
    return true;
}

int FrameOutput::Close() {
    if (!owned_) return 0;
    owned_ = false;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
}

}  // namespace trelvane::cli
