// `trelvane demo`: the test pattern through every mode, and a built-in capture
// before and after, as PNGs and contact sheets.
#include "demo/demo.h"

#include <filesystem>
#include <system_error>

#include "demo/capture_models.h"
#include "pictures/before_after.h"
#include "pictures/bitmap_font.h"
#include "pictures/rgb_image.h"
#include "pipeline/filter_runner.h"
#include "io/byte_io.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

namespace {

constexpr int kModes = 5;  // 0 (the unfiltered pattern) to 4
constexpr int kLineLengths[] = {640, 720};
constexpr int kGap = 16;
constexpr int kLabelScale = 3;
constexpr int kLabelHeight = kGlyphHeight * kLabelScale + 12;
constexpr Rgb kBackground{40, 40, 40};
constexpr Rgb kLabelColour{240, 240, 240};

std::string PictureName(int mode, int line) {
    const std::string stem = mode == 0 ? "unfiltered" : "mode" + std::to_string(mode);
    return stem + "-" + std::to_string(line) + ".png";
}

std::string PictureLabel(int mode, int line) {
    const std::string what = mode == 0 ? "UNFILTERED" : "MODE " + std::to_string(mode);
    return what + " - LINE " + std::to_string(line);
}

struct CaptureKind {
    AnalogPath path;
    const char* folder;
    const char* title;
};
constexpr CaptureKind kCaptures[] = {
    {AnalogPath::kBroadcast, "capture-broadcast", "BUILT-IN PICTURE THROUGH COMPOSITE NTSC"},
    {AnalogPath::kVhs, "capture-vhs", "BUILT-IN PICTURE THROUGH COLOUR-UNDER TAPE"},
};

// The capture clean, as captured, through modes 1 to 4 (the demo's strength
// and noise) and through each preset.
std::vector<BeforeAfterVariant> CaptureVariants(const ToolOptions& options, const std::vector<uint8_t>* clean) {
    std::vector<BeforeAfterVariant> variants = {{"clean", "CLEAN PICTURE", std::nullopt, clean},
                                                {"unfiltered", "AS CAPTURED, UNFILTERED", std::nullopt, nullptr}};
    for (int mode = 1; mode < kModes; ++mode) {
        FilterSettings s = options.settings;
        s.mode = mode;
        variants.push_back({"mode" + std::to_string(mode), SettingsLabel(s), s, nullptr});
    }
    for (const FilterPreset& p : FilterPresets()) {
        FilterSettings s = options.settings;
        s.mode = p.mode;
        s.strength = p.strength;
        s.noise = p.noise;
        variants.push_back({p.name, "PRESET " + std::string(p.name) + ": " + SettingsLabel(s), s, nullptr});
    }
    return variants;
}

// Each capture's pictures in a folder of its own; false with a reason.
bool WriteCaptures(const ToolOptions& options, const std::filesystem::path& dir, std::string& error) {
    Y4mHeader header;
    if (!ParseY4mStreamHeader(CaptureHeaderLine(), header, error)) return false;
    const ConversionTables tables({header.depth, header.fullRange});
    const std::vector<uint8_t> clean = CaptureFrame(AnalogPath::kNone);
    for (const CaptureKind& kind : kCaptures) {
        const std::vector<uint8_t> frame = CaptureFrame(kind.path);
        const CropRect crop = ChooseCrop(FramePicture(header, tables, frame.data()), header.width, header.height);
        std::error_code ec;
        const std::filesystem::path folder = dir / kind.folder;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = "cannot create directory '" + folder.string() + "': " + ec.message();
            return false;
        }
        if (!WriteBeforeAfter(header, frame, CaptureVariants(options, &clean), crop, folder.string(), kind.title,
                              true, error)) {
            return false;
        }
    }
    return true;
}

// Ctrl-C between two pictures: the ones written stay, each whole.
int Interrupted(std::FILE* err, int signal, int written, const std::filesystem::path& dir) {
    PrintError(err, "interrupted after " + std::to_string(written) + " pictures; they are in " + dir.string());
    return kExitSignalBase + signal;
}

}  // namespace

std::vector<std::string> DemoFileNames() {
    std::vector<std::string> names;
    for (const int line : kLineLengths) {
        for (int mode = 0; mode < kModes; ++mode) names.push_back(PictureName(mode, line));
    }
    names.push_back("contact-sheet.png");
    for (const CaptureKind& kind : kCaptures) {
        for (const std::string& name : BeforeAfterFileNames(CaptureVariants(ToolOptions{}, nullptr))) {
            names.push_back(std::string(kind.folder) + "/" + name);
        }
    }
    return names;
}

int RunDemo(const ToolOptions& options, std::FILE* err) {
    const std::filesystem::path dir(options.demoDir);
    // Nothing is written, not even the directory, while any name is taken.
    if (const std::string taken = FirstExistingFile(options.demoDir, DemoFileNames()); !taken.empty()) {
        PrintError(err, "'" + taken +
                            "' exists; demo never overwrites a picture: move the old ones away or name another "
                            "directory");
        return kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        PrintError(err, "cannot create directory '" + options.demoDir + "': " + ec.message());
        return kExitBadInput;
    }

    // One row per line length, one column per mode; a label above each tile.
    const int cellHeight = kLabelHeight + kDemoHeight;
    RgbImage sheet(kModes * kDemoWidth + (kModes + 1) * kGap, 2 * cellHeight + 3 * kGap);
    FillRect(sheet, 0, 0, sheet.width, sheet.height, kBackground);

    FilterRunner runner(true);
    std::vector<PIXEL_YC> frame(static_cast<size_t>(kDemoWidth) * kDemoHeight);
    std::string error;
    int written = 0;
    for (int row = 0; row < 2; ++row) {
        const int line = kLineLengths[row];
        for (int mode = 0; mode < kModes; ++mode) {
            FilterSettings settings = options.settings;
            settings.mode = mode;
            settings.line640 = line == 640 ? 1 : 0;
            settings.test = 1;
            if (!runner.Run(settings, {frame.data(), kDemoWidth, kDemoHeight, kDemoWidth})) {
                PrintError(err, "the filter could not allocate its work buffers");
                return kExitBadInput;
            }
            const RgbImage picture = RenderYcFrame(frame.data(), kDemoWidth, kDemoHeight, kDemoWidth);
            if (const int signal = StopSignal(); signal != 0) return Interrupted(err, signal, written, dir);
            if (!WritePng((dir / PictureName(mode, line)).string(), picture, error, true)) {
                PrintError(err, error);
                return kExitBadInput;
            }
            ++written;
            const int x = kGap + mode * (kDemoWidth + kGap);
            const int y = kGap + row * (cellHeight + kGap);
            DrawText(sheet, x, y + 4, PictureLabel(mode, line), kLabelScale, kLabelColour);
            Blit(sheet, picture, x, y + kLabelHeight);
        }
    }
    if (const int signal = StopSignal(); signal != 0) return Interrupted(err, signal, written, dir);
    if (!WritePng((dir / "contact-sheet.png").string(), sheet, error, true) || !WriteCaptures(options, dir, error)) {
        PrintError(err, error);
        return kExitBadInput;
    }
    if (!options.quiet) {
        std::fprintf(err,
                     "trelvane: wrote %d pictures of the test pattern and contact-sheet.png to %s, and a built-in "
                     "capture before and after in %s/%s and %s/%s\n",
                     written, dir.string().c_str(), dir.string().c_str(), kCaptures[0].folder, dir.string().c_str(),
                     kCaptures[1].folder);
    }
    return kExitOk;
}

}  // namespace trelvane::cli
