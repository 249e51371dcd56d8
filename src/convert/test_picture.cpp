// The test pattern drawn into a picture's samples, filtered as a YC frame would be.
#include "convert/test_picture.h"

#include <algorithm>
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

bool TestPicture::Fill(const PicturePlanes& picture, const ConversionTables& tables,
                       const FilterSettings& settings, WorkBuffers& buffers) {
    const int w = picture.width;
    const int h = picture.height;
    if (w <= 0 || h <= 0) return true;
    const ChromaPlanes& c = picture.chroma;
    const int line640 = settings.line640 != 0 ? 1 : 0;
    // Memory first: once anything is written, nothing can fail.
    try {
        if (w != width_ || h != height_ || line640 != line640_) {
            line640_ = -1;  // no pattern while it is being replaced
            pattern_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
            DrawTestPattern(line640, pattern_.data(), w, h, w);
            width_ = w;
            height_ = h;
            line640_ = line640;
        }
        work_.resize(static_cast<size_t>(w) * static_cast<size_t>(c.rows));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (settings.mode != 0 && EnsureWorkBuffers(buffers, w) == 0) return false;

    if (c.bytesPerSample == 1) {
        StoreLuma<1>(picture, tables, pattern_.data());
    } else {
        StoreLuma<2>(picture, tables, pattern_.data());
    }
    for (int r = 0; r < c.rows; ++r) {
        const PIXEL_YC* from = pattern_.data() + static_cast<size_t>(r) *
                                                     static_cast<size_t>(picture.chromaRowStep) * w;
        std::copy(from, from + w, work_.data() + static_cast<size_t>(r) * w);
    }
    FilterSettings s = settings;
    s.test = 0;
    ProcessFrameWith(buffers, s, {work_.data(), w, c.rows, w});
    if (c.bytesPerSample == 1) {
        StoreChroma<1>(c, tables, work_.data(), static_cast<size_t>(w));
    } else {
        StoreChroma<2>(c, tables, work_.data(), static_cast<size_t>(w));
    }
    return true;
}

}  // namespace trelvane
