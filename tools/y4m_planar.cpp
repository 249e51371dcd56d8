#include "y4m_planar.h"

#include <cstddef>
#include <cstring>

#include "chroma8_convert.h"
#include "frame/mode_stages.h"
#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_rows.h"
#include "plane_samples.h"

namespace trelvane::cli {

namespace {

// Where one component's rows lie in the frame.
struct Plane {
    uint8_t* first;
    size_t stride;  // bytes per row
    uint8_t* Row(int r) const { return first + static_cast<size_t>(r) * stride; }
};

// The conversions of one stream. 8-bit limited-range chroma has vector forms
// of the same conversions; every other scale, and the samples a vector block
// does not cover, go through the tables.
struct Conversion {
    const int16_t* in;    // YC48 by code
    const uint16_t* out;  // code by YC48 value + 32768
    bool chroma8;         // 8-bit limited range

    template <int Bytes>
    bool Vectors() const {
        return Bytes == 1 && chroma8;
    }
};

// A ChromaLine from the first n samples of a plane row: 16 copies of sample
// 0, the n samples, 16 copies of sample n - 1.
template <int Bytes>
void GatherPlaneRow(int16_t* line, const uint8_t* row, int n, const Conversion& c) {
    int16_t* const body = line + kLineEdge;
    const int done = c.Vectors<Bytes>() ? Chroma8ToYc48(body, row, n) : 0;
    for (int j = done; j < n; ++j) body[j] = c.in[LoadSample<Bytes>(row, j)];
    for (int e = 0; e < kLineEdge; ++e) {
        line[e] = body[0];
        body[n + e] = body[n - 1];
    }
}

// A QuadLine from the first n samples of four plane rows (lane k from row
// r + k), with 16 edge positions on either side.
template <int Bytes>
void GatherPlaneQuad(int16_t* line, const Plane& plane, int r, int n, const Conversion& c) {
    const uint8_t* rows[kQuadLanes];
    for (int k = 0; k < kQuadLanes; ++k) rows[k] = plane.Row(r + k);
    int16_t* const body = line + kQuadLanes * kQuadEdge;
    const int done = c.Vectors<Bytes>() ? Chroma8ToYc48Quad(body, rows, n) : 0;
    for (int j = done; j < n; ++j) {
        // One 8-byte store per position instead of four 2-byte ones.
        uint64_t position = 0;
        for (int k = 0; k < kQuadLanes; ++k) {
            const auto sample = static_cast<uint16_t>(c.in[LoadSample<Bytes>(rows[k], j)]);
            position |= uint64_t{sample} << (16 * k);
        }
        std::memcpy(body + kQuadLanes * j, &position, sizeof position);
    }
    const size_t positionBytes = kQuadLanes * sizeof(int16_t);
    for (int e = 0; e < kQuadEdge; ++e) {
        std::memcpy(line + kQuadLanes * e, body, positionBytes);
        std::memcpy(body + kQuadLanes * (n + e), body + kQuadLanes * (n - 1), positionBytes);
    }
}

// Samples from..n-1 of a plane row from a half-rate line read every `step`
// values (1 for a one-row line, 4 for a lane of a four-row line).
template <int Bytes, int Step>
void ScatterSamples(uint8_t* row, const int16_t* line, int from, int n, const Conversion& c) {
    for (int j = from; j < n; ++j) StoreSample<Bytes>(row, j, OutCode(c.out, line[Step * j]));
}

template <int Bytes>
void ScatterPlaneRow(uint8_t* row, const int16_t* line, int n, const Conversion& c) {
    const int done = c.Vectors<Bytes>() ? Chroma8FromYc48(row, line, n) : 0;
    ScatterSamples<Bytes, 1>(row, line, done, n, c);
}

// Four plane rows from rows r .. r+3 of a plain four-row line.
template <int Bytes>
void ScatterPlaneQuad(const Plane& plane, int r, const int16_t* line, int n, const Conversion& c) {
    uint8_t* rows[kQuadLanes];
    for (int k = 0; k < kQuadLanes; ++k) rows[k] = plane.Row(r + k);
    const int done = c.Vectors<Bytes>() ? Chroma8FromYc48Quad(rows, line, n) : 0;
    for (int k = 0; k < kQuadLanes; ++k) {
        ScatterSamples<Bytes, kQuadLanes>(rows[k], line + k, done, n, c);
    }
}

template <int Bytes>
void RunFrame(const Y4mHeader& h, const Y4mFrameLayout& f, const ConversionTables& t,
              const FilterSettings& s, const WorkBuffers& b, uint8_t* frame) {
    const size_t stride = static_cast<size_t>(f.chromaWidth) * Bytes;
    const Plane cbPlane{frame + f.lumaBytes, stride};
    const Plane crPlane{frame + f.lumaBytes + f.chromaBytes, stride};
    const Conversion c{t.chromaIn.data(), t.chromaOut.data(), h.depth == 8 && !h.fullRange};
    const int w = h.width;
    const int n = w / 2;
    const int rows = f.chromaHeight;

    // The rows are grouped as the work frame's rows would be: groups of four
    // from the top while four remain (with "MMX" on), the rest one at a time.
    int r = 0;
    if (s.mmx != 0 && w <= MaxQuadWidth()) {
        const LowPassFn lowPassQuad = SelectedLowPassQuad(s);
        for (; rows - r > 3; r += 4) {
            GatherPlaneQuad<Bytes>(b.padCr, crPlane, r, n, c);
            GatherPlaneQuad<Bytes>(b.padCb, cbPlane, r, n, c);
            RunQuadStages(b, lowPassQuad, w, s);
            ScatterPlaneQuad<Bytes>(crPlane, r, b.lowCr, n, c);
            ScatterPlaneQuad<Bytes>(cbPlane, r, b.lowCb, n, c);
        }
    }
    const LowPassFn lowPass = SelectedLowPass(s);
    for (; r < rows; ++r) {
        GatherPlaneRow<Bytes>(b.padCr, crPlane.Row(r), n, c);
        GatherPlaneRow<Bytes>(b.padCb, cbPlane.Row(r), n, c);
        RunRowStages(b, lowPass, n, s);
        ScatterPlaneRow<Bytes>(crPlane.Row(r), b.lowCr, n, c);
        ScatterPlaneRow<Bytes>(cbPlane.Row(r), b.lowCb, n, c);
    }

    // An odd width's last pixel keeps its chroma; it still makes the trip
    // to YC48 and back, which deeper samples do not survive unchanged.
    if (f.chromaWidth > n) {
        for (const Plane& plane : {cbPlane, crPlane}) {
            for (int row = 0; row < rows; ++row) {
                uint8_t* samples = plane.Row(row);
                StoreSample<Bytes>(samples, n, OutCode(c.out, c.in[LoadSample<Bytes>(samples, n)]));
            }
        }
    }
}

}  // namespace

bool PlanarPathCovers(const Y4mHeader& header, const FilterSettings& settings) {
    return header.layout != ChromaLayout::k444 && header.width >= 2 && settings.mode >= 1 &&
           settings.mode <= 4 && settings.test == 0;
}

bool FilterChromaPlanes(const Y4mHeader& header, const Y4mFrameLayout& layout,
                        const ConversionTables& tables, const FilterSettings& settings,
                        WorkBuffers& buffers, uint8_t* frame) {
    // Sized as for the work frame, whose pitch is the width.
    if (EnsureWorkBuffers(buffers, header.width) == 0) return false;
    if (layout.bytesPerSample == 1) {
        RunFrame<1>(header, layout, tables, settings, buffers, frame);
    } else {
        RunFrame<2>(header, layout, tables, settings, buffers, frame);
    }
    return true;
}

}  // namespace trelvane::cli
