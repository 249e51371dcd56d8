// One 720x480 y4m frame's chroma through the tool's two routes, per mode: the
// YC48 route (planes to a YC48 frame, ProcessFrameWith, back to the planes)
// and the planar route (the planes straight through the half-rate stages).
// Both give the same bytes; the tests hold them to that.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "io/y4m.h"
#include "io/y4m_work_frame.h"
#include "pipeline/y4m_planar_route.h"

namespace {

using namespace trelvane;
using namespace trelvane::cli;

enum Route { kYc48 = 0, kPlanar = 1 };

void BM_Y4mFrame(benchmark::State& state) {
    static const char* const kColourSpaces[] = {"422", "420", "422p10"};
    const std::string colourSpace = kColourSpaces[state.range(0)];
    const int mode = static_cast<int>(state.range(1));
    const auto route = static_cast<Route>(state.range(2));
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
    settings.mode = mode;
    WorkBuffers buffers;
    std::vector<PIXEL_YC> work(static_cast<size_t>(header.width) * layout.chromaHeight);
    state.SetLabel(colourSpace + (route == kPlanar ? " planar" : " yc48"));

    // The frame is filtered over and over in place: the work per frame does
    // not depend on the values.
    for (auto _ : state) {
        if (route == kPlanar) {
            FilterChromaPlanes(header, layout, tables, settings, buffers, frame.data());
        } else {
            LoadChroma(header, layout, tables, frame.data(), work.data());
            ProcessFrameWith(buffers, settings,
                             {work.data(), header.width, layout.chromaHeight, header.width});
            StoreChroma(header, layout, tables, work.data(), frame.data());
        }
        benchmark::ClobberMemory();
    }
    ReleaseWorkBuffers(buffers);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Y4mFrame)
    ->ArgsProduct({{0, 1, 2}, {1, 2, 3, 4}, {kYc48, kPlanar}})
    ->ArgNames({"format", "mode", "route"})
    ->Unit(benchmark::kMicrosecond);
