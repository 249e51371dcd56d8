#include "frame_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace trelvane::cli {

namespace {

using Outcome = PipelineResult::Outcome;

PipelineResult RunOnThisThread(FrameSlot& slot, const PipelineHooks& hooks) {
    PipelineResult result;
    std::string error;
    for (int64_t i = 0;; ++i) {
        slot.index = i;
        const ReadStatus status = hooks.read(slot, error);
        if (status == ReadStatus::kEnd) break;
        if (status == ReadStatus::kError) {
            result.outcome = Outcome::kReadError;
            result.readError = error;
            break;
        }
        if (!hooks.process(slot, 0, error)) {
            result.outcome = Outcome::kProcessError;
            result.processError = error;
            break;
        }
        if (const int e = hooks.write(slot); e != 0) {
            result.outcome = Outcome::kWriteError;
            result.writeErrno = e;
            break;
        }
        ++result.framesWritten;
        if (hooks.written) hooks.written(result.framesWritten);
    }
    return result;
}

// Frame i lives in slot i % slots.size(). A slot goes free -> filled (by the
// reader) -> done or failed (by a worker) -> free (by the writer), so the
// reader can run at most slots.size() frames ahead of the writer.
//
// Each kind of thread waits on a condition of its own and is woken only by
// the change it waits for: frames are small enough that waking every thread
// at every change cost more than a tenth of the work.
class Pool {
public:
    Pool(std::vector<FrameSlot>& slots, const PipelineHooks& hooks)
        : slots_(slots), hooks_(hooks), state_(slots.size(), State::kFree),
          errors_(slots.size()) {}

    PipelineResult Run(int workers) {
        std::vector<std::thread> threads;
        threads.reserve(static_cast<size_t>(workers) + 1);
        for (int w = 0; w < workers; ++w) threads.emplace_back([this, w] { Work(w); });
        threads.emplace_back([this] { WriteInOrder(); });
        ReadAll();
        for (std::thread& t : threads) t.join();
        return result_;
    }

private:
    enum class State { kFree, kFilled, kDone, kFailed };

    size_t SlotOf(int64_t frame) const { return static_cast<size_t>(frame) % slots_.size(); }

    void ReadAll() {
        std::string error;
        for (int64_t i = 0;; ++i) {
            const size_t s = SlotOf(i);
            {
                std::unique_lock lock(mutex_);
                slotFreed_.wait(lock, [&] { return stop_ || state_[s] == State::kFree; });
                if (stop_) break;
            }
            slots_[s].index = i;
            const ReadStatus status = hooks_.read(slots_[s], error);
            std::lock_guard lock(mutex_);
            if (status == ReadStatus::kFrame) {
                state_[s] = State::kFilled;
                framesRead_ = i + 1;
                frameRead_.notify_one();
                continue;
            }
            if (status == ReadStatus::kError) {
                readFailed_ = true;
                readError_ = error;
            }
            break;
        }
        std::lock_guard lock(mutex_);
        inputDone_ = true;
        frameRead_.notify_all();
        frameDone_.notify_all();
    }

    void Work(int worker) {
        std::string error;
        for (;;) {
            std::unique_lock lock(mutex_);
            frameRead_.wait(lock, [&] { return stop_ || nextToProcess_ < framesRead_ || inputDone_; });
            if (stop_) return;
            if (nextToProcess_ >= framesRead_) {
                if (inputDone_) return;
                continue;
            }
            const size_t s = SlotOf(nextToProcess_++);
            lock.unlock();
            const bool ok = hooks_.process(slots_[s], worker, error);
            lock.lock();
            state_[s] = ok ? State::kDone : State::kFailed;
            if (!ok) errors_[s] = error;
            frameDone_.notify_one();  // only the writer waits for it
        }
    }

    void WriteInOrder() {
        for (int64_t j = 0;; ++j) {
            const size_t s = SlotOf(j);
            std::unique_lock lock(mutex_);
            frameDone_.wait(lock, [&] {
                const bool ready = j < framesRead_ && (state_[s] == State::kDone || state_[s] == State::kFailed);
                return stop_ || ready || (inputDone_ && j >= framesRead_);
            });
            if (stop_) return;
            if (j >= framesRead_) {
                if (readFailed_) {
                    result_.outcome = Outcome::kReadError;
                    result_.readError = readError_;
                }
                return;
            }
            if (state_[s] == State::kFailed) {
                result_.outcome = Outcome::kProcessError;
                result_.processError = errors_[s];
                Stop();
                return;
            }
            lock.unlock();
            const int e = hooks_.write(slots_[s]);
            lock.lock();
            if (e != 0) {
                result_.outcome = Outcome::kWriteError;
                result_.writeErrno = e;
                Stop();
                return;
            }
            state_[s] = State::kFree;
            const int64_t written = ++result_.framesWritten;
            slotFreed_.notify_one();  // only the reader waits for it
            lock.unlock();
            if (hooks_.written) hooks_.written(written);
        }
    }

    void Stop() {
        stop_ = true;
        slotFreed_.notify_all();
        frameRead_.notify_all();
        frameDone_.notify_all();
    }

    std::vector<FrameSlot>& slots_;
    const PipelineHooks& hooks_;
    std::mutex mutex_;
    std::condition_variable slotFreed_;  // the reader waits for a free slot
    std::condition_variable frameRead_;  // workers wait for a frame to filter
    std::condition_variable frameDone_;  // the writer waits for the next frame
    std::vector<State> state_;
    std::vector<std::string> errors_;
    int64_t framesRead_ = 0;
    int64_t nextToProcess_ = 0;
    bool inputDone_ = false;
    bool readFailed_ = false;
    bool stop_ = false;
    std::string readError_;
    PipelineResult result_;
};

}  // namespace

PipelineResult RunFramePipeline(int workers, std::vector<FrameSlot>& slots, const PipelineHooks& hooks) {
    if (workers <= 1 || slots.size() < 2) return RunOnThisThread(slots.at(0), hooks);
    return Pool(slots, hooks).Run(workers);
}

}  // namespace trelvane::cli
