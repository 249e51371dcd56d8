// The progress line on standard error: frames done and speed, plus percent
// and time left when the total is known. Redrawn at most a few times a
// second; silent unless enabled (stderr is a terminal and --quiet is off).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace trelvane::cli {

class Progress {
public:
    // total < 0: unknown.
    Progress(std::FILE* out, bool enabled, int64_t total);

    void FrameWritten(int64_t framesDone);
    // Draws the final state and ends the line, if anything was drawn.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    void Draw(int64_t framesDone, Clock::time_point now);

    std::FILE* out_;
    bool enabled_;
    int64_t total_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
    int64_t lastDone_ = 0;
    bool drawn_ = false;
    std::mutex mutex_;
};

}  // namespace trelvane::cli
