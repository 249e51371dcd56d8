// The scalar gather, 2x interpolation and write-back of one row's chroma.
#include "kernels/scalar/chroma_rows.h"

#include "kernels/scalar/fixed_point.h"

namespace trelvane {

void GatherChromaRow(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* row, int n) {
    if (n <= 0) return;
    const int16_t firstCr = row[0].cr;
    const int16_t firstCb = row[0].cb;
    for (int k = 0; k < kLineEdge; ++k) {
        crLine[k] = firstCr;
        cbLine[k] = firstCb;
    }
    int16_t* crBody = crLine + kLineEdge;
    int16_t* cbBody = cbLine + kLineEdge;
    for (int j = 0; j < n; ++j) {
        crBody[j] = row[2 * j].cr;
        cbBody[j] = row[2 * j].cb;
    }
    const int16_t lastCr = row[2 * (n - 1)].cr;
    const int16_t lastCb = row[2 * (n - 1)].cb;
    for (int k = 0; k < kLineEdge; ++k) {
        crBody[n + k] = lastCr;
        cbBody[n + k] = lastCb;
    }
}

void UpsampleChroma2x(int16_t* dst, const int16_t* src, int n) {
    if (n <= 0) return;
    if (n == 1) {
        dst[0] = src[0];
        dst[1] = src[0];
        return;
    }
    // Inputs are int16, so every sum below stays far inside 32 bits.
    for (int k = 0; k < n - 1; ++k) {
        const int32_t before = src[k > 0 ? k - 1 : 0];
        const int32_t after = src[k + 2 < n ? k + 2 : n - 1];
        const int32_t sum = 9 * (int32_t{src[k]} + src[k + 1]) - before - after + 8;
        dst[2 * k] = src[k];
        dst[2 * k + 1] = Low16(sum >> 4);
    }
    const int32_t last = src[n - 1];
    const int32_t prev = src[n - 2];
    dst[2 * n - 2] = src[n - 1];
    dst[2 * n - 1] = Low16((18 * last - 2 * prev + 8) >> 4);
}

void ScatterChromaRow(PIXEL_YC* row, const int16_t* crLine, const int16_t* cbLine, int count) {
    for (int k = 0; k < count; ++k) {
        row[k].cr = crLine[k];
        row[k].cb = cbLine[k];
    }
}

}  // namespace trelvane
