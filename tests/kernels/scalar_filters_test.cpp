// The three symmetric low-pass filters over a gathered half-rate line.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/chroma_rows.h"
#include "support/test_frames.h"

namespace trelvane {
namespace {

struct FilterCase {
    const char* name;
    LowPassFn filter;
    // Q16 taps from the centre outward, written out here independently of
    // the kernels' own tables.
    std::vector<int64_t> taps;
    // Output p + k for a lone 1000 at p, k = 0 outward.
    std::vector<int16_t> impulse;
};

const FilterCase kFilters[] = {
    {"LowPass640", LowPass640,
     {10762, 10063, 8178, 5660, 3170, 1231, 70, -383, -385, -217},
     {164, 154, 125, 86, 48, 19, 1, -6, -6, -3}},
    {"LowPass720", LowPass720,
     {9792, 9246, 7752, 5693, 3552, 1748, 518, -115, -294, -228},
     {149, 141, 118, 87, 54, 27, 8, -2, -4, -3}},
    {"WideLowPass", WideLowPass,
     {32892, 19937, -107, -4573, 59, 1198, -19, -173},
     {502, 304, -2, -70, 1, 18, 0, -3}},
};

// The exact sum of one output; past either end the end sample stands in.
int64_t ExactSum(const FilterCase& f, const std::vector<int16_t>& body, int i) {
    const int n = static_cast<int>(body.size());
    const int reach = static_cast<int>(f.taps.size()) - 1;
    int64_t sum = 0;
    for (int k = -reach; k <= reach; ++k) {
        sum += f.taps[std::abs(k)] * body[std::clamp(i + k, 0, n - 1)];
    }
    return sum;
}

// A line as the driver builds it: gathered from a row whose even pixels
// carry the body values.
std::vector<int16_t> GatheredLine(const std::vector<int16_t>& body) {
    const int n = static_cast<int>(body.size());
    std::vector<PIXEL_YC> row(2 * n, PIXEL_YC{0, 0, 0});
    for (int j = 0; j < n; ++j) row[2 * j].cr = body[j];
    std::vector<int16_t> cr(n + 2 * kLineEdge), cb(n + 2 * kLineEdge);
    GatherChromaRow(cr.data(), cb.data(), row.data(), n);
    return cr;
}

std::vector<int16_t> Filtered(const FilterCase& f, const std::vector<int16_t>& body) {
    const std::vector<int16_t> line = GatheredLine(body);
    std::vector<int16_t> out(body.size() + 2, 0x5A5A);
    f.filter(out.data(), line.data() + kLineEdge, static_cast<int>(body.size()));
    EXPECT_EQ(out[body.size()], 0x5A5A) << "wrote past n";
    out.resize(body.size());
    return out;
}

TEST(ChromaFilters, ImpulseResponse) {
    for (const FilterCase& f : kFilters) {
        SCOPED_TRACE(f.name);
        std::vector<int16_t> body(41, 0);
        const int p = 20;
        body[p] = 1000;
        std::vector<int16_t> expected(41, 0);
        for (size_t k = 0; k < f.impulse.size(); ++k) {
            expected[p + k] = f.impulse[k];
            expected[p - k] = f.impulse[k];
        }
        EXPECT_EQ(Filtered(f, body), expected);
    }
}

TEST(ChromaFilters, ConstantLinePassesUnchanged) {
    for (const FilterCase& f : kFilters) {
        for (const int16_t v : {-32768, -1, 0, 517, 32767}) {
            for (const int n : {1, 7}) {
                SCOPED_TRACE(std::string(f.name) + ", v " + std::to_string(v) + ", n " + std::to_string(n));
                const std::vector<int16_t> line(n, v);
                EXPECT_EQ(Filtered(f, line), line);
            }
        }
    }
}

// Random lines leaning on the 16-bit extremes, including the row ends where
// the filters reach into the extensions: every output is the low 16 bits of
// the exact sum, rounded and shifted.
TEST(ChromaFilters, MatchExactArithmeticIncludingRowEnds) {
    for (const FilterCase& f : kFilters) {
        for (const int n : {1, 2, 9, 10, 40}) {
            const uint32_t seed = 500u + n;
            SCOPED_TRACE(std::string(f.name) + ", seed " + std::to_string(seed));
            test::Rng rng(seed);
            std::vector<int16_t> body(n);
            for (int16_t& v : body) v = rng.Extreme16();
            std::vector<int16_t> expected(n);
            for (int i = 0; i < n; ++i) expected[i] = test::Low16Of((ExactSum(f, body, i) + 32768) >> 16);
            EXPECT_EQ(Filtered(f, body), expected);
        }
    }
}

// Extremes signed like the taps drive the sum past the 32-bit range.
TEST(ChromaFilters, SumBeyond32BitsKeepsLow16BitsOfExactResult) {
    for (const FilterCase& f : kFilters) {
        for (const int sign : {1, -1}) {
            SCOPED_TRACE(std::string(f.name) + ", sign " + std::to_string(sign));
            const int reach = static_cast<int>(f.taps.size()) - 1;
            const int p = reach + 2;
            std::vector<int16_t> body(2 * p + 1, 0);
            for (int k = -reach; k <= reach; ++k) {
                body[p + k] = (f.taps[std::abs(k)] * sign) > 0 ? 32767 : -32768;
            }
            const int64_t sum = ExactSum(f, body, p);
            ASSERT_TRUE(sum > INT32_MAX || sum < INT32_MIN) << sum;
            EXPECT_EQ(Filtered(f, body)[p], test::Low16Of((sum + 32768) >> 16));
        }
    }
}

}  // namespace
}  // namespace trelvane
