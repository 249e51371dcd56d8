// The conversions of 8-bit limited-range chroma, in every form the processor
// runs, against the lookup tables: every code in, every YC48 value out, the
// packed interleave both ways, every count from the vector tails to none,
// and nothing written past the count.
#include "convert/chroma8_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "convert/sample_convert.h"
#include "kernels/cpu_features.h"

namespace trelvane {
namespace {

const ConversionTables& Tables8() {
    static const ConversionTables tables({8, false});
    return tables;
}

uint8_t CodeOf(int16_t v) {
    return static_cast<uint8_t>(Tables8().chromaOut[static_cast<size_t>(v + 32768)]);
}

// Runs check(kernels) for the portable forms and each level this build and
// processor run.
template <typename Check>
void ForEachLevel(Check check) {
    for (const uint32_t mask : {0u, uint32_t{kCpuSse2}, kCpuSse2 | kCpuAvx2}) {
        const Chroma8Kernels kernels = Chroma8KernelsFor(mask);
        if (kernels.cpuFeatures != mask) continue;
        SCOPED_TRACE("levels " + std::to_string(mask));
        check(kernels);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(Chroma8Convert, ProcessTableHoldsEveryLevelTheProcessorRuns) {
    EXPECT_EQ(ProcessChroma8Kernels().cpuFeatures, ProcessorCpuFeatures());
    EXPECT_EQ(Chroma8KernelsFor(0).toYc48, &Chroma8ToYc48);
}

TEST(Chroma8Convert, EveryCodeAndEveryValueMatchTheTables) {
    ForEachLevel([](const Chroma8Kernels& form) {
        // Every code, then a tail of 5 after the whole vectors; one guard
        // value past the count.
        const int count = 256 + 5;
        std::vector<uint8_t> codes(count + 1);
        for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i);
        std::vector<int16_t> yc(codes.size(), 0x5A5A);
        form.toYc48(yc.data(), codes.data(), count);
        for (int i = 0; i <= count; ++i) {
            const int16_t expected =
                i < count ? Tables8().chromaIn[codes[static_cast<size_t>(i)]] : int16_t{0x5A5A};
            ASSERT_EQ(yc[static_cast<size_t>(i)], expected)
                << "code " << int{codes[static_cast<size_t>(i)]};
        }

        const int values = 65536 + 3;
        std::vector<int16_t> in(values + 1);
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<int16_t>(static_cast<int>(i % 65536) - 32768);
        std::vector<uint8_t> out(in.size(), 0xA5);
        form.fromYc48(out.data(), in.data(), values);
        for (int i = 0; i <= values; ++i) {
            const uint8_t expected = i < values ? CodeOf(in[static_cast<size_t>(i)]) : uint8_t{0xA5};
            ASSERT_EQ(out[static_cast<size_t>(i)], expected) << "value " << in[static_cast<size_t>(i)];
        }
    });
}

TEST(Chroma8Convert, QuadFormsInterleaveLaneByRow) {
    ForEachLevel([](const Chroma8Kernels& form) {
        std::mt19937 rng(11);
        for (const int count : {0, 1, 7, 8, 16, 24, 45, 360}) {
            SCOPED_TRACE("count " + std::to_string(count));
            std::vector<uint8_t> planes[4];
            for (std::vector<uint8_t>& p : planes) {
                p.resize(static_cast<size_t>(count));
                for (uint8_t& b : p) b = static_cast<uint8_t>(rng());
            }
            const uint8_t* const rows[4] = {planes[0].data(), planes[1].data(), planes[2].data(),
                                            planes[3].data()};
            std::vector<int16_t> line(4 * static_cast<size_t>(count) + 4, 0x5A5A);
            form.toYc48Quad(line.data(), rows, count);
            for (int i = 0; i <= count; ++i) {
                for (int k = 0; k < 4; ++k) {
                    const int16_t expected =
                        i < count ? Tables8().chromaIn[rows[k][i]] : int16_t{0x5A5A};
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
            form.fromYc48Quad(outRows, line.data(), count);
            for (int k = 0; k < 4; ++k) {
                for (int i = 0; i <= count; ++i) {
                    const uint8_t expected =
                        i < count ? CodeOf(line[static_cast<size_t>(4 * i + k)]) : uint8_t{0xA5};
                    ASSERT_EQ(outRows[k][i], expected) << i << " lane " << k;
                }
            }
        }
    });
}

}  // namespace
}  // namespace trelvane
