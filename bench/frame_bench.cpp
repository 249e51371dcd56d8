// ProcessFrame per mode on the one-row path, in time per frame and ns/pixel.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "frame/frame_driver.h"
#include "frame/test_pattern.h"

namespace {

void BM_ProcessFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    trelvane::FilterSettings settings;
    settings.mode = static_cast<int>(state.range(2));
    settings.mmx = static_cast<int>(state.range(3));
    std::vector<PIXEL_YC> pattern(static_cast<size_t>(w) * h);
    trelvane::DrawTestPattern(1, pattern.data(), w, h, w);
    std::vector<PIXEL_YC> frame = pattern;
    trelvane::WorkBuffers buffers;
    for (auto _ : state) {
        frame = pattern;
        benchmark::DoNotOptimize(
            trelvane::ProcessFrameWith(buffers, settings, {frame.data(), w, h, w}));
        benchmark::ClobberMemory();
    }
    trelvane::ReleaseWorkBuffers(buffers);
    const double pixels = static_cast<double>(w) * h;
    state.counters["ns_per_pixel"] = benchmark::Counter(
        pixels * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void FrameArgs(benchmark::internal::Benchmark* b) {
    for (int mmx : {0, 1}) {
        for (int mode = 1; mode <= 4; ++mode) {
            b->Args({720, 480, mode, mmx});
            b->Args({1920, 1080, mode, mmx});
        }
    }
    b->ArgNames({"w", "h", "mode", "mmx"});
}

}  // namespace

BENCHMARK(BM_ProcessFrame)->Apply(FrameArgs)->Unit(benchmark::kMillisecond);
