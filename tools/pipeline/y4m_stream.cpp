// The y4m stream: header, workers, each frame filtered, frames written in order.
#include "pipeline/y4m_stream.h"

#include <memory>

#include "convert/sample_convert.h"
#include "io/byte_io.h"
#include "io/y4m.h"
#include "pipeline/progress.h"
#include "pipeline/y4m_frame_filter.h"

namespace trelvane::cli {

int RunY4mStream(const ToolOptions& options, const StreamContext& context) {
    FdSource source(context.inFd);
    Y4mReader reader(source, context.inputName, options.input);
    Y4mHeader header;
    std::string error;
    if (!reader.ReadHeader(header, error)) return FailBeforeFrames(context, error);
    const SampleScale scale{header.depth, header.fullRange};
    const bool changes = ChangesFrames(header, options.settings);
    if (!options.quiet && header.layout == ChromaLayout::kMono) {
        PrintError(context.err, "note: monochrome video (C" + header.colourSpace +
                                    ") has no chroma to filter; its frames pass through unchanged");
    } else if (!options.quiet && changes && !KeepsEveryCode(scale)) {
        PrintError(context.err, "note: " + std::to_string(header.depth) +
                                    "-bit samples are finer than the filter's YC48 units; "
                                    "chroma is rounded to YC48 precision, luma is kept as it is");
    }
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    const ConversionTables tables(scale);
    const int workers = WorkerCount(options);
    std::vector<std::unique_ptr<Y4mFrameFilter>> filters;
    for (int w = 0; w < workers; ++w) {
        filters.push_back(std::make_unique<Y4mFrameFilter>(header, tables, options.settings));
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
        if (filters[static_cast<size_t>(w)]->Filter(slot.bytes.data())) return true;
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
    progress.Finish();
    return FinishRun(result, context);
}

}  // namespace trelvane::cli
