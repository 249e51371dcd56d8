// RGB pictures of YC48 frames, rectangles, copies, and PNG files through libpng.
#include "pictures/rgb_image.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace trelvane::cli {

namespace {

uint8_t ToByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// libpng reports errors through this; the message is kept for the caller,
// and a failed write keeps the system's reason, which libpng's own message
// ("Write Error") leaves out.
struct PngErrorSink {
    std::FILE* file = nullptr;
    char message[256] = {};
    int writeErrno = 0;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void WritePngData(png_structp png, png_bytep data, size_t bytes) {
    auto* sink = static_cast<PngErrorSink*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, bytes, sink->file) != bytes) {
        sink->writeErrno = errno;
        png_error(png, "write failed");
    }
}

void FlushPngData(png_structp png) {
    auto* sink = static_cast<PngErrorSink*>(png_get_io_ptr(png));
    if (std::fflush(sink->file) != 0) {
        sink->writeErrno = errno;
        png_error(png, "write failed");
    }
}

// Everything after setjmp lives in this function, which holds no object
// with a destructor.
bool WritePngRows(const RgbImage& image, PngErrorSink& sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &sink, WritePngData, FlushPngData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 3);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

Rgb YcToRgb(const PIXEL_YC& p) {
    const int y = 255 * p.y;
    const int cb = p.cb;
    const int cr = p.cr;
    const int r = (y + ((((cr * 22881) >> 16) + 3) << 10)) >> 12;
    const int g = (y + ((((cb * -5616) >> 16) + ((cr * -11655) >> 16) + 3) << 10)) >> 12;
    const int b = (y + ((((cb * 28919) >> 16) + 3) << 10)) >> 12;
    return {ToByte(r), ToByte(g), ToByte(b)};
}

RgbImage RenderYcFrame(const PIXEL_YC* pixels, int w, int h, int pitch) {
    RgbImage image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb c = YcToRgb(pixels[static_cast<size_t>(y) * static_cast<size_t>(pitch) + static_cast<size_t>(x)]);
            uint8_t* out = image.At(x, y);
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
        }
    }
    return image;
}

void FillRect(RgbImage& image, int x, int y, int w, int h, Rgb colour) {
    for (int yy = std::max(y, 0); yy < std::min(y + h, image.height); ++yy) {
        for (int xx = std::max(x, 0); xx < std::min(x + w, image.width); ++xx) {
            uint8_t* out = image.At(xx, yy);
            out[0] = colour.r;
            out[1] = colour.g;
            out[2] = colour.b;
        }
    }
}

void DrawOutline(RgbImage& image, int x, int y, int w, int h, int thickness, Rgb colour) {
    FillRect(image, x, y, w, thickness, colour);
    FillRect(image, x, y + h - thickness, w, thickness, colour);
    FillRect(image, x, y, thickness, h, colour);
    FillRect(image, x + w - thickness, y, thickness, h, colour);
}

RgbImage Enlarge(const RgbImage& src, int x, int y, int w, int h, int factor) {
    RgbImage out(w * factor, h * factor);
    for (int row = 0; row < out.height; ++row) {
        for (int col = 0; col < out.width; ++col) {
            std::memcpy(out.At(col, row), src.At(x + col / factor, y + row / factor), 3);
        }
    }
    return out;
}

RgbImage Shrink(const RgbImage& src, int factor) {
    RgbImage out((src.width + factor - 1) / factor, (src.height + factor - 1) / factor);
    for (int row = 0; row < out.height; ++row) {
        for (int col = 0; col < out.width; ++col) {
            int sum[3] = {};
            int count = 0;
            for (int y = row * factor; y < std::min((row + 1) * factor, src.height); ++y) {
                for (int x = col * factor; x < std::min((col + 1) * factor, src.width); ++x) {
                    const uint8_t* p = src.At(x, y);
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
                    ++count;
                }
            }
            for (int c = 0; c < 3; ++c) out.At(col, row)[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return out;
}

void Blit(RgbImage& dst, const RgbImage& src, int x, int y) {
    const int x0 = std::max(x, 0);
    const int x1 = std::min(x + src.width, dst.width);
    if (x1 <= x0) return;
    for (int row = std::max(y, 0); row < std::min(y + src.height, dst.height); ++row) {
        const uint8_t* from = src.rgb.data() +
                              (static_cast<size_t>(row - y) * static_cast<size_t>(src.width) + static_cast<size_t>(x0 - x)) * 3;
        std::memcpy(dst.At(x0, row), from, static_cast<size_t>(x1 - x0) * 3);
    }
}

bool WritePng(const std::string& path, const RgbImage& image, std::string& error, bool exclusive) {
    std::FILE* file = std::fopen(path.c_str(), exclusive ? "wbx" : "wb");
    if (file == nullptr) {
        error = "cannot create '" + path + "': " + std::strerror(errno);
        return false;
    }
    PngErrorSink sink;
    sink.file = file;
    const bool written = WritePngRows(image, sink);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int e = written ? errno : sink.writeErrno;
        error = "cannot write '" + path + "': " + (e != 0 || sink.message[0] == '\0' ? std::strerror(e) : sink.message);
        if (exclusive) std::remove(path.c_str());
        return false;
    }
    return true;
}

std::string FirstExistingFile(const std::string& dir, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const std::filesystem::path path = std::filesystem::path(dir) / name;
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return path.string();
    }
    return "";
}

}  // namespace trelvane::cli
