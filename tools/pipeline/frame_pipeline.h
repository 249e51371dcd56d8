// Reads frames, filters them on a pool of workers and writes them in input
// order. Every buffer is allocated before the first frame; the steady state
// allocates nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/yc_frame.h"

namespace trelvane::cli {

// One frame in flight, edited in place and written back: y4m frames as
// bytes with their frame-header parameters, YC48 frames as pixels.
struct FrameSlot {
    std::vector<uint8_t> bytes;
    std::vector<PIXEL_YC> pixels;
    std::string params;
    int64_t index = -1;  // 0-based frame number
};

enum class ReadStatus { kFrame, kEnd, kError };

struct PipelineHooks {
    // Called one frame at a time, in frame order (on any worker's thread).
    // On kError sets the message.
    std::function<ReadStatus(FrameSlot& slot, std::string& error)> read;
    // Called on worker `worker` (0 .. workers-1); false: the frame could not
    // be filtered, and the message says why.
    std::function<bool(FrameSlot& slot, int worker, std::string& error)> process;
    // Called one frame at a time, in frame order (on any worker's thread);
    // returns 0 or an errno.
    std::function<int(FrameSlot& slot)> write;
    // Called after each frame has been written, before the next is.
    std::function<void(int64_t framesWritten)> written;
    // Optional: true once the run should read no more frames. The frames
    // already read are still filtered and written, and a read that fails
    // after the stop was asked for counts as the end of the input.
    std::function<bool()> stopRequested;
    // Optional: called on the calling thread when fewer worker threads than
    // asked for could be started; the run goes on with `running` workers.
    std::function<void(int running, int wanted, const std::string& reason)> fewerWorkers;
};

// Starts a thread running `work`; throws std::system_error when it cannot.
// Tests substitute one that fails.
using ThreadStarter = std::function<std::thread(std::function<void()> work)>;

struct PipelineResult {
    // kProcessError also stands for an exception thrown by a hook.
    enum class Outcome { kDone, kReadError, kProcessError, kWriteError };
    Outcome outcome = Outcome::kDone;
    std::string readError;   // kReadError
    std::string processError;  // kProcessError: "frame N: ..."
    int writeErrno = 0;      // kWriteError
    int64_t framesWritten = 0;
};

// Runs the stream to its end or to the first failure. Every frame read
// before a read failure is filtered and written first. `slots` are sized by
// the caller (at least `workers`; twice as many let a worker go on while an
// older frame is still being filtered); with one worker everything runs on
// the calling thread, which is also the first worker otherwise. Workers whose
// thread cannot be started are left out (the calling thread always works);
// the frames written are the same.
PipelineResult RunFramePipeline(int workers, std::vector<FrameSlot>& slots, const PipelineHooks& hooks,
                                 const ThreadStarter& startThread = {});

}  // namespace trelvane::cli
