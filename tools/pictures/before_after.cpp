// A frame unfiltered and through settings: whole, enlarged crop, chroma alone, contact sheet.
#include "pictures/before_after.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "convert/plane_samples.h"
#include "pictures/bitmap_font.h"
#include "pipeline/y4m_frame_filter.h"

namespace trelvane::cli {

namespace {

constexpr int kGap = 16;
constexpr int kLabelScale = 3;
constexpr int kLabelHeight = kGlyphHeight * kLabelScale + 12;
constexpr int kMostSheetFrameWidth = 960;  // wider frames are shrunk on the sheet
constexpr Rgb kBackground{40, 40, 40};
constexpr Rgb kLabelColour{240, 240, 240};
constexpr Rgb kCropColour{255, 220, 0};

template <int Bytes>
void LoadPicture(const Y4mHeader& h, const ConversionTables& t, const uint8_t* frame, PIXEL_YC* picture) {
    const Y4mFrameLayout f = FrameLayoutOf(h);
    const int across = PixelsPerChromaSample(h.layout);
    const int down = h.layout == ChromaLayout::k420 ? 2 : 1;
    const uint8_t* cb = frame + f.lumaBytes;
    const uint8_t* cr = cb + f.chromaBytes;
    for (int y = 0; y < h.height; ++y) {
        const uint8_t* luma = frame + static_cast<size_t>(y) * static_cast<size_t>(h.width) * Bytes;
        const size_t chromaRow = static_cast<size_t>(y / down) * static_cast<size_t>(f.chromaWidth) * Bytes;
        for (int x = 0; x < h.width; ++x) {
            PIXEL_YC& p = picture[static_cast<size_t>(y) * static_cast<size_t>(h.width) + static_cast<size_t>(x)];
            p.y = t.lumaIn[LoadSample<Bytes>(luma, x)];
            const bool chroma = h.layout != ChromaLayout::kMono;
            p.cb = chroma ? t.chromaIn[LoadSample<Bytes>(cb + chromaRow, x / across)] : int16_t{0};
            p.cr = chroma ? t.chromaIn[LoadSample<Bytes>(cr + chromaRow, x / across)] : int16_t{0};
        }
    }
}

// Chroma alone: every pixel's luma at mid-grey.
RgbImage RenderChroma(std::vector<PIXEL_YC> picture, int w, int h) {
    for (PIXEL_YC& p : picture) p.y = 2048;
    return RenderYcFrame(picture.data(), w, h, w);
}

}  // namespace

std::vector<PIXEL_YC> FramePicture(const Y4mHeader& header, const ConversionTables& tables, const uint8_t* frame) {
    std::vector<PIXEL_YC> picture(static_cast<size_t>(header.width) * static_cast<size_t>(header.height));
    if (header.depth > 8) {
        LoadPicture<2>(header, tables, frame, picture.data());
    } else {
        LoadPicture<1>(header, tables, frame, picture.data());
    }
    return picture;
}

CropRect ChooseCrop(const std::vector<PIXEL_YC>& picture, int width, int height) {
    const int cw = std::min(kDefaultCropWidth, width);
    const int ch = std::min(kDefaultCropHeight, height);
    // The chroma change from a pixel to the next along its row.
    const auto change = [&](int x, int y) {
        if (x + 1 >= width) return 0;
        const PIXEL_YC* p = picture.data() + static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        return std::abs(p[1].cb - p[0].cb) + std::abs(p[1].cr - p[0].cr);
    };
    // The window slides down one row at a time over column sums of its
    // rows, and across each row by adding a column and taking one away.
    std::vector<int64_t> columns(static_cast<size_t>(width), 0);
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < width; ++x) columns[static_cast<size_t>(x)] += change(x, y);
    }
    const CropRect centre{(width - cw) / 2, (height - ch) / 2, cw, ch};
    CropRect best = centre;
    int64_t most = -1;
    int64_t atCentre = 0;
    for (int y = 0;; ++y) {
        int64_t sum = 0;
        for (int x = 0; x < cw; ++x) sum += columns[static_cast<size_t>(x)];
        for (int x = 0;; ++x) {
            if (sum > most) {
                most = sum;
                best.x = x;
                best.y = y;
            }
            if (x == centre.x && y == centre.y) atCentre = sum;
            if (x + cw >= width) break;
            sum += columns[static_cast<size_t>(x + cw)] - columns[static_cast<size_t>(x)];
        }
        if (y + ch >= height) break;
        for (int x = 0; x < width; ++x) columns[static_cast<size_t>(x)] += change(x, y + ch) - change(x, y);
    }
    return atCentre == most ? centre : best;
}

int EnlargementFor(const CropRect& crop) {
    return std::clamp(std::min(640 / crop.width, 480 / crop.height), 1, 8);
}

std::vector<std::string> BeforeAfterFileNames(const std::vector<BeforeAfterVariant>& variants) {
    std::vector<std::string> names;
    for (const BeforeAfterVariant& v : variants) {
        for (const char* suffix : {".png", "-crop.png", "-chroma.png"}) names.push_back(v.name + suffix);
    }
    names.push_back("contact-sheet.png");
    return names;
}

bool WriteBeforeAfter(const Y4mHeader& header, const std::vector<uint8_t>& frame,
                      const std::vector<BeforeAfterVariant>& variants, const CropRect& crop,
                      const std::string& dir, const std::string& title, bool exclusive, std::string& error) {
    const ConversionTables tables({header.depth, header.fullRange});
    const int w = header.width;
    const int h = header.height;
    const int factor = EnlargementFor(crop);
    const int shrink = (w + kMostSheetFrameWidth - 1) / kMostSheetFrameWidth;
    const int frameTileWidth = (w + shrink - 1) / shrink;
    const int frameTileHeight = (h + shrink - 1) / shrink;
    const int cropWidth = crop.width * factor;
    const int cropHeight = crop.height * factor;
    const int rowHeight = kLabelHeight + std::max(frameTileHeight, cropHeight);
    const int count = static_cast<int>(variants.size());
    RgbImage sheet(frameTileWidth + 2 * cropWidth + 4 * kGap, kLabelHeight + kGap + count * (rowHeight + kGap) + kGap);
    FillRect(sheet, 0, 0, sheet.width, sheet.height, kBackground);
    DrawText(sheet, kGap, kGap, title, kLabelScale, kLabelColour);

    const auto write = [&](const std::string& name, const RgbImage& image) {
        return WritePng((std::filesystem::path(dir) / name).string(), image, error, exclusive);
    };
    for (int i = 0; i < count; ++i) {
        const BeforeAfterVariant& v = variants[static_cast<size_t>(i)];
        std::vector<uint8_t> shown = v.frame != nullptr ? *v.frame : frame;
        if (v.settings) {
            Y4mFrameFilter filter(header, tables, *v.settings);
            if (!filter.Filter(shown.data())) {
                error = "the filter could not allocate its work buffers";
                return false;
            }
        }
        const std::vector<PIXEL_YC> picture = FramePicture(header, tables, shown.data());
        const RgbImage whole = RenderYcFrame(picture.data(), w, h, w);
        const RgbImage enlarged = Enlarge(whole, crop.x, crop.y, crop.width, crop.height, factor);
        const RgbImage chroma = Enlarge(RenderChroma(picture, w, h), crop.x, crop.y, crop.width, crop.height, factor);
        if (!write(v.name + ".png", whole) || !write(v.name + "-crop.png", enlarged) ||
            !write(v.name + "-chroma.png", chroma)) {
            return false;
        }

        const int y = kLabelHeight + 2 * kGap + i * (rowHeight + kGap);
        DrawText(sheet, kGap, y + 4, v.label, kLabelScale, kLabelColour);
        RgbImage tile = shrink > 1 ? Shrink(whole, shrink) : whole;
        DrawOutline(tile, crop.x / shrink, crop.y / shrink, (crop.width + shrink - 1) / shrink,
                    (crop.height + shrink - 1) / shrink, 2, kCropColour);
        Blit(sheet, tile, kGap, y + kLabelHeight);
        Blit(sheet, enlarged, 2 * kGap + frameTileWidth, y + kLabelHeight);
        Blit(sheet, chroma, 3 * kGap + frameTileWidth + cropWidth, y + kLabelHeight);
    }
    return write("contact-sheet.png", sheet);
}

std::string SettingsLabel(const FilterSettings& s) {
    return "MODE " + std::to_string(s.mode) + "  STRENGTH " + std::to_string(s.strength) + "  NOISE " +
           std::to_string(s.noise) + "  LINE " + (s.line640 != 0 ? "640" : "720") + (s.mmx == 0 ? "  SCALAR" : "");
}

}  // namespace trelvane::cli
