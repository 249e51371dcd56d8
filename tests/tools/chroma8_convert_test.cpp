// The vector conversions of 8-bit limited-range chroma, in every form the
// processor runs, against the lookup tables they stand in for: every code
// in, every YC48 value out, the four-row interleave both ways, and nothing
// written past the samples a call reports as done.
#include "chroma8_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "sample_convert.h"

namespace trelvane::cli {
namespace {

const ConversionTables& Tables8() {
    static const ConversionTables tables({8, false});
    return tables;
}

uint8_t CodeOf(int16_t v) {
    return static_cast<uint8_t>(Tables8().chromaOut[static_cast<size_t>(v + 32768)]);
}

// The count a vector form reports: whole blocks of 8.
void ExpectDone(int done, int count) { EXPECT_EQ(done, count / 8 * 8); }

// Runs check(form) for every form this build and processor can run.
template <typename Check>
void ForEachForm(Check check) {
#if defined(__SSE2__)
    ASSERT_GE(Chroma8FormCount(), 1) << "an SSE2 build has the SSE2 form";
#endif
    if (Chroma8FormCount() == 0) {
        EXPECT_EQ(Chroma8ToYc48(nullptr, nullptr, 64), 0);
        GTEST_SKIP() << "no vector form in this build: the tables convert every sample";
    }
    for (int i = 0; i < Chroma8FormCount(); ++i) {
        const Chroma8Form& form = Chroma8FormAt(i);
        SCOPED_TRACE(form.name);
        check(form);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(Chroma8Convert, EveryCodeAndEveryValueMatchTheTables) {
    ForEachForm([](const Chroma8Form& form) {
        // Every code, then a count that leaves a tail of 5 the caller converts.
        std::vector<uint8_t> codes(256 + 5);
        for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i);
        std::vector<int16_t> yc(codes.size(), 0x5A5A);
        const int in = form.toYc48(yc.data(), codes.data(), static_cast<int>(codes.size()));
        ExpectDone(in, static_cast<int>(codes.size()));
        for (int i = 0; i < static_cast<int>(codes.size()); ++i) {
            const int16_t expected =
                i < in ? Tables8().chromaIn[codes[static_cast<size_t>(i)]] : int16_t{0x5A5A};
            ASSERT_EQ(yc[static_cast<size_t>(i)], expected)
                << "code " << int{codes[static_cast<size_t>(i)]};
        }

        std::vector<int16_t> values(65536 + 3);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<int16_t>(static_cast<int>(i % 65536) - 32768);
        std::vector<uint8_t> out(values.size(), 0xA5);
        const int back = form.fromYc48(out.data(), values.data(), static_cast<int>(values.size()));
        ExpectDone(back, static_cast<int>(values.size()));
        for (int i = 0; i < static_cast<int>(values.size()); ++i) {
            const uint8_t expected =
                i < back ? CodeOf(values[static_cast<size_t>(i)]) : uint8_t{0xA5};
            ASSERT_EQ(out[static_cast<size_t>(i)], expected)
                << "value " << values[static_cast<size_t>(i)];
        }
    });
}

TEST(Chroma8Convert, FourRowFormsInterleaveLaneByRow) {
    ForEachForm([](const Chroma8Form& form) {
        std::mt19937 rng(11);
        for (const int count : {0, 7, 8, 16, 24, 45, 360}) {
            SCOPED_TRACE("count " + std::to_string(count));
            std::vector<uint8_t> planes[4];
            for (std::vector<uint8_t>& p : planes) {
                p.resize(static_cast<size_t>(count));
                for (uint8_t& b : p) b = static_cast<uint8_t>(rng());
            }
            const uint8_t* const rows[4] = {planes[0].data(), planes[1].data(), planes[2].data(),
                                            planes[3].data()};
            std::vector<int16_t> line(4 * static_cast<size_t>(count) + 4, 0x5A5A);
            const int in = form.toYc48Quad(line.data(), rows, count);
            ExpectDone(in, count);
            for (int i = 0; i < count; ++i) {
                for (int k = 0; k < 4; ++k) {
                    const int16_t expected =
                        i < in ? Tables8().chromaIn[rows[k][i]] : int16_t{0x5A5A};
                    ASSERT_EQ(line[static_cast<size_t>(4 * i + k)], expected) << i << " lane " << k;
                }
            }

            // Back, from positions whose values span the whole 16-bit range.
            for (int16_t& v : line) v = static_cast<int16_t>(rng());
            std::vector<uint8_t> outPlanes[4];
            for (std::vector<uint8_t>& p : outPlanes)
                p.assign(static_cast<size_t>(count) + 1, 0xA5);
            uint8_t* const outRows[4] = {outPlanes[0].data(), outPlanes[1].data(),
                                         outPlanes[2].data(), outPlanes[3].data()};
            const int back = form.fromYc48Quad(outRows, line.data(), count);
            ExpectDone(back, count);
            for (int k = 0; k < 4; ++k) {
                for (int i = 0; i <= count; ++i) {
                    const uint8_t expected =
                        i < back ? CodeOf(line[static_cast<size_t>(4 * i + k)]) : uint8_t{0xA5};
                    ASSERT_EQ(outRows[k][i], expected) << i << " lane " << k;
                }
            }
        }
    });
}

}  // namespace
}  // namespace trelvane::cli
