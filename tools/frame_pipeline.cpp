#include "frame_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <map>
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

// Every worker reads the next frame into its slot and filters it; whoever
// finishes the oldest frame not yet written writes it, and every later frame
// already finished, in input order. So a worker never hands a frame to
// another thread and never waits for an older frame to be finished first:
// at a few thousand frames a second, waking a reader or a writer thread for
// every frame cost more than a tenth of the two processors' time.
//
// Frame i lives in slot i % slots.size(). A slot goes free -> busy (read and
// filtered by a worker) -> done or failed -> free (once written), so the
// reads can run at most slots.size() frames ahead of the writes.
class Pool {
public:
    Pool(std::vector<FrameSlot>& slots, const PipelineHooks& hooks)
        : slots_(slots), hooks_(hooks), state_(slots.size(), State::kFree) {}

    PipelineResult Run(int workers) {
        std::vector<std::thread> threads;
        threads.reserve(static_cast<size_t>(workers) - 1);
        for (int w = 1; w < workers; ++w) threads.emplace_back([this, w] { Work(w); });
        Work(0);
        for (std::thread& t : threads) t.join();
        // A read failure counts once every frame before it has been written.
        if (result_.outcome == Outcome::kDone && readFailed_) {
            result_.outcome = Outcome::kReadError;
            result_.readError = readError_;
        }
        return result_;
    }

private:
    enum class State { kFree, kBusy, kDone, kFailed };

    size_t SlotOf(int64_t frame) const { return static_cast<size_t>(frame) % slots_.size(); }

    // Reads the next frame; returns its slot, or -1 when there is none to
    // filter (the input ended or failed, or the run stopped).
    ptrdiff_t ReadNext(std::string& error) {
        std::lock_guard readLock(readMutex_);
        if (inputDone_) return -1;
        const int64_t frame = nextToRead_;
        const size_t s = SlotOf(frame);
        {
            std::unique_lock lock(mutex_);
            slotFreed_.wait(lock, [&] { return stop_ || state_[s] == State::kFree; });
            if (stop_) return -1;
            state_[s] = State::kBusy;
        }
        slots_[s].index = frame;
        const ReadStatus status = hooks_.read(slots_[s], error);
        if (status == ReadStatus::kFrame) {
            ++nextToRead_;
            return static_cast<ptrdiff_t>(s);
        }
        inputDone_ = true;
        std::lock_guard lock(mutex_);
        state_[s] = State::kFree;
        if (status == ReadStatus::kError) {
            readFailed_ = true;
            readError_ = error;
        }
        return -1;
    }

    void Work(int worker) {
        std::string error;
        for (;;) {
            const ptrdiff_t s = ReadNext(error);
            if (s < 0) return;
            FrameSlot& slot = slots_[static_cast<size_t>(s)];
            const bool ok = hooks_.process(slot, worker, error);
            std::unique_lock lock(mutex_);
            state_[static_cast<size_t>(s)] = ok ? State::kDone : State::kFailed;
            if (!ok) errors_[slot.index] = error;
            if (slot.index == nextToWrite_) WriteFinished(lock);
        }
    }

    // Writes the frames from nextToWrite_ on while they are finished, one at
    // a time and in order; called with the lock held by the thread that
    // finished frame nextToWrite_, so no two threads ever write at once.
    void WriteFinished(std::unique_lock<std::mutex>& lock) {
        while (!stop_) {
            const size_t s = SlotOf(nextToWrite_);
            if (state_[s] == State::kBusy || state_[s] == State::kFree) return;
            if (state_[s] == State::kFailed) {
                result_.outcome = Outcome::kProcessError;
                result_.processError = errors_[nextToWrite_];
                Stop();
                return;
            }
            lock.unlock();
            const int e = hooks_.write(slots_[s]);
            if (e == 0 && hooks_.written) hooks_.written(nextToWrite_ + 1);
            lock.lock();
            if (e != 0) {
                result_.outcome = Outcome::kWriteError;
                result_.writeErrno = e;
                Stop();
                return;
            }
            state_[s] = State::kFree;
            errors_.erase(nextToWrite_);
            ++nextToWrite_;
            ++result_.framesWritten;
            slotFreed_.notify_one();  // only a reader waits for it
        }
    }

    void Stop() {
        stop_ = true;
        slotFreed_.notify_all();
    }

    std::vector<FrameSlot>& slots_;
    const PipelineHooks& hooks_;
    std::mutex readMutex_;  // one read at a time, in frame order
    int64_t nextToRead_ = 0;
    bool inputDone_ = false;
    std::mutex mutex_;  // everything below
    std::condition_variable slotFreed_;
    std::vector<State> state_;
    std::map<int64_t, std::string> errors_;  // failed frames not yet reached
    int64_t nextToWrite_ = 0;
    bool readFailed_ = false;
    std::string readError_;
    bool stop_ = false;
    PipelineResult result_;
};

}  // namespace

PipelineResult RunFramePipeline(int workers, std::vector<FrameSlot>& slots, const PipelineHooks& hooks) {
    const int used = static_cast<int>(std::min(static_cast<size_t>(workers > 0 ? workers : 1), slots.size()));
    if (used <= 1) return RunOnThisThread(slots.at(0), hooks);
    return Pool(slots, hooks).Run(used);
}

}  // namespace trelvane::cli
