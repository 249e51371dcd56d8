// `trelvane preview`: frame N of a y4m file through each preset, as PNG pictures.
#include "preview/preview.h"

#include <filesystem>
#include <system_error>

#include "io/byte_io.h"
#include "io/y4m.h"

namespace trelvane::cli {

namespace {

std::string CropText(const CropRect& c) {
    return std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.width) + "," +
           std::to_string(c.height);
}

std::string Upper(std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

}  // namespace

std::vector<BeforeAfterVariant> PreviewVariants(const ToolOptions& options) {
    std::vector<BeforeAfterVariant> variants = {{"unfiltered", "UNFILTERED", std::nullopt, nullptr}};
    const FilterSettings d = DefaultStreamSettings();
    for (const FilterPreset& p : FilterPresets()) {
        FilterSettings s = options.settings;
        s.mode = p.mode;
        s.strength = p.strength;
        s.noise = p.noise;
        const bool isDefault = p.mode == d.mode && p.strength == d.strength && p.noise == d.noise;
        variants.push_back({p.name, Upper(std::string("preset ") + p.name) + (isDefault ? " (DEFAULT): " : ": ") +
                                        SettingsLabel(s), s, nullptr});
    }
    if (options.settingsGiven) {
        variants.push_back({"settings", "YOUR SETTINGS: " + SettingsLabel(options.settings), options.settings, nullptr});
    }
    return variants;
}

int RunPreview(const ToolOptions& o, const StreamContext& context) {
    // Nothing is written, not even the directory, while any name is taken.
    const std::vector<BeforeAfterVariant> variants = PreviewVariants(o);
    const std::filesystem::path dir(o.previewDir);
    if (const std::string taken = FirstExistingFile(o.previewDir, BeforeAfterFileNames(variants)); !taken.empty()) {
        PrintError(context.err, "'" + taken +
                                    "' exists; preview never overwrites a picture: move the old ones away or name "
                                    "another directory");
        return kExitUsage;
    }

    FdSource source(context.inFd);
    Y4mReader reader(source, context.inputName, o.input);
    Y4mHeader header;
    std::string error;
    if (!reader.ReadHeader(header, error)) return FailBeforeFrames(context, error);
    if (o.crop && (int64_t{o.crop->x} + o.crop->width > header.width ||
                   int64_t{o.crop->y} + o.crop->height > header.height)) {
        PrintError(context.err, "--crop " + CropText(*o.crop) + " reaches outside the " +
                                    std::to_string(header.width) + "x" + std::to_string(header.height) + " frame");
        return kExitUsage;
    }
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    std::vector<uint8_t> frame(layout.frameBytes);
    std::string params;
    for (int64_t n = 1; n <= o.previewFrame; ++n) {
        switch (reader.ReadFrame(params, frame.data(), frame.size(), error)) {
            case Y4mReader::FrameResult::kFrame:
                continue;
            case Y4mReader::FrameResult::kEnd:
                if (StopSignal() != 0) return FailBeforeFrames(context, "");
                PrintError(context.err, "--frame " + std::to_string(o.previewFrame) + ": the input ends after " +
                                            CountFrames(n - 1));
                return kExitBadInput;
            case Y4mReader::FrameResult::kError:
                return FailBeforeFrames(context, "frame " + std::to_string(n) + ": " + error);
        }
    }

    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        PrintError(context.err, "cannot create directory '" + o.previewDir + "': " + ec.message());
        return kExitBadInput;
    }
    const ConversionTables tables({header.depth, header.fullRange});
    const CropRect crop = o.crop ? *o.crop : ChooseCrop(FramePicture(header, tables, frame.data()), header.width,
                                                        header.height);
    const int factor = EnlargementFor(crop);
    const std::string inputFile = o.input == "-" ? "STANDARD INPUT" : std::filesystem::path(o.input).filename().string();
    const std::string title = "FRAME " + std::to_string(o.previewFrame) + " OF " + Upper(inputFile) + "  CROP " +
                              CropText(crop) + " ENLARGED " + std::to_string(factor) + "X";
    if (!WriteBeforeAfter(header, frame, variants, crop, o.previewDir, title, true, error)) {
        PrintError(context.err, error);
        return kExitBadInput;
    }
    if (!o.quiet) {
        std::fprintf(context.err,
                     "trelvane: wrote %zu pictures of frame %lld and contact-sheet.png to %s (crop %s, enlarged %d "
                     "times)\n",
                     BeforeAfterFileNames(variants).size() - 1, static_cast<long long>(o.previewFrame),
                     o.previewDir.c_str(), CropText(crop).c_str(), factor);
    }
    return kExitOk;
}

}  // namespace trelvane::cli
