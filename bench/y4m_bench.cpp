// One 720x480 y4m frame through the tool's frame filter, per colour space and
// mode: the chroma planes straight through the frame driver, as the stream,
// preview and the demo filter them.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "io/y4m.h"
#include "pipeline/y4m_frame_filter.h"

namespace {

using namespace trelvane;
using namespace trelvane::cli;

void BM_Y4mFrame(benchmark::State& state) {
    static const char* const kColourSpaces[] = {"422", "420", "422p10", "444", "411"};
    const std::string colourSpace = kColourSpaces[state.range(0)];
    Y4mHeader header;
    std::string error;
    if (!ParseY4mStreamHeader("YUV4MPEG2 W720 H480 C" + colourSpace, header, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    const ConversionTables tables({header.depth, header.fullRange});
    std::vector<uint8_t> frame(layout.frameBytes);
    std::mt19937 rng(1);
    // Codes near neutral chroma, as in real pictures.
    std::uniform_int_distribution<int> code(96, 160);
    for (size_t i = 0; i < frame.size(); i += static_cast<size_t>(layout.bytesPerSample)) {
        frame[i] = static_cast<uint8_t>(code(rng));
    }
    FilterSettings settings;
    settings.mode = static_cast<int>(state.range(1));
    Y4mFrameFilter filter(header, tables, settings);
    state.SetLabel(colourSpace);

    // The frame is filtered over and over in place: the work per frame does
    // not depend on the values.
    for (auto _ : state) {
        filter.Filter(frame.data());
        benchmark::ClobberMemory();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Y4mFrame)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 2, 3, 4}})
    ->ArgNames({"format", "mode"})
    ->Unit(benchmark::kMicrosecond);
