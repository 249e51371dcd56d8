#include "convert/test_picture.h"

#include <algorithm>
#include <memory>
#include <new>

#include "convert/plane_samples.h"
#include "frame/test_pattern.h"

namespace trelvane {

namespace {

template <int Bytes>
void StoreLuma(const PicturePlanes& p, const ConversionTables& t, const PIXEL_YC* pattern) {
    const size_t w = static_cast<size_t>(p.width);
    const size_t lumaStep = p.lumaStep != 0 ? p.lumaStep : Bytes;
    for (int r = 0; r < p.height; ++r) {
        uint8_t* row = p.luma + static_cast<size_t>(r) * p.lumaStride;
        for (size_t x = 0; x < w; ++x) {
            StoreSample<Bytes>(row + x * lumaStep, 0, OutCode(t.lumaOut.data(), pattern[r * w + x].y));
        }
    }
}

// Chroma row r from row r of the filtered work frame.
template <int Bytes>
void StoreChroma(const ChromaPlanes& c, const ConversionTables& t, const PIXEL_YC* work, size_t w) {
    const size_t step = c.sampleStep != 0 ? c.sampleStep : Bytes;
    const size_t across = static_cast<size_t>(c.pixelsPerSample);
    for (int r = 0; r < c.rows; ++r) {
        uint8_t* cb = c.cb + static_cast<size_t>(r) * c.stride;
        uint8_t* cr = c.cr + static_cast<size_t>(r) * c.stride;
        const PIXEL_YC* row = work + static_cast<size_t>(r) * w;
        for (size_t k = 0; k < static_cast<size_t>(c.samples); ++k) {
            const PIXEL_YC& px = row[std::min(k * across, w - 1)];
            StoreSample<Bytes>(cb + k * step, 0, OutCode(t.chromaOut.data(), px.cb));
            StoreSample<Bytes>(cr + k * step, 0, OutCode(t.chromaOut.data(), px.cr));
        }
    }
}

}  // namespace

bool FillTestPicture(const PicturePlanes& picture, const ConversionTables& tables,
                     const FilterSettings& settings, WorkBuffers& buffers) {
    const int w = picture.width;
    const int h = picture.height;
    if (w <= 0 || h <= 0) return true;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const std::unique_ptr<PIXEL_YC[]> pattern(new (std::nothrow) PIXEL_YC[pixels]);
    if (!pattern) return false;
    // Buffers first: once anything is written, nothing can fail.
    if (settings.mode != 0 && EnsureWorkBuffers(buffers, w) == 0) return false;
    DrawTestPattern(settings.line640, pattern.get(), w, h, w);
    const ChromaPlanes& c = picture.chroma;
    if (c.bytesPerSample == 1) {
        StoreLuma<1>(picture, tables, pattern.get());
    } else {
        StoreLuma<2>(picture, tables, pattern.get());
    }

    // The chroma rows' picture rows moved up into a frame of their own; row
    // r * step never lies above row r, so rows are taken top to bottom.
    PIXEL_YC* const work = pattern.get();
    if (picture.chromaRowStep > 1) {
        for (int r = 0; r < c.rows; ++r) {
            const PIXEL_YC* from = work + static_cast<size_t>(r) * static_cast<size_t>(picture.chromaRowStep) * w;
            std::copy(from, from + w, work + static_cast<size_t>(r) * w);
        }
    }
    FilterSettings s = settings;
    s.test = 0;
    ProcessFrameWith(buffers, s, {work, w, c.rows, w});
    if (c.bytesPerSample == 1) {
        StoreChroma<1>(c, tables, work, static_cast<size_t>(w));
    } else {
        StoreChroma<2>(c, tables, work, static_cast<size_t>(w));
    }
    return true;
}

}  // namespace trelvane
