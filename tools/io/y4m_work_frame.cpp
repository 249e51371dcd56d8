// A y4m frame's samples from the YC48 work frame.
#include "io/y4m_work_frame.h"

#include <cstddef>

#include "convert/plane_samples.h"

namespace trelvane::cli {

namespace {

template <int Bytes>
void StoreChromaRows(const Y4mHeader& h, const Y4mFrameLayout& f, const ConversionTables& t,
                     const PIXEL_YC* work, uint8_t* frame) {
    uint8_t* cbPlane = frame + f.lumaBytes;
    uint8_t* crPlane = cbPlane + f.chromaBytes;
    const size_t stride = static_cast<size_t>(f.chromaWidth) * Bytes;
    const int step = PixelsPerChromaSample(h.layout);
    for (int r = 0; r < f.chromaHeight; ++r) {
        uint8_t* cbRow = cbPlane + static_cast<size_t>(r) * stride;
        uint8_t* crRow = crPlane + static_cast<size_t>(r) * stride;
        const PIXEL_YC* row = work + static_cast<size_t>(r) * static_cast<size_t>(h.width);
        for (int k = 0; k < f.chromaWidth; ++k) {
            StoreSample<Bytes>(cbRow, k, OutCode(t.chromaOut.data(), row[k * step].cb));
            StoreSample<Bytes>(crRow, k, OutCode(t.chromaOut.data(), row[k * step].cr));
        }
    }
}

template <int Bytes>
void StoreLumaRows(const Y4mHeader& h, const ConversionTables& t, const PIXEL_YC* picture, uint8_t* frame) {
    const size_t count = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
    for (size_t i = 0; i < count; ++i) {
        StoreSample<Bytes>(frame, static_cast<int>(i), OutCode(t.lumaOut.data(), picture[i].y));
    }
}

}  // namespace

void StoreChroma(const Y4mHeader& header, const Y4mFrameLayout& layout, const ConversionTables& tables,
                 const PIXEL_YC* work, uint8_t* frame) {
    if (layout.bytesPerSample == 1) {
        StoreChromaRows<1>(header, layout, tables, work, frame);
    } else {
        StoreChromaRows<2>(header, layout, tables, work, frame);
    }
}

void StoreLuma(const Y4mHeader& header, const ConversionTables& tables, const PIXEL_YC* picture,
               uint8_t* frame) {
    if (header.depth > 8) {
        StoreLumaRows<2>(header, tables, picture, frame);
    } else {
        StoreLumaRows<1>(header, tables, picture, frame);
    }
}

}  // namespace trelvane::cli
