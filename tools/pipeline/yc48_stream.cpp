// The raw YC48 stream: frames read, filtered by each worker's runner, written.
#include "pipeline/yc48_stream.h"

#include <bit>
#include <memory>

#include "io/byte_io.h"
#include "pipeline/filter_runner.h"
#include "pipeline/progress.h"

namespace trelvane::cli {

namespace {

// The stream is little-endian; PIXEL_YC is native.
void ToNativeOrder(std::vector<PIXEL_YC>& pixels) {
    if constexpr (std::endian::native == std::endian::big) {
        for (PIXEL_YC& p : pixels) {
            for (int16_t* v : {&p.y, &p.cb, &p.cr}) {
                const auto u = static_cast<uint16_t>(*v);
                *v = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
            }
        }
    }
}

}  // namespace

int RunYc48Stream(const ToolOptions& options, const Yc48Geometry& geometry, const StreamContext& context) {
    const size_t pixelCount = static_cast<size_t>(geometry.pitch) * static_cast<size_t>(geometry.height);
    const size_t frameBytes = pixelCount * sizeof(PIXEL_YC);
    const int workers = WorkerCount(options);

    // One worker goes through the plug-in's table as the host does; parallel
    // workers each filter in buffers of their own.
    std::vector<std::unique_ptr<FilterRunner>> runners;
    for (int w = 0; w < workers; ++w) runners.push_back(std::make_unique<FilterRunner>(workers == 1));

    std::vector<FrameSlot> slots(SlotCount(workers));
    for (FrameSlot& slot : slots) slot.pixels.resize(pixelCount);

    FdSource source(context.inFd);
    BufferedReader in(source);
    Progress progress(context.err, context.showProgress,
                      ExpectedFrames(context.inputBytes, static_cast<int64_t>(frameBytes), options.maxFrames));

    PipelineHooks hooks;
    SetCommonHooks(hooks, options, context);
    hooks.read = [&](FrameSlot& slot, std::string& error) {
        if (options.maxFrames >= 0 && slot.index >= options.maxFrames) return ReadStatus::kEnd;
        const size_t got = in.ReadExact(slot.pixels.data(), frameBytes);
        if (got == frameBytes) return ReadStatus::kFrame;
        if (got == 0 && !in.failed()) return ReadStatus::kEnd;
        const std::string frame = "frame " + std::to_string(slot.index + 1) + ": ";
        error = frame + (in.failed() ? "cannot read " + context.inputName + ": " + in.error()
                                     : "truncated (" + std::to_string(got) + " of " +
                                           std::to_string(frameBytes) + " bytes)");
        return ReadStatus::kError;
    };
    hooks.process = [&](FrameSlot& slot, int worker, std::string& error) {
        ToNativeOrder(slot.pixels);
        const YcFrame frame{slot.pixels.data(), geometry.width, geometry.height, geometry.pitch};
        if (runners[static_cast<size_t>(worker)]->Run(options.settings, frame)) {
            ToNativeOrder(slot.pixels);
            return true;
        }
        error = "frame " + std::to_string(slot.index + 1) + ": the filter could not allocate its work buffers";
        return false;
    };
    hooks.write = [&](FrameSlot& slot) {
        const int e = context.output->Write(slot.pixels.data(), frameBytes);
        if (e == 0) context.output->EndFrame();
        return e;
    };
    hooks.written = [&](int64_t done) { progress.FrameWritten(done); };

    const PipelineResult result = RunFramePipeline(workers, slots, hooks, context.startThread);
    progress.Finish();
    return FinishRun(result, context);
}

}  // namespace trelvane::cli
