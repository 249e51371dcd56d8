// `trelvane demo`: the test pattern through every mode, as PNGs and a contact sheet.
#include "demo/demo.h"

#include <filesystem>
#include <system_error>

#include "pictures/bitmap_font.h"
#include "pictures/rgb_image.h"
#include "pipeline/filter_runner.h"
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

}  // namespace

std::vector<std::string> DemoFileNames() {
    std::vector<std::string> names;
    for (const int line : kLineLengths) {
        for (int mode = 0; mode < kModes; ++mode) names.push_back(PictureName(mode, line));
    }
    names.push_back("contact-sheet.png");
    return names;
}

int RunDemo(const ToolOptions& options, std::FILE* err) {
    const std::filesystem::path dir(options.demoDir);
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
            if (!WritePng((dir / PictureName(mode, line)).string(), picture, error)) {
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
    if (!WritePng((dir / "contact-sheet.png").string(), sheet, error)) {
        PrintError(err, error);
        return kExitBadInput;
    }
    if (!options.quiet) {
        std::fprintf(err, "trelvane: wrote %d pictures and contact-sheet.png to %s\n", written,
                     dir.string().c_str());
    }
    return kExitOk;
}

}  // namespace trelvane::cli
