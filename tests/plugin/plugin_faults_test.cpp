// The plug-in under faults, driven through the host's table: failed
// allocations, a pitch that never stays the same, func_exit more than once,
// and a pitch whose buffers cannot be sized.
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

class PluginFaults : public test::BufferTest {
protected:
    static bool ProcessBuffersEmpty() {
        const WorkBuffers& b = ProcessWorkBuffers();
        return b.padCr == nullptr && b.padCb == nullptr && b.lowCr == nullptr && b.lowCb == nullptr;
    }

    // What the driver makes of the frame in buffers of its own.
    static test::OwnedFrame Filtered(test::OwnedFrame frame, const FilterSettings& s) {
        WorkBuffers own;
        EXPECT_EQ(ProcessFrameWith(own, s, frame.View()), 1);
        ReleaseWorkBuffers(own);
        return frame;
    }
};

// Each of the four allocations failing in turn, from no buffers and from
// buffers of another pitch: func_proc returns 0, all four are attempted,
// every block that was handed out is freed, no row is touched (a test
// pattern drawn first stays), and the next frame allocates and is filtered.
TEST_F(PluginFaults, EachOfTheFourAllocationsFailing) {
    for (int failing = 0; failing < 4; ++failing) {
        for (const bool hadBuffers : {false, true}) {
            for (const int mmx : {0, 1}) {
                for (const int testOn : {0, 1}) {
                    SCOPED_TRACE(::testing::Message() << "allocation " << failing << (hadBuffers ? ", after another pitch" : "")
                                                      << ", mmx " << mmx << ", test " << testOn);
                    const int track[3] = {4, 64, 48};
                    const int check[3] = {1, mmx, testOn};
                    const FilterSettings settings{.mode = 4, .mmx = mmx, .test = testOn};
                    ReleaseWorkBuffers(nullptr);
                    test::OwnedFrame frame = test::MakeRandomFrame(21, 9, 24, 41u + failing);
                    const test::OwnedFrame want = Filtered(frame, settings);
                    test::OwnedFrame untouched = frame;
                    if (testOn != 0) DrawTestPattern(1, untouched.pixels.data(), 21, 9, 24);

                    Log() = test::AllocationLog{};
                    if (hadBuffers) {
                        test::OwnedFrame other = test::MakeRandomFrame(8, 4, 16, 40u);
                        ASSERT_EQ(test::RunLikeHost(track, check, other), 1);
                    }
                    const int allocations = Log().allocations;
                    Log().failAt = allocations + failing;
                    EXPECT_EQ(test::RunLikeHost(track, check, frame), 0);
                    EXPECT_EQ(Log().allocations, allocations + 4);
                    // Every block handed out, the other pitch's included, is freed.
                    EXPECT_EQ(Log().releases, Log().allocations - 1);
                    EXPECT_TRUE(Log().live.empty()) << Log().live.size() << " blocks leaked";
                    EXPECT_TRUE(ProcessBuffersEmpty());
                    EXPECT_TRUE(test::SamePixels(untouched, frame));

                    EXPECT_EQ(test::RunLikeHost(track, check, frame), 1);
                    EXPECT_EQ(Log().live.size(), 4u);
                    EXPECT_TRUE(test::SamePixels(want, frame));
                }
            }
        }
    }
}

// A thousand frames, each with a pitch of its own: the four blocks are
// replaced every frame and never more than four live; func_exit then frees
// them, and a second func_exit frees nothing. (The sanitizer build's leak
// checker watches the same run.)
TEST_F(PluginFaults, PitchChangingEveryFrameForAThousandFrames) {
    const int track[3] = {2, 80, 48};
    for (int i = 0; i < 1000; ++i) {
        const int pitch = 8 + (i * 37) % 200;  // differs from the last frame's
        const int w = pitch - i % 3;
        test::OwnedFrame frame = test::MakeRandomFrame(w, 4 + i % 5, pitch, static_cast<uint32_t>(i));
        const int check[3] = {i % 2, (i / 2) % 2, 0};
        ASSERT_EQ(test::RunLikeHost(track, check, frame), 1) << "frame " << i;
        ASSERT_EQ(Log().live.size(), 4u) << "frame " << i;
        ASSERT_EQ(ProcessWorkBuffers().allocatedPitch, pitch);
    }
    EXPECT_EQ(Log().allocations, 4000);
    EXPECT_EQ(Log().releases, 3996);

    FILTER filter = *GetFilterTable();
    EXPECT_EQ(filter.func_exit(&filter), 1);
    EXPECT_TRUE(Log().live.empty());
    EXPECT_TRUE(ProcessBuffersEmpty());
    EXPECT_EQ(filter.func_exit(&filter), 1);
    EXPECT_EQ(Log().releases, 4000);
}

// A pitch whose 8 x pitch + 256 bytes do not fit the allocator's size type
// (on a 32-bit target) is refused before anything is asked of the allocator;
// where it fits, the allocator is asked for the full sizes and refuses. Either
// way func_proc returns 0, no buffer exists, the frame is untouched, and the
// next ordinary frame is filtered.
TEST_F(PluginFaults, PitchTooLargeForTheBuffers) {
    for (const int pitch : {536870879, 536870880, INT_MAX}) {
        SCOPED_TRACE("pitch " + std::to_string(pitch));
        const uint64_t low = 8 * uint64_t{static_cast<uint32_t>(pitch)};
        const uint64_t pad = low + 256;
        std::vector<size_t> asked;
        if (pad <= SIZE_MAX) asked = {static_cast<size_t>(pad), static_cast<size_t>(pad), static_cast<size_t>(low),
                                      static_cast<size_t>(low)};

        // One row of 8 pixels: a row only ever touches its first w pixels.
        test::OwnedFrame row = test::MakeRandomFrame(8, 1, 8, 50u);
        const test::OwnedFrame before = row;
        FILTER filter = *GetFilterTable();
        int track[3] = {1, 64, 48};
        int check[3] = {1, 1, 0};
        filter.track = track;
        filter.check = check;
        FILTER_PROC_INFO info{};
        info.ycp_edit = row.pixels.data();
        info.w = 8;
        info.h = 1;
        info.max_w = pitch;

        ReleaseWorkBuffers(nullptr);
        Log() = test::AllocationLog{};
        Log().refuseAll = true;
        EXPECT_EQ(filter.func_proc(&filter, &info), 0);
        EXPECT_EQ(Log().sizes, asked);
        EXPECT_TRUE(ProcessBuffersEmpty());
        EXPECT_TRUE(test::SamePixels(before, row));

        Log().refuseAll = false;
        test::OwnedFrame ordinary = test::MakeRandomFrame(8, 4, 8, 51u);
        EXPECT_EQ(test::RunLikeHost({1, 64, 48}, {1, 1, 0}, ordinary), 1);
        EXPECT_EQ(Log().live.size(), 4u);
    }
}

}  // namespace
}  // namespace trelvane
