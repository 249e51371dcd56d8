#include "y4m_planar.h"

#include <cstddef>
#include <cstring>

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

// A ChromaLine from the first n samples of a plane row, converted by the
// table: 16 copies of sample 0, the n samples, 16 copies of sample n - 1.
template <int Bytes>
void GatherPlaneRow(int16_t* line, const uint8_t* row, int n, const int16_t* table) {
    int16_t* const body = line + kLineEdge;
    for (int j = 0; j < n; ++j) body[j] = table[LoadSample<Bytes>(row, j)];
    for (int e = 0; e < kLineEdge; ++e) {
        line[e] = body[0];
        body[n + e] = body[n - 1];
    }
}

// A QuadLine from the first n samples of four plane rows (lane k from row
// r + k), converted by the table, with 16 edge positions on either side.
template <int Bytes>
void GatherPlaneQuad(int16_t* line, const Plane& plane, int r, int n, const int16_t* table) {
    const uint8_t* rows[kQuadLanes];
    for (int k = 0; k < kQuadLanes; ++k) rows[k] = plane.Row(r + k);
    int16_t* const body = line + kQuadLanes * kQuadEdge;
    for (int j = 0; j < n; ++j) {
        // One 8-byte store per position instead of four 2-byte ones.
        uint64_t position = 0;
        for (int k = 0; k < kQuadLanes; ++k) {
            const auto sample = static_cast<uint16_t>(table[LoadSample<Bytes>(rows[k], j)]);
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

// Samples 0 .. n-1 of a plane row from a half-rate line read every `step`
// values (1 for a one-row line, 4 for a lane of a four-row line).
template <int Bytes, int Step>
void ScatterPlaneRow(uint8_t* row, const int16_t* line, int n, const uint16_t* table) {
    for (int j = 0; j < n; ++j) StoreSample<Bytes>(row, j, OutCode(table, line[Step * j]));
}

template <int Bytes>
void RunFrame(const Y4mHeader& h, const Y4mFrameLayout& f, const ConversionTables& t,
              const FilterSettings& s, const WorkBuffers& b, uint8_t* frame) {
    const size_t stride = static_cast<size_t>(f.chromaWidth) * Bytes;
    const Plane cbPlane{frame + f.lumaBytes, stride};
    const Plane crPlane{frame + f.lumaBytes + f.chromaBytes, stride};
    const int16_t* const in = t.chromaIn.data();
    const uint16_t* const out = t.chromaOut.data();
    const int w = h.width;
    const int n = w / 2;
    const int rows = f.chromaHeight;

    // The rows are grouped as the work frame's rows would be: groups of four
    // from the top while four remain (with "MMX" on), the rest one at a time.
    int r = 0;
    if (s.mmx != 0 && w <= MaxQuadWidth()) {
        const LowPassFn lowPassQuad = SelectedLowPassQuad(s);
        for (; rows - r > 3; r += 4) {
            GatherPlaneQuad<Bytes>(b.padCr, crPlane, r, n, in);
            GatherPlaneQuad<Bytes>(b.padCb, cbPlane, r, n, in);
            RunQuadStages(b, lowPassQuad, w, s);
            for (int k = 0; k < kQuadLanes; ++k) {
                ScatterPlaneRow<Bytes, kQuadLanes>(crPlane.Row(r + k), b.lowCr + k, n, out);
                ScatterPlaneRow<Bytes, kQuadLanes>(cbPlane.Row(r + k), b.lowCb + k, n, out);
            }
        }
    }
    const LowPassFn lowPass = SelectedLowPass(s);
    for (; r < rows; ++r) {
        GatherPlaneRow<Bytes>(b.padCr, crPlane.Row(r), n, in);
        GatherPlaneRow<Bytes>(b.padCb, cbPlane.Row(r), n, in);
        RunRowStages(b, lowPass, n, s);
        ScatterPlaneRow<Bytes, 1>(crPlane.Row(r), b.lowCr, n, out);
        ScatterPlaneRow<Bytes, 1>(cbPlane.Row(r), b.lowCb, n, out);
    }

    // An odd width's last pixel keeps its chroma; it still makes the trip
    // to YC48 and back, which deeper samples do not survive unchanged.
    if (f.chromaWidth > n) {
        for (const Plane& plane : {cbPlane, crPlane}) {
            for (int row = 0; row < rows; ++row) {
                uint8_t* samples = plane.Row(row);
                StoreSample<Bytes>(samples, n, OutCode(out, in[LoadSample<Bytes>(samples, n)]));
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
