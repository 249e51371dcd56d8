#include "stream_common.h"

#include <thread>

#include "byte_io.h"

namespace trelvane::cli {

void PrintError(std::FILE* err, const std::string& message) {
    std::fprintf(err, "trelvane: %s\n", message.c_str());
    std::fflush(err);
}

int WorkerCount(const ToolOptions& options) {
    if (options.threads > 0) return options.threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores < 256 ? cores : 256);
}

size_t SlotCount(int workers) {
    return workers <= 1 ? 1 : 2 * static_cast<size_t>(workers);
}

int64_t ExpectedFrames(int64_t payloadBytes, int64_t bytesPerFrame, int64_t maxFrames) {
    if (payloadBytes < 0 || bytesPerFrame <= 0) return maxFrames;
    const int64_t frames = payloadBytes / bytesPerFrame;
    return maxFrames >= 0 && maxFrames < frames ? maxFrames : frames;
}

int FinishRun(const PipelineResult& result, std::FILE* err) {
    switch (result.outcome) {
        case PipelineResult::Outcome::kDone:
            return kExitOk;
        case PipelineResult::Outcome::kReadError:
            PrintError(err, result.readError);
            return kExitBadInput;
        case PipelineResult::Outcome::kProcessError:
            PrintError(err, result.processError);
            return kExitBadInput;
        case PipelineResult::Outcome::kWriteError:
            PrintError(err, DescribeWriteError(result.writeErrno));
            return kExitBadInput;
    }
    return kExitBadInput;
}

}  // namespace trelvane::cli
