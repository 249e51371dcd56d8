// The worker pipeline: frames read, filtered and written in input order.
#include "pipeline/frame_pipeline.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>

namespace trelvane::cli {

namespace {

using Outcome = PipelineResult::Outcome;

// One read through the hook; once a stop has been asked for there is no
// more input, and a read that fails then (interrupted by the stop, most
// likely) is the end of it too.
ReadStatus ReadFrame(const PipelineHooks& hooks, FrameSlot& slot, std::string& error) {
    const auto stopped = [&] { return hooks.stopRequested && hooks.stopRequested(); };
    if (stopped()) return ReadStatus::kEnd;
    const ReadStatus status = hooks.read(slot, error);
    return status == ReadStatus::kError && stopped() ? ReadStatus::kEnd : status;
}

// What a hook that threw leaves to report; called inside a catch block.
std::string UnexpectedFailure(int64_t frame) {
    std::string what = "an exception of unknown type";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    return "frame " + std::to_string(frame + 1) + ": unexpected failure: " + what;
}

PipelineResult RunOnThisThread(FrameSlot& slot, const PipelineHooks& hooks) {
    PipelineResult result;
    std::string error;
    for (int64_t i = 0;; ++i) {
        slot.index = i;
        try {
            const ReadStatus status = ReadFrame(hooks, slot, error);
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
        } catch (...) {
            result.outcome = Outcome::kProcessError;
            result.processError = UnexpectedFailure(i);
            break;
        }
        ++result.framesWritten;
        if (hooks.written) hooks.written(result.framesWritten);
    }
    return result;
}

// Every worker reads the next frame into a slot of its own and filters it;
// whoever finishes the oldest frame not yet written writes it, and every
// later frame already finished, in input order. So a worker never hands a
// frame to another thread and never waits for an older frame to be finished
// before it starts the next: at a few thousand frames a second, waking a
// reader or a writer thread for every frame cost more than a tenth of the
// two processors' time. A slot stays with one worker, so the frame it reads
// is in its own processor's cache, never in another's.
//
// A slot goes free -> busy (read and filtered by its worker) -> done or
// failed -> free (once written); a worker with no free slot waits for its
// oldest frame to be written. So the reads run at most slots.size() frames
// ahead of the writes.
class Pool {
public:
    Pool(std::vector<FrameSlot>& slots, const PipelineHooks& hooks, int workers)
        : slots_(slots),
          hooks_(hooks),
          perWorker_(slots.size() / static_cast<size_t>(workers)),
          state_(slots.size(), State::kFree),
          slotOfFrame_(slots.size()),
          slotFreed_(static_cast<size_t>(workers)) {}

    PipelineResult Run(const ThreadStarter& startThread) {
        const int workers = static_cast<int>(slotFreed_.size());
        std::vector<std::thread> threads;
        threads.reserve(static_cast<size_t>(workers) - 1);
        // A worker that cannot be started leaves its slots unused; the
        // calling thread is always there to do the work.
        std::string startError;
        for (int w = 1; w < workers && startError.empty(); ++w) {
            try {
                std::function<void()> work = [this, w] { Work(w); };
                threads.push_back(startThread ? startThread(std::move(work)) : std::thread(std::move(work)));
            } catch (const std::system_error& e) {
                startError = e.code().message();
            } catch (...) {
                // The thread's own state could not be allocated, or the
                // starter failed some other way: the same shortfall.
                startError = "not enough memory";
            }
        }
        if (!startError.empty() && hooks_.fewerWorkers) {
            hooks_.fewerWorkers(static_cast<int>(threads.size()) + 1, workers, startError);
        }
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

    // One of the worker's free slots, or -1.
    ptrdiff_t FreeSlotOf(int worker) const {
        const size_t first = static_cast<size_t>(worker) * perWorker_;
        for (size_t s = first; s < first + perWorker_; ++s) {
            if (state_[s] == State::kFree) return static_cast<ptrdiff_t>(s);
        }
        return -1;
    }

    // Reads the next frame into one of the worker's slots; returns the slot,
    // or -1 when there is no frame to filter (the input ended or failed, or
    // the run stopped). `frame` becomes the frame being read.
    ptrdiff_t ReadNext(int worker, std::string& error, int64_t& frame) {
        ptrdiff_t s = -1;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] { return stop_ || (s = FreeSlotOf(worker)) >= 0; };
            slotFreed_[static_cast<size_t>(worker)].wait(lock, ready);
            if (stop_) return -1;
            state_[static_cast<size_t>(s)] = State::kBusy;
        }
        FrameSlot& slot = slots_[static_cast<size_t>(s)];
        LockRead();
        std::lock_guard readLock(readMutex_, std::adopt_lock);
        ReadStatus status = ReadStatus::kEnd;
        if (!inputDone_ && !stop_) {
            slot.index = nextToRead_;
            frame = slot.index;
            status = ReadFrame(hooks_, slot, error);
        }
        std::lock_guard lock(mutex_);
        if (status == ReadStatus::kFrame) {
            slotOfFrame_[FramePlace(nextToRead_)] = static_cast<size_t>(s);
            ++nextToRead_;
            return s;
        }
        state_[static_cast<size_t>(s)] = State::kFree;
        if (!inputDone_ && status == ReadStatus::kError) {
            readFailed_ = true;
            readError_ = error;
        }
        inputDone_ = true;
        return -1;
    }

    // Takes the read lock, trying a while before going to sleep on it. A
    // read takes tens of microseconds, and a worker that sleeps on it is
    // woken on the reading worker's processor: the two then take turns there
    // while the other processor idles, and keep waking each other so.
    void LockRead() {
        constexpr int kTries = 256;
        for (int i = 0; i < kTries; ++i) {
            if (readMutex_.try_lock()) return;
            std::this_thread::yield();
        }
        readMutex_.lock();
    }

    // A frame whose filtering throws is a failed frame; a read or a write that
    // throws stops the run at once.
    void Work(int worker) {
        std::string error;
        int64_t frame = 0;  // the frame this worker is on, for a report
        try {
            for (;;) {
                const ptrdiff_t s = ReadNext(worker, error, frame);
                if (s < 0) return;
                FrameSlot& slot = slots_[static_cast<size_t>(s)];
                frame = slot.index;
                bool ok = false;
                try {
                    ok = hooks_.process(slot, worker, error);
                } catch (...) {
                    error = UnexpectedFailure(frame);
                }
                std::unique_lock lock(mutex_);
                state_[static_cast<size_t>(s)] = ok ? State::kDone : State::kFailed;
                if (!ok) errors_[slot.index] = error;
                if (slot.index == nextToWrite_) WriteFinished(lock, frame);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (result_.outcome == Outcome::kDone) {
                result_.outcome = Outcome::kProcessError;
                result_.processError = UnexpectedFailure(frame);
            }
            Stop();
        }
    }

    // Frames in flight lie between nextToWrite_ and nextToRead_, fewer than
    // there are slots, so their places in slotOfFrame_ never collide.
    size_t FramePlace(int64_t frame) const { return static_cast<size_t>(frame) % slotOfFrame_.size(); }

    // Writes the frames from nextToWrite_ on while they are finished, one at
    // a time and in order; called with the lock held by the thread that
    // finished frame nextToWrite_, so no two threads ever write at once.
    // `frame` follows the frame being written.
    void WriteFinished(std::unique_lock<std::mutex>& lock, int64_t& frame) {
        while (!stop_ && nextToWrite_ < nextToRead_) {
            const size_t s = slotOfFrame_[FramePlace(nextToWrite_)];
            if (state_[s] == State::kBusy) return;
            if (state_[s] == State::kFailed) {
                result_.outcome = Outcome::kProcessError;
                result_.processError = errors_[nextToWrite_];
                Stop();
                return;
            }
            frame = nextToWrite_;
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
            slotFreed_[s / perWorker_].notify_one();  // the slot's worker
        }
    }

    void Stop() {
        stop_ = true;
        for (std::condition_variable& freed : slotFreed_) freed.notify_all();
    }

    std::vector<FrameSlot>& slots_;
    const PipelineHooks& hooks_;
    const size_t perWorker_;  // worker w owns slots w * perWorker_ on
    std::mutex readMutex_;    // one read at a time, in frame order
    std::mutex mutex_;        // everything below
    std::vector<State> state_;
    std::vector<size_t> slotOfFrame_;  // by frame, for the frames in flight
    std::vector<std::condition_variable> slotFreed_;  // one per worker
    std::map<int64_t, std::string> errors_;  // failed frames not yet reached
    int64_t nextToRead_ = 0;
    int64_t nextToWrite_ = 0;
    bool inputDone_ = false;
    bool readFailed_ = false;
    std::string readError_;
    std::atomic<bool> stop_{false};  // also read under readMutex_ alone
    PipelineResult result_;
};

}  // namespace

PipelineResult RunFramePipeline(int workers, std::vector<FrameSlot>& slots, const PipelineHooks& hooks,
                                 const ThreadStarter& startThread) {
    const int used = static_cast<int>(std::min(static_cast<size_t>(workers > 0 ? workers : 1), slots.size()));
    if (used <= 1) return RunOnThisThread(slots.at(0), hooks);
    return Pool(slots, hooks, used).Run(startThread);
}

}  // namespace trelvane::cli
