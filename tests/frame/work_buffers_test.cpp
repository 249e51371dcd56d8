// Work-buffer sizes, reuse, replacement, failures and release.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/test_pattern.h"
#include "frame/work_buffers.h"
#include "plugin/plugin_table.h"
#include "support/test_frames.h"

namespace trelvane {
namespace {

class WorkBufferLifecycle : public test::BufferTest {
protected:
    std::vector<int16_t*> Pointers(const WorkBuffers& b) { return {b.padCr, b.padCb, b.lowCr, b.lowCb}; }
    const std::vector<int16_t*> kNone = {nullptr, nullptr, nullptr, nullptr};
};

TEST_F(WorkBufferLifecycle, SizesAlignmentAndZeroFill) {
    const struct {
        int pitch;
        size_t pad, low;
    } cases[] = {{1, 264, 8}, {720, 6016, 5760}, {1921, 15624, 15368}};
    for (const auto& c : cases) {
        SCOPED_TRACE("pitch " + std::to_string(c.pitch));
        Log().sizes.clear();
        Log().alignments.clear();
        EXPECT_EQ(PadBufferBytes(c.pitch), c.pad);
        EXPECT_EQ(LowBufferBytes(c.pitch), c.low);
        ASSERT_EQ(EnsureWorkBuffers(buffers, c.pitch), 1);
        EXPECT_EQ(buffers.allocatedPitch, c.pitch);
        EXPECT_EQ(Log().sizes, (std::vector<size_t>{c.pad, c.pad, c.low, c.low}));
        EXPECT_EQ(Log().alignments, std::vector<size_t>(4, 16));
        const size_t bytes[] = {c.pad, c.pad, c.low, c.low};
        const std::vector<int16_t*> blocks = Pointers(buffers);
        for (size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[k]) % 16, 0u) << "buffer " << k;
            const std::vector<int16_t> contents(blocks[k], blocks[k] + bytes[k] / 2);
            EXPECT_EQ(contents, std::vector<int16_t>(bytes[k] / 2, 0)) << "buffer " << k;
        }
    }
}

TEST_F(WorkBufferLifecycle, SamePitchReusesOtherPitchReplacesAll) {
    ASSERT_EQ(EnsureWorkBuffers(buffers, 720), 1);
    const std::vector<int16_t*> first = Pointers(buffers);
    ASSERT_EQ(EnsureWorkBuffers(buffers, 720), 1);
    EXPECT_EQ(Pointers(buffers), first);
    EXPECT_EQ(Log().allocations, 4);
    EXPECT_EQ(Log().releases, 0);

    for (const int pitch : {360, 1024}) {  // smaller, then larger
        ASSERT_EQ(EnsureWorkBuffers(buffers, pitch), 1);
        EXPECT_EQ(buffers.allocatedPitch, pitch);
        EXPECT_EQ(Log().live.size(), 4u);
    }
    EXPECT_EQ(Log().allocations, 12);
    EXPECT_EQ(Log().releases, 8);
}

// Each of the four allocations failing in turn: all four are attempted, what
// succeeded is freed, the remembered pitch stays, and the next call allocates
// afresh although it asks for that very pitch.
TEST_F(WorkBufferLifecycle, FailedAllocationLeavesNothingAndIsRetried) {
    for (int failing = 0; failing < 4; ++failing) {
        SCOPED_TRACE("failing allocation " + std::to_string(failing));
        ReleaseWorkBuffers(buffers);
        ASSERT_EQ(EnsureWorkBuffers(buffers, 640), 1);
        const int allocations = Log().allocations;
        const int releases = Log().releases;
        Log().failAt = allocations + failing;

        EXPECT_EQ(EnsureWorkBuffers(buffers, 720), 0);
        EXPECT_EQ(Pointers(buffers), kNone);
        EXPECT_EQ(buffers.allocatedPitch, 640);
        EXPECT_EQ(Log().allocations, allocations + 4);
        EXPECT_EQ(Log().releases, releases + 4 + 3);
        EXPECT_TRUE(Log().live.empty());

        ASSERT_EQ(EnsureWorkBuffers(buffers, 640), 1);
        EXPECT_EQ(Log().allocations, allocations + 8);
    }
}

// 8 x pitch + 256 bytes may not fit size_t on a 32-bit target: such a pitch
// fails without allocating anything smaller than it needs.
TEST_F(WorkBufferLifecycle, PitchBeyondTheSizeTypeFailsCleanly) {
    for (const int pitch : {536870879, 536870880, INT_MAX}) {
        SCOPED_TRACE("pitch " + std::to_string(pitch));
        const uint64_t pad = 8 * uint64_t{static_cast<uint32_t>(pitch)} + 256;
        const uint64_t low = 8 * uint64_t{static_cast<uint32_t>(pitch)};
        const size_t padExpected = pad <= SIZE_MAX ? static_cast<size_t>(pad) : 0;
        const size_t lowExpected = low <= SIZE_MAX ? static_cast<size_t>(low) : 0;
        EXPECT_EQ(PadBufferBytes(pitch), padExpected);
        EXPECT_EQ(LowBufferBytes(pitch), lowExpected);

        Log() = test::AllocationLog{};
        Log().refuseAll = true;
        EXPECT_EQ(EnsureWorkBuffers(buffers, pitch), 0);
        EXPECT_EQ(Pointers(buffers), kNone);
        std::vector<size_t> asked;
        if (padExpected != 0 && lowExpected != 0) asked = {padExpected, padExpected, lowExpected, lowExpected};
        EXPECT_EQ(Log().sizes, asked);
    }
    EXPECT_EQ(PadBufferBytes(INT_MAX) == 0, 8 * uint64_t{INT_MAX} + 256 > SIZE_MAX);
    EXPECT_EQ(PadBufferBytes(-1), 0u);
    EXPECT_EQ(EnsureWorkBuffers(buffers, -1), 0);
}

TEST_F(WorkBufferLifecycle, FramesAllocateOnlyOutsideModeZeroAndFollowThePitch) {
    for (const int mmx : {0, 1}) {
        SCOPED_TRACE("mmx " + std::to_string(mmx));
        ReleaseWorkBuffers(buffers);
        Log() = test::AllocationLog{};
        test::OwnedFrame frame = test::MakeRandomFrame(16, 6, 20, 11u);
        for (const int testOn : {0, 1}) {
            EXPECT_EQ(ProcessFrameWith(buffers, {.mode = 0, .mmx = mmx, .test = testOn}, frame.View()), 1);
        }
        EXPECT_EQ(Log().allocations, 0);
        EXPECT_EQ(Pointers(buffers), kNone);

        EXPECT_EQ(ProcessFrameWith(buffers, {.mode = 1, .mmx = mmx}, frame.View()), 1);
        const std::vector<int16_t*> first = Pointers(buffers);
        test::OwnedFrame smaller = test::MakeRandomFrame(9, 3, 20, 12u);  // same pitch
        EXPECT_EQ(ProcessFrameWith(buffers, {.mode = 3, .mmx = mmx}, smaller.View()), 1);
        EXPECT_EQ(Pointers(buffers), first);
        EXPECT_EQ(Log().allocations, 4);
        test::OwnedFrame wider = test::MakeRandomFrame(16, 6, 24, 13u);
        EXPECT_EQ(ProcessFrameWith(buffers, {.mode = 1, .mmx = mmx}, wider.View()), 1);
        EXPECT_EQ(buffers.allocatedPitch, 24);
        EXPECT_EQ(Log().allocations, 8);
        EXPECT_EQ(Log().releases, 4);
    }
}

// A frame whose buffers cannot be allocated is handed back with 0 and no row
// filtered; a test pattern drawn before stays. The next frame tries again.
TEST_F(WorkBufferLifecycle, FrameWithFailedAllocationIsRetriedNextFrame) {
    for (const int mmx : {0, 1}) {
        for (const int testOn : {0, 1}) {
            SCOPED_TRACE("mmx " + std::to_string(mmx) + ", test " + std::to_string(testOn));
            ReleaseWorkBuffers(buffers);
            test::OwnedFrame frame = test::MakeRandomFrame(21, 9, 24, 14u);
            test::OwnedFrame expected = frame;
            if (testOn != 0) DrawTestPattern(1, expected.pixels.data(), 21, 9, 24);
            const FilterSettings settings{.mode = 2, .mmx = mmx, .test = testOn};

            Log().failAt = Log().allocations + 2;
            EXPECT_EQ(ProcessFrameWith(buffers, settings, frame.View()), 0);
            EXPECT_TRUE(test::SamePixels(expected, frame));
            EXPECT_EQ(Pointers(buffers), kNone);

            EXPECT_EQ(ProcessFrameWith(buffers, settings, frame.View()), 1);
            EXPECT_EQ(Log().live.size(), 4u);
        }
    }
}

TEST_F(WorkBufferLifecycle, FuncExitReleasesOnceAndAlwaysReturnsOne) {
    const FILTER_DLL* table = GetFilterTable();
    FILTER filter = *table;
    EXPECT_EQ(table->func_exit(&filter), 1);  // nothing allocated yet
    EXPECT_EQ(Log().releases, 0);

    test::OwnedFrame frame = test::MakeRandomFrame(8, 4, 8, 15u);
    ASSERT_EQ(test::RunLikeHost({1, 64, 48}, {1, 0, 0}, frame), 1);
    EXPECT_EQ(Log().live.size(), 4u);
    EXPECT_EQ(ProcessWorkBuffers().allocatedPitch, 8);

    EXPECT_EQ(table->func_exit(&filter), 1);
    EXPECT_EQ(Log().releases, 4);
    EXPECT_EQ(Pointers(ProcessWorkBuffers()), kNone);
    EXPECT_EQ(table->func_exit(nullptr), 1);  // a second time frees nothing
    EXPECT_EQ(Log().releases, 4);

    ASSERT_EQ(test::RunLikeHost({1, 64, 48}, {1, 0, 0}, frame), 1);  // and the next frame allocates
    EXPECT_EQ(Log().allocations, 8);
}

// func_proc works in the process-wide buffers that EnsureWorkBuffers(max_w)
// makes: buffers made beforehand for the same pitch are taken as they are.
TEST_F(WorkBufferLifecycle, HostFramesUseTheBuffersEnsureWorkBuffersMakes) {
    ASSERT_EQ(EnsureWorkBuffers(12), 1);
    const std::vector<int16_t*> made = Pointers(ProcessWorkBuffers());
    EXPECT_EQ(Log().allocations, 4);
    test::OwnedFrame frame = test::MakeRandomFrame(10, 5, 12, 16u);
    ASSERT_EQ(test::RunLikeHost({4, 64, 48}, {0, 1, 0}, frame), 1);
    EXPECT_EQ(Pointers(ProcessWorkBuffers()), made);
    EXPECT_EQ(Log().allocations, 4);
    test::OwnedFrame wider = test::MakeRandomFrame(10, 5, 14, 17u);
    ASSERT_EQ(test::RunLikeHost({4, 64, 48}, {0, 1, 0}, wider), 1);
    EXPECT_EQ(ProcessWorkBuffers().allocatedPitch, 14);
    EXPECT_EQ(Log().allocations, 8);
}

}  // namespace
}  // namespace trelvane
