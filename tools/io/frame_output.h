// Where the filtered frames go: standard output, or a file that is opened
// (created or truncated) only when the first frame is ready to be written, or
// when the input has ended cleanly without one. So a run that fails before its
// first frame leaves an existing file as it was.
//
// The output knows where its last complete frame ends; after a failure a
// regular file is cut back there, so it never ends inside a frame.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace trelvane::cli {

class FrameOutput {
public:
    // path "-": the descriptor fd, which stays open; otherwise the file at
    // path, and fd is unused.
    FrameOutput(std::string path, int fd);
    ~FrameOutput();
    FrameOutput(const FrameOutput&) = delete;
    FrameOutput& operator=(const FrameOutput&) = delete;

    // Bytes written once, at the start of the output (the y4m stream header).
    void SetPrologue(std::string bytes) { prologue_ = std::move(bytes); }

    // Opens the file if that has not been done and writes the prologue.
    // Returns 0 or an errno; openFailed() tells the two failures apart.
    int Open();
    bool openFailed() const { return openFailed_; }
    const std::string& path() const { return path_; }

    // Writes part of a frame, opening the output first if need be; 0 or an
    // errno. EndFrame marks the end of a complete frame.
    int Write(const void* data, size_t bytes);
    void EndFrame() { complete_ = written_; }

    // After a failure: cuts a regular file back to its last complete frame.
    // True when the output is a regular file that now ends there.
    bool CutBack();

    // Closes a file this object opened; 0 or the errno of a failed close.
    int Close();

private:
    std::string path_;
    std::string prologue_;
    int fd_ = -1;
    bool owned_ = false;     // fd_ was opened here
    bool opened_ = false;
    bool openFailed_ = false;
    bool regular_ = false;   // a regular file, which can be cut back
    off_t base_ = 0;         // where the output starts in the file
    int64_t written_ = 0;    // bytes written
    int64_t complete_ = 0;   // bytes up to the end of the last complete frame
};

}  // namespace trelvane::cli
