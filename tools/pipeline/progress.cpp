// The progress line: frames, speed, percent and time left.
#include "pipeline/progress.h"

namespace trelvane::cli {

Progress::Progress(std::FILE* out, bool enabled, int64_t total)
    : out_(out), enabled_(enabled), total_(total), start_(Clock::now()), lastDraw_(start_) {}

void Progress::FrameWritten(int64_t framesDone) {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    lastDone_ = framesDone;
    const Clock::time_point now = Clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(250)) return;
    Draw(framesDone, now);
}

void Progress::Finish() {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    if (lastDone_ > 0) Draw(lastDone_, Clock::now());
    if (drawn_) std::fputc('\n', out_);
    std::fflush(out_);
}

void Progress::Draw(int64_t framesDone, Clock::time_point now) {
    lastDraw_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double fps = seconds > 0 ? static_cast<double>(framesDone) / seconds : 0.0;
    const long long done = static_cast<long long>(framesDone);
    if (total_ > 0) {
        const double percent = 100.0 * static_cast<double>(framesDone) / static_cast<double>(total_);
        const int64_t left = total_ > framesDone ? total_ - framesDone : 0;
        const long long eta = fps > 0 ? static_cast<long long>(static_cast<double>(left) / fps + 0.5) : 0;
        std::fprintf(out_, "\rtrelvane: %lld/%lld frames (%.1f%%), %.1f fps, %lld:%02lld left   ", done,
                     static_cast<long long>(total_), percent, fps, eta / 60, eta % 60);
    } else {
        std::fprintf(out_, "\rtrelvane: %lld frames, %.1f fps   ", done, fps);
    }
    std::fflush(out_);
}

}  // namespace trelvane::cli
