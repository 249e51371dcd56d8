// Chroma planes filtered through a YC frame built sample by sample.
#include "support/chroma_reference.h"

#include <cstddef>

#include "convert/plane_samples.h"
#include "frame/work_buffers.h"
#include "kernels/scalar/chroma_rows.h"

namespace trelvane::test {

namespace {

unsigned CodeAt(const std::vector<uint8_t>& codes, int bytes, size_t i) {
    return bytes == 1 ? LoadSample<1>(codes.data(), static_cast<int>(i))
                      : LoadSample<2>(codes.data(), static_cast<int>(i));
}

}  // namespace

std::vector<uint8_t> ChromaThroughYcFrame(const std::vector<uint8_t>& cb, const std::vector<uint8_t>& cr,
                                          int pixelsPerSample, int width, int rows, int bytes,
                                          const ConversionTables& tables, const FilterSettings& settings) {
    const int samples = (width + pixelsPerSample - 1) / pixelsPerSample;
    const int n = width / 2;
    const int written = pixelsPerSample == 1 ? 2 * n : pixelsPerSample == 2 ? n : (n + 1) / 2;
    std::vector<PIXEL_YC> frame(static_cast<size_t>(width) * rows);
    std::vector<int16_t> own(samples);
    std::vector<int16_t> half(2 * static_cast<size_t>(samples));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 2; ++c) {
            const std::vector<uint8_t>& codes = c == 0 ? cb : cr;
            for (int k = 0; k < samples; ++k) {
                own[k] = tables.chromaIn[CodeAt(codes, bytes, static_cast<size_t>(r) * samples + k)];
            }
            if (pixelsPerSample == 4) UpsampleChroma2x(half.data(), own.data(), samples);
            const int16_t* line = pixelsPerSample == 4 ? half.data() : own.data();
            const int count = pixelsPerSample == 1 ? width : n;
            const int step = pixelsPerSample == 1 ? 1 : 2;
            for (int j = 0; j < count; ++j) {
                PIXEL_YC& px = frame[static_cast<size_t>(r) * width + static_cast<size_t>(step * j)];
                (c == 0 ? px.cb : px.cr) = line[j];
            }
        }
    }
    WorkBuffers buffers;
    const int handled = ProcessFrameWith(buffers, settings, {frame.data(), width, rows, width});
    ReleaseWorkBuffers(buffers);
    if (handled != 1) return {};

    std::vector<uint8_t> out(2 * cb.size());
    for (int c = 0; c < 2; ++c) {
        const std::vector<uint8_t>& codes = c == 0 ? cb : cr;
        for (int r = 0; r < rows; ++r) {
            for (int k = 0; k < samples; ++k) {
                const size_t i = static_cast<size_t>(r) * samples + k;
                const PIXEL_YC& px = frame[static_cast<size_t>(r) * width + static_cast<size_t>(pixelsPerSample * k)];
                const int v = k < written ? (c == 0 ? px.cb : px.cr) : tables.chromaIn[CodeAt(codes, bytes, i)];
                const unsigned code = OutCode(tables.chromaOut.data(), v);
                uint8_t* at = out.data() + static_cast<size_t>(c) * cb.size() + static_cast<size_t>(bytes) * i;
                at[0] = static_cast<uint8_t>(code);
                if (bytes == 2) at[1] = static_cast<uint8_t>(code >> 8);
            }
        }
    }
    return out;
}

}  // namespace trelvane::test
