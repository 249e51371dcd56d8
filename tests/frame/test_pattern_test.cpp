// The built-in test pattern: frequency sweep rows and the two colour blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/test_pattern.h"
#include "support/test_frames.h"

namespace trelvane {
namespace {

constexpr PIXEL_YC kLeftBlock{0, 511, -558};
constexpr PIXEL_YC kGap{0, 0, 0};
constexpr PIXEL_YC kRightBlock{0, 787, 362};

// Draws over random content with two spare columns past w.
test::OwnedFrame Drawn(int line640, int w, int h) {
    test::OwnedFrame frame = test::MakeRandomFrame(w, h, w + 2, 77u + w + h);
    DrawTestPattern(line640, frame.pixels.data(), w, h, frame.pitch);
    return frame;
}

std::vector<int16_t> SweepStart(const test::OwnedFrame& frame, int row, int count) {
    std::vector<int16_t> values;
    for (int c = 0; c < count; ++c) {
        const PIXEL_YC& p = frame.At(row, c);
        EXPECT_EQ(p.y, 2048) << "row " << row << ", column " << c;
        EXPECT_EQ(p.cb, p.cr) << "row " << row << ", column " << c;
        values.push_back(p.cr);
    }
    return values;
}

TEST(TestPattern, SweepRowsFor640) {
    const test::OwnedFrame frame = Drawn(1, 720, 329);
    EXPECT_EQ(SweepStart(frame, 0, 8), std::vector<int16_t>(8, 1024));
    EXPECT_EQ(SweepStart(frame, 1, 8), (std::vector<int16_t>{1024, 1023, 1023, 1023, 1023, 1022, 1022, 1021}));
    EXPECT_EQ(SweepStart(frame, 7, 12),
              (std::vector<int16_t>{1024, 1021, 1014, 1002, 985, 964, 938, 907, 873, 834, 791, 745}));
    EXPECT_EQ(SweepStart(frame, 160, 8), (std::vector<int16_t>{1024, 0, -1024, 0, 1024, 0, -1024, 0}));
    // pi cut to ten decimals: the peaks of row 320 fall just short of 1024
    // from column 118 on and truncate to 1023.
    std::vector<int16_t> row320;
    for (int c = 0; c < 720; ++c) row320.push_back(static_cast<int16_t>((c < 118 ? 1024 : 1023) * (c % 2 ? -1 : 1)));
    EXPECT_EQ(SweepStart(frame, 320, 720), row320);
    for (int r = 0; r < 321; ++r) EXPECT_EQ(frame.At(r, 0).cr, 1024) << "row " << r;
}

TEST(TestPattern, SweepRowsFor720) {
    const test::OwnedFrame frame = Drawn(0, 720, 369);
    EXPECT_EQ(SweepStart(frame, 1, 8), (std::vector<int16_t>{1024, 1023, 1023, 1023, 1023, 1023, 1022, 1022}));
    EXPECT_EQ(SweepStart(frame, 7, 12),
              (std::vector<int16_t>{1024, 1022, 1016, 1006, 993, 976, 955, 931, 904, 873, 838, 801}));
    EXPECT_EQ(SweepStart(frame, 180, 8), (std::vector<int16_t>{1024, 0, -1024, 0, 1024, 0, -1024, 0}));
    EXPECT_EQ(SweepStart(frame, 360, 4), (std::vector<int16_t>{1024, -1024, 1024, -1024}));
}

TEST(TestPattern, BlockRowsAndEdgesOfTheFrame) {
    const struct {
        int w, h;
        int sweepRows;  // rows above the eight block rows
        int leftEnd;    // first column after the left block
        int rightStart; // first column of the right block
    } cases[] = {
        {720, 12, 4, 344, 376},
        {720, 8, 0, 344, 376},  // eight rows or fewer: all block rows
        {40, 3, 0, 4, 36},
        {40, 9, 1, 4, 36},      // nine rows: one flat sweep row on top
        {33, 9, 1, 0, 32},      // no left block, the right block is column 32
        {32, 9, 1, 0, 32},      // the gap covers the whole row
        {1, 2, 0, 0, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("w " + std::to_string(c.w) + ", h " + std::to_string(c.h));
        for (const int line640 : {0, 1}) {
            const test::OwnedFrame before = test::MakeRandomFrame(c.w, c.h, c.w + 2, 77u + c.w + c.h);
            const test::OwnedFrame frame = Drawn(line640, c.w, c.h);
            for (int r = 0; r < c.h; ++r) {
                for (int col = 0; col < c.w + 2; ++col) {
                    PIXEL_YC expected = col < c.leftEnd ? kLeftBlock : (col < c.rightStart ? kGap : kRightBlock);
                    if (r < c.sweepRows) expected = PIXEL_YC{2048, 1024, 1024};  // flat near column 0
                    if (col >= c.w) expected = before.At(r, col);                // past w: untouched
                    if (r < c.sweepRows && col > 0 && col < c.w) continue;       // the sweep itself
                    EXPECT_EQ(frame.At(r, col), expected) << "row " << r << ", column " << col;
                }
            }
        }
    }
}

TEST(TestPattern, WritesNothingForEmptyFrames) {
    test::OwnedFrame frame = test::MakeRandomFrame(4, 4, 4, 5u);
    const test::OwnedFrame before = frame;
    DrawTestPattern(1, frame.pixels.data(), 0, 4, 4);
    DrawTestPattern(1, frame.pixels.data(), 4, 0, 4);
    DrawTestPattern(1, frame.pixels.data(), -1, 4, 4);
    EXPECT_TRUE(test::SamePixels(before, frame));
}

}  // namespace
}  // namespace trelvane
