// The y4m stream: header, workers, each frame on its route, frames written in order.
#include "pipeline/y4m_stream.h"

#include <memory>

#include "convert/sample_convert.h"
#include "frame/test_pattern.h"
#include "io/byte_io.h"
#include "io/y4m.h"
#include "io/y4m_work_frame.h"
#include "pipeline/filter_runner.h"
#include "pipeline/progress.h"
#include "pipeline/y4m_planar_route.h"

namespace trelvane::cli {

namespace {

// What one worker owns: its filter and its YC48 frames, sized once, or the
// work buffers of the planar route.
struct Y4mWorker {
    std::unique_ptr<FilterRunner> runner;
    std::vector<PIXEL_YC> work;     // one row per chroma row
    std::vector<PIXEL_YC> pattern;  // 4:2:0 with the test pattern: the full-size picture
    WorkBuffers planar;
};

// Filters one frame in place.
//
// For 4:2:2 and 4:4:4 the work frame has the picture's own rows, so the
// filter draws the test pattern itself. For 4:2:0 the work frame has one row
// per chroma row; the pattern is drawn at full size once, its even rows give
// the chroma rows, and the filter then runs with the pattern switched off.
bool FilterFrame(const Y4mHeader& header, const Y4mFrameLayout& layout, const ConversionTables& tables,
                 FilterSettings settings, Y4mWorker& worker, uint8_t* frame) {
    const int w = header.width;
    const bool test = settings.test != 0;
    const bool rowsHalved = header.layout == ChromaLayout::k420;
    if (test && rowsHalved) {
        for (int r = 0; r < layout.chromaHeight; ++r) {
            const PIXEL_YC* from = worker.pattern.data() + static_cast<size_t>(2 * r) * static_cast<size_t>(w);
            std::copy(from, from + w, worker.work.data() + static_cast<size_t>(r) * static_cast<size_t>(w));
        }
        settings.test = 0;
    } else if (!test) {
        LoadChroma(header, layout, tables, frame, worker.work.data());
    }
    if (!worker.runner->Run(settings, {worker.work.data(), w, layout.chromaHeight, w})) return false;
    if (test) StoreLuma(header, tables, rowsHalved ? worker.pattern.data() : worker.work.data(), frame);
    StoreChroma(header, layout, tables, worker.work.data(), frame);
    return true;
}

}  // namespace

int RunY4mStream(const ToolOptions& options, const StreamContext& context) {
    FdSource source(context.inFd);
    Y4mReader reader(source, context.inputName);
    Y4mHeader header;
    std::string error;
    if (!reader.ReadHeader(header, error)) return FailBeforeFrames(context, error);
    const SampleScale scale{header.depth, header.fullRange};
    if (!KeepsEveryCode(scale) && !options.quiet) {
        PrintError(context.err, "note: " + std::to_string(header.depth) +
                                    "-bit samples are finer than the filter's YC48 units; "
                                    "chroma is rounded to YC48 precision, luma is kept as it is");
    }
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    const ConversionTables tables(scale);
    const int workers = WorkerCount(options);
    const size_t workPixels = static_cast<size_t>(header.width) * static_cast<size_t>(layout.chromaHeight);
    const bool patternPicture = options.settings.test != 0 && header.layout == ChromaLayout::k420;
    // Subsampled chroma goes straight from the planes through the filter;
    // only what that route does not cover needs the YC48 frame.
    const bool planar = PlanarRouteCovers(header, options.settings);

    std::vector<Y4mWorker> pool(static_cast<size_t>(workers));
    for (Y4mWorker& worker : pool) {
        worker.runner = std::make_unique<FilterRunner>(workers == 1);
        if (!planar) worker.work.resize(workPixels);
        if (patternPicture) {
            worker.pattern.resize(static_cast<size_t>(header.width) * static_cast<size_t>(header.height));
            DrawTestPattern(options.settings.line640, worker.pattern.data(), header.width, header.height,
                            header.width);
        }
    }
    std::vector<FrameSlot> slots(SlotCount(workers));
    for (FrameSlot& slot : slots) {
        slot.bytes.resize(layout.frameBytes);
        slot.params.reserve(kMaxY4mHeaderBytes);
    }

    // Written when the first frame is, or at a clean end without one.
    FrameOutput& output = *context.output;
    output.SetPrologue(FormatY4mStreamHeader(header));

    // Frame headers are usually the bare "FRAME\n".
    const int64_t payload = context.inputBytes < 0 ? -1 : context.inputBytes - static_cast<int64_t>(reader.headerBytes());
    Progress progress(context.err, context.showProgress,
                      ExpectedFrames(payload, static_cast<int64_t>(layout.frameBytes) + 6, options.maxFrames));
    std::string frameHeader;
    frameHeader.reserve(kMaxY4mHeaderBytes + 8);

    PipelineHooks hooks;
    SetCommonHooks(hooks, options, context);
    hooks.read = [&](FrameSlot& slot, std::string& message) {
        if (options.maxFrames >= 0 && slot.index >= options.maxFrames) return ReadStatus::kEnd;
        switch (reader.ReadFrame(slot.params, slot.bytes.data(), layout.frameBytes, message)) {
            case Y4mReader::FrameResult::kFrame:
                return ReadStatus::kFrame;
            case Y4mReader::FrameResult::kEnd:
                return ReadStatus::kEnd;
            case Y4mReader::FrameResult::kError:
                break;
        }
        message = "frame " + std::to_string(slot.index + 1) + ": " + message;
        return ReadStatus::kError;
    };
    hooks.process = [&](FrameSlot& slot, int w, std::string& message) {
        Y4mWorker& worker = pool[static_cast<size_t>(w)];
        const bool filtered =
            planar ? FilterChromaPlanes(header, layout, tables, options.settings, worker.planar, slot.bytes.data())
                   : FilterFrame(header, layout, tables, options.settings, worker, slot.bytes.data());
        if (filtered) return true;
        message = "frame " + std::to_string(slot.index + 1) + ": the filter could not allocate its work buffers";
        return false;
    };
    hooks.write = [&](FrameSlot& slot) {
        frameHeader.assign("FRAME");
        frameHeader += slot.params;
        frameHeader += '\n';
        if (const int e = output.Write(frameHeader.data(), frameHeader.size()); e != 0) return e;
        if (const int e = output.Write(slot.bytes.data(), slot.bytes.size()); e != 0) return e;
        output.EndFrame();
        return 0;
    };
    hooks.written = [&](int64_t done) { progress.FrameWritten(done); };

    const PipelineResult result = RunFramePipeline(workers, slots, hooks, context.startThread);
    for (Y4mWorker& worker : pool) ReleaseWorkBuffers(worker.planar);
    progress.Finish();
    return FinishRun(result, context);
}

}  // namespace trelvane::cli
