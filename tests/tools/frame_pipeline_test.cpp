// The worker pipeline with stand-in hooks: frame order, faults, stops, exclusion.
#include "pipeline/frame_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace trelvane::cli {
namespace {

// A stream of `frames` frames whose one byte is its number; processing adds
// one; `failAt` makes the read, process or write of that frame fail, or
// throw. A stop is asked for once `stopAfter` frames have been read.
struct Script {
    int frames = 40;
    int failReadAt = -1;
    int failProcessAt = -1;
    int failWriteAt = -1;
    bool throwInstead = false;
    int stopAfter = -1;
    // The frame before the failing read is filtered only after that read
    // has returned its error, so it is still to be written then.
    bool holdBeforeFailedRead = false;
    std::atomic<bool> readFailed{false};
    bool held = false;
    std::vector<int> written;
    std::atomic<int> processed{0};
};

PipelineResult RunScript(Script& s, int workers) {
    std::vector<FrameSlot> slots(workers <= 1 ? 1 : 2 * static_cast<size_t>(workers));
    for (FrameSlot& slot : slots) slot.bytes.resize(1);
    PipelineHooks hooks;
    hooks.read = [&](FrameSlot& slot, std::string& error) {
        if (slot.index == s.failReadAt) {
            if (s.throwInstead) throw std::runtime_error("read threw");
            error = "bad frame";
            s.readFailed = true;
            return ReadStatus::kError;
        }
        if (slot.index >= s.frames) return ReadStatus::kEnd;
        slot.bytes[0] = static_cast<uint8_t>(slot.index);
        return ReadStatus::kFrame;
    };
    hooks.process = [&](FrameSlot& slot, int worker, std::string& error) {
        EXPECT_GE(worker, 0);
        EXPECT_LT(worker, workers);
        ++s.processed;
        if (slot.index == s.failProcessAt) {
            if (s.throwInstead) throw std::bad_alloc();
            error = "no memory";
            return false;
        }
        if (s.holdBeforeFailedRead && slot.index + 1 == s.failReadAt) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!s.readFailed && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            // Time for the reading worker to act on the error.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            s.held = s.readFailed;
        }
        slot.bytes[0] = static_cast<uint8_t>(slot.bytes[0] + 1);
        return true;
    };
    hooks.write = [&](FrameSlot& slot) {
        if (slot.index == s.failWriteAt) {
            if (s.throwInstead) throw std::runtime_error("write threw");
            return EPIPE;
        }
        s.written.push_back(slot.bytes[0] - 1);
        return 0;
    };
    hooks.stopRequested = [&] { return s.stopAfter >= 0 && s.processed >= s.stopAfter; };
    return RunFramePipeline(workers, slots, hooks);
}

std::vector<int> FirstFrames(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(i);
    return v;
}

TEST(FramePipeline, WritesEveryFrameOnceInInputOrder) {
    for (const int workers : {1, 2, 5}) {
        Script s;
        const PipelineResult r = RunScript(s, workers);
        EXPECT_EQ(r.outcome, PipelineResult::Outcome::kDone);
        EXPECT_EQ(r.framesWritten, 40);
        EXPECT_EQ(s.written, FirstFrames(40)) << workers << " workers";
    }
}

TEST(FramePipeline, FramesBeforeAReadErrorAreWrittenFirst) {
    for (const int workers : {1, 2, 3}) {
        Script s;
        s.failReadAt = 7;
        s.holdBeforeFailedRead = workers == 2;
        const PipelineResult r = RunScript(s, workers);
        EXPECT_EQ(r.outcome, PipelineResult::Outcome::kReadError);
        EXPECT_EQ(r.readError, "bad frame");
        EXPECT_EQ(s.written, FirstFrames(7)) << workers << " workers";
        EXPECT_EQ(s.held, s.holdBeforeFailedRead) << "frame 6 was held until the read of frame 7 failed";
    }
}

// A stop ends the input; every frame read by then is filtered and written.
TEST(FramePipeline, AStopAskedForEndsTheInputAfterTheFramesRead) {
    for (const int workers : {1, 3}) {
        Script s;
        s.stopAfter = 5;
        const PipelineResult r = RunScript(s, workers);
        EXPECT_EQ(r.outcome, PipelineResult::Outcome::kDone);
        EXPECT_GE(r.framesWritten, 5);
        EXPECT_LT(r.framesWritten, 40);
        EXPECT_EQ(s.written, FirstFrames(static_cast<int>(r.framesWritten)));
        EXPECT_EQ(r.framesWritten, s.processed.load()) << "a frame read was not written";
    }
}

// A frame that fails, or whose filtering throws, has the frames before it
// written first; a read or a write that throws ends the run at once. Either
// way one message, never std::terminate.
TEST(FramePipeline, StopsAtAFailedFrameOrAFailedWrite) {
    for (const int workers : {1, 4}) {
        for (const bool throwing : {false, true}) {
            Script p;
            p.failProcessAt = 5;
            p.throwInstead = throwing;
            const PipelineResult r = RunScript(p, workers);
            EXPECT_EQ(r.outcome, PipelineResult::Outcome::kProcessError);
            EXPECT_EQ(r.processError, throwing ? "frame 6: unexpected failure: std::bad_alloc" : "no memory");
            EXPECT_EQ(p.written, FirstFrames(5));
        }
        for (const bool inRead : {true, false}) {
            Script io;
            io.throwInstead = true;
            (inRead ? io.failReadAt : io.failWriteAt) = 9;
            const PipelineResult rio = RunScript(io, workers);
            EXPECT_EQ(rio.outcome, PipelineResult::Outcome::kProcessError);
            EXPECT_EQ(rio.processError, std::string("frame 10: unexpected failure: ") + (inRead ? "read" : "write") + " threw");
            EXPECT_LE(io.written.size(), 9u);
            EXPECT_EQ(io.written, FirstFrames(static_cast<int>(io.written.size())));
        }

        Script w;
        w.frames = 1000;
        w.failWriteAt = 3;
        const PipelineResult rw = RunScript(w, workers);
        EXPECT_EQ(rw.outcome, PipelineResult::Outcome::kWriteError);
        EXPECT_EQ(rw.writeErrno, EPIPE);
        EXPECT_EQ(w.written, FirstFrames(3));
        // The reader stops soon after: it never runs more than the slots ahead.
        EXPECT_LE(w.processed.load(), 3 + 2 * workers + 1);
    }
}

// Reads and writes run on the workers' threads, but never two reads or two
// writes at once: the stream's reader and writer are not thread-safe. And a
// slot is only ever filtered by one worker, whose cache holds what it read.
TEST(FramePipeline, ReadsAndWritesNeverOverlapAndSlotsKeepTheirWorker) {
    constexpr int kWorkers = 4;
    constexpr int kFrames = 400;
    std::vector<FrameSlot> slots(2 * kWorkers);
    std::atomic<int> reading{0};
    std::atomic<int> writing{0};
    std::atomic<int> overlaps{0};
    int64_t nextRead = 0;
    int64_t nextWrite = 0;
    int outOfOrder = 0;
    // Holds the call open for a moment so that a second caller would meet it.
    const auto enter = [&](std::atomic<int>& inside) {
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::yield();
    };
    PipelineHooks hooks;
    hooks.read = [&](FrameSlot& slot, std::string&) {
        enter(reading);
        if (slot.index != nextRead) ++outOfOrder;
        const bool more = slot.index < kFrames;
        if (more) ++nextRead;
        --reading;
        return more ? ReadStatus::kFrame : ReadStatus::kEnd;
    };
    std::mutex ownersMutex;
    std::map<const FrameSlot*, int> owners;
    int ownerChanges = 0;
    const auto slotsSeen = [&] {
        std::lock_guard lock(ownersMutex);
        return owners.size();
    };
    hooks.process = [&](FrameSlot& slot, int worker, std::string&) {
        {
            std::lock_guard lock(ownersMutex);
            const auto [it, added] = owners.emplace(&slot, worker);
            if (!added && it->second != worker) ++ownerChanges;
        }
        // The first frame waits (a bounded while) for another worker to take
        // a second slot, so the run cannot pass by the scheduler letting one
        // worker do every frame.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (slot.index == 0 && slotsSeen() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return true;
    };
    hooks.write = [&](FrameSlot& slot) {
        enter(writing);
        if (slot.index != nextWrite++) ++outOfOrder;
        --writing;
        return 0;
    };
    const PipelineResult r = RunFramePipeline(kWorkers, slots, hooks);
    EXPECT_EQ(r.outcome, PipelineResult::Outcome::kDone);
    EXPECT_EQ(r.framesWritten, kFrames);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(ownerChanges, 0);
    EXPECT_GT(owners.size(), 1u) << "more than one slot was used";
}

}  // namespace
}  // namespace trelvane::cli
