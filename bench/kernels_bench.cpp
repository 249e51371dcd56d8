// Every pipeline kernel in its forms: scalar (form 0), portable packed (1),
// SSE2 packed (2) and AVX2 packed (3; its gather, scatter and interpolation
// step through two positions at a time, as the SSE2 ones do). A packed call handles four rows, so the time is
// also reported per row (ns_per_row) to compare the forms; n is the half-rate
// length of a row (360 for a 720-pixel row, 960 for a 1920-pixel one).
// ns_per_row is an inverted rate scaled to nanoseconds: the console prints it
// with the "s" suffix Google Benchmark gives every inverted rate.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "kernels/cpu_features.h"
#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"

namespace {

using trelvane::kQuadEdge;
using trelvane::kQuadLanes;
using trelvane::PackedKernels;

enum Form { kScalar = 0, kPortable = 1, kSse2 = 2, kAvx2 = 3 };

// Lines and rows for one call of either path, laid out as in the work
// buffers: extended lines of n + 32 positions, full-rate lines of 2n.
struct KernelBench {
    explicit KernelBench(benchmark::State& state)
        : n(static_cast<int>(state.range(0))),
          form(static_cast<Form>(state.range(1))),
          pitch(2 * n),
          padCr(kQuadLanes * 2 * (n + kQuadEdge)),
          padCb(padCr.size()),
          lowCr(kQuadLanes * 2 * n),
          lowCb(lowCr.size()),
          rows(static_cast<size_t>(kQuadLanes) * pitch) {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> chroma(-2048, 2047);
        for (auto* line : {&padCr, &padCb, &lowCr, &lowCb}) {
            for (int16_t& v : *line) v = static_cast<int16_t>(chroma(rng));
        }
        for (PIXEL_YC& px : rows) {
            px = {0, static_cast<int16_t>(chroma(rng)), static_cast<int16_t>(chroma(rng))};
        }
        static const char* const kLabels[] = {"scalar", "portable", "sse2", "avx2"};
        state.SetLabel(kLabels[form]);
        if (form != kScalar) {
            static constexpr uint32_t kMasks[] = {0, 0, trelvane::kCpuSse2,
                                                  trelvane::kCpuSse2 | trelvane::kCpuAvx2};
            kernels = trelvane::PackedKernelsFor(kMasks[form]);
            if (kernels.cpuFeatures != kMasks[form]) {
                state.SkipWithError("this build or processor cannot run the form");
            } else {
                table = &kernels;
            }
        }
    }

    // Element 16 of a scalar extended line, position 16 of a packed one.
    int16_t* Body(std::vector<int16_t>& line) const {
        return line.data() + (form == kScalar ? 1 : kQuadLanes) * kQuadEdge;
    }

    // Times scalar() (one row a call) or packed(*table) (four rows a call).
    template <typename Scalar, typename Packed>
    void Run(benchmark::State& state, Scalar scalar, Packed packed) {
        if (form != kScalar && table == nullptr) return;
        for (auto _ : state) {
            if (form == kScalar) {
                scalar();
            } else {
                packed(*table);
            }
            benchmark::ClobberMemory();
        }
        const double rowsPerCall = form == kScalar ? 1.0 : kQuadLanes;
        state.counters["ns_per_row"] =
            benchmark::Counter(rowsPerCall * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
    }

    const int n;
    const Form form;
    const int pitch;
    std::vector<int16_t> padCr, padCb, lowCr, lowCb;
    std::vector<PIXEL_YC> rows;
    PackedKernels kernels{};
    const PackedKernels* table = nullptr;
};

// Value counts of the packed rotations and blends: the whole extended
// line, or the body.
int LineValues(int n) { return kQuadLanes * (n + 2 * kQuadEdge); }

void BM_Gather(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state,
        [&] { trelvane::GatherChromaRow(b.padCr.data(), b.padCb.data(), b.rows.data(), b.n); },
        [&](const PackedKernels& t) {
            t.gatherChromaQuad(b.padCr.data(), b.padCb.data(), b.rows.data(), b.n, b.pitch);
        });
}

void BM_Scatter(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state,
        [&] { trelvane::ScatterChromaRow(b.rows.data(), b.padCr.data(), b.padCb.data(), 2 * b.n); },
        [&](const PackedKernels& t) {
            t.scatterChromaQuad(b.rows.data(), b.padCr.data(), b.padCb.data(), 2 * b.n, b.pitch);
        });
}

template <trelvane::LowPassFn Scalar, trelvane::LowPassFn PackedKernels::*Packed>
void BM_Filter(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { Scalar(b.lowCr.data(), b.Body(b.padCr), b.n); },
        [&](const PackedKernels& t) { (t.*Packed)(b.lowCr.data(), b.Body(b.padCr), b.n); });
}

void BM_RotateToIQ(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { trelvane::RotateToIQ(b.padCr.data(), b.padCb.data(), b.n + 2 * kQuadEdge); },
        [&](const PackedKernels& t) {
            t.rotateToIQQuad(b.padCr.data(), b.padCb.data(), LineValues(b.n));
        });
}

void BM_RotateFromIQ(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { trelvane::RotateFromIQ(b.lowCr.data(), b.lowCb.data(), b.n); },
        [&](const PackedKernels& t) {
            t.rotateFromIQQuad(b.lowCr.data(), b.lowCb.data(), kQuadLanes * b.n);
        });
}

void BM_BlendDetail(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { trelvane::BlendDetail(b.lowCr.data(), b.Body(b.padCr), b.n, 64); },
        [&](const PackedKernels& t) {
            t.blendDetailQuad(b.lowCr.data(), b.Body(b.padCr), kQuadLanes * b.n, 64);
        });
}

void BM_BlendDetailCored(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { trelvane::BlendDetailCored(b.lowCr.data(), b.Body(b.padCb), b.n, 64, 48); },
        [&](const PackedKernels& t) {
            t.blendDetailCoredQuad(b.lowCr.data(), b.Body(b.padCb), kQuadLanes * b.n, 64, 48);
        });
}

void BM_Upsample(benchmark::State& state) {
    KernelBench b(state);
    b.Run(
        state, [&] { trelvane::UpsampleChroma2x(b.padCr.data(), b.lowCr.data(), b.n); },
        [&](const PackedKernels& t) {
            t.upsampleChroma2xQuad(b.padCr.data(), b.lowCr.data(), b.n);
        });
}

void KernelArgs(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({{360, 960}, {kScalar, kPortable, kSse2, kAvx2}})->ArgNames({"n", "form"});
}

}  // namespace

BENCHMARK(BM_Gather)->Apply(KernelArgs);
BENCHMARK(BM_Scatter)->Apply(KernelArgs);
BENCHMARK(BM_Filter<trelvane::LowPass640, &PackedKernels::lowPass640Quad>)
    ->Name("BM_LowPass640")
    ->Apply(KernelArgs);
BENCHMARK(BM_Filter<trelvane::LowPass720, &PackedKernels::lowPass720Quad>)
    ->Name("BM_LowPass720")
    ->Apply(KernelArgs);
BENCHMARK(BM_Filter<trelvane::WideLowPass, &PackedKernels::wideLowPassQuad>)
    ->Name("BM_WideLowPass")
    ->Apply(KernelArgs);
BENCHMARK(BM_RotateToIQ)->Apply(KernelArgs);
BENCHMARK(BM_RotateFromIQ)->Apply(KernelArgs);
BENCHMARK(BM_BlendDetail)->Apply(KernelArgs);
BENCHMARK(BM_BlendDetailCored)->Apply(KernelArgs);
BENCHMARK(BM_Upsample)->Apply(KernelArgs);
