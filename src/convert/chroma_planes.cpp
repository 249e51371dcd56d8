// The chroma planes of a subsampled picture through the frame driver's row loop.
#include "convert/chroma_planes.h"

#include <cstring>

#include "convert/plane_samples.h"
#include "frame/row_loop.h"
#include "kernels/scalar/chroma_rows.h"

namespace trelvane {

namespace {

// The two planes as the row loop's source and sink: codes in, converted to
// YC48 (and for 4:1:1 interpolated to the half rate) with edge extension;
// the processed half-rate lines out, converted back. Contiguous 8-bit
// limited-range chroma takes the vector conversions, everything else the
// lookup tables.
template <int Bytes>
class PlaneRows {
public:
    PlaneRows(const ChromaPlanes& planes, int n, const ConversionTables& tables,
              const Chroma8Kernels& chroma8)
        : planes_(planes),
          n_(n),
          step_(planes.sampleStep != 0 ? planes.sampleStep : Bytes),
          full_(planes.pixelsPerSample == 1),
          quarter_(planes.pixelsPerSample == 4),
          written_(full_ ? 2 * n : (quarter_ ? (n + 1) / 2 : n)),
          in_(tables.chromaIn.data()),
          out_(tables.chromaOut.data()),
          chroma8_(chroma8),
          vectors_(Bytes == 1 && step_ == 1 && tables.scale.depth == 8 && !tables.scale.fullRange) {}

    void GatherScalar(int r, const WorkBuffers& b) {
        GatherLine(b.padCr, Row(planes_.cr, r), b);
        GatherLine(b.padCb, Row(planes_.cb, r), b);
    }

    void GatherPacked(const PackedKernels&, int r, const WorkBuffers& b) {
        GatherPackedLine(b.padCr, planes_.cr, r, b);
        GatherPackedLine(b.padCb, planes_.cb, r, b);
    }

    // 4:4:4 chroma comes back at the full rate, interpolated by the path's
    // own interpolator as a YC frame's is.
    void ScatterScalar(int r, const WorkBuffers& b) {
        if (full_) {
            UpsampleChroma2x(b.padCr, b.lowCr, n_);
            UpsampleChroma2x(b.padCb, b.lowCb, n_);
        }
        ScatterLine(Row(planes_.cr, r), full_ ? b.padCr : b.lowCr);
        ScatterLine(Row(planes_.cb, r), full_ ? b.padCb : b.lowCb);
    }

    void ScatterPacked(const PackedKernels& k, int r, const WorkBuffers& b) {
        if (full_) {
            k.upsampleChroma2xQuad(b.padCr, b.lowCr, n_);
            k.upsampleChroma2xQuad(b.padCb, b.lowCb, n_);
        }
        ScatterPackedLine(planes_.cr, r, full_ ? b.padCr : b.lowCr);
        ScatterPackedLine(planes_.cb, r, full_ ? b.padCb : b.lowCb);
    }

    // The samples after the written ones keep their chroma; they still make
    // the trip to YC48 and back, which deeper samples do not survive
    // unchanged.
    void RoundTripLastSamples() {
        for (uint8_t* plane : {planes_.cb, planes_.cr}) {
            for (int r = 0; r < planes_.rows; ++r) {
                uint8_t* row = Row(plane, r);
                for (int j = written_; j < planes_.samples; ++j) Store(row, j, in_[Load(row, j)]);
            }
        }
    }

private:
    uint8_t* Row(uint8_t* plane, int r) const { return plane + static_cast<size_t>(r) * planes_.stride; }
    unsigned Load(const uint8_t* row, int j) const {
        return LoadSample<Bytes>(row + static_cast<size_t>(j) * step_, 0);
    }
    void Store(uint8_t* row, int j, int v) const {
        StoreSample<Bytes>(row + static_cast<size_t>(j) * step_, 0, OutCode(out_, v));
    }

    // The row's half-rate samples in YC48: n of them, from the row's own
    // samples, every second one of 4:4:4 or, for 4:1:1, interpolated from
    // all of them (2 per sample, the last one or two unused). `scratch`
    // holds the quarter-rate samples meanwhile.
    void HalfRate(int16_t* dst, const uint8_t* row, int16_t* scratch) const {
        if (full_) {
            for (int j = 0; j < n_; ++j) dst[j] = in_[Load(row, 2 * j)];
            return;
        }
        const int count = quarter_ ? planes_.samples : n_;
        int16_t* const codes = quarter_ ? scratch : dst;
        if (vectors_) {
            chroma8_.toYc48(codes, row, count);
        } else {
            for (int j = 0; j < count; ++j) codes[j] = in_[Load(row, j)];
        }
        if (quarter_) UpsampleChroma2x(dst, codes, count);
    }

    // A ChromaLine: 16 copies of half-rate sample 0, the n samples, 16
    // copies of sample n - 1. lowCr serves as scratch.
    void GatherLine(int16_t* line, const uint8_t* row, const WorkBuffers& b) const {
        int16_t* const body = line + kLineEdge;
        HalfRate(body, row, b.lowCr);
        for (int e = 0; e < kLineEdge; ++e) {
            line[e] = body[0];
            body[n_ + e] = body[n_ - 1];
        }
    }

    // A QuadLine from rows r .. r+3 (lane k from row r + k), with 16 edge
    // positions on either side. lowCr and lowCb serve as scratch for the
    // rows whose half-rate line is made first (4:1:1, 4:4:4).
    void GatherPackedLine(int16_t* line, uint8_t* plane, int r, const WorkBuffers& b) const {
        const uint8_t* rows[kQuadLanes];
        for (int k = 0; k < kQuadLanes; ++k) rows[k] = Row(plane, r + k);
        int16_t* const body = line + kQuadLanes * kQuadEdge;
        if (quarter_ || full_) {
            for (int k = 0; k < kQuadLanes; ++k) {
                HalfRate(b.lowCb, rows[k], b.lowCr);
                for (int j = 0; j < n_; ++j) body[kQuadLanes * j + k] = b.lowCb[j];
            }
        } else if (vectors_) {
            chroma8_.toYc48Quad(body, rows, n_);
        } else {
            for (int j = 0; j < n_; ++j) {
                // One 8-byte store per position instead of four 2-byte ones.
                uint64_t position = 0;
                for (int k = 0; k < kQuadLanes; ++k) {
                    const auto sample = static_cast<uint16_t>(in_[Load(rows[k], j)]);
                    position |= uint64_t{sample} << (16 * k);
                }
                std::memcpy(body + kQuadLanes * j, &position, sizeof position);
            }
        }
        const size_t positionBytes = kQuadLanes * sizeof(int16_t);
        for (int e = 0; e < kQuadEdge; ++e) {
            std::memcpy(line + kQuadLanes * e, body, positionBytes);
            std::memcpy(body + kQuadLanes * (n_ + e), body + kQuadLanes * (n_ - 1), positionBytes);
        }
    }

    // The written samples of a row from a line read every `step` values (1
    // for a scalar line, 4 for a lane of a packed line): every sample of a
    // half-rate line or of 4:4:4's full-rate one, every second for 4:1:1.
    void ScatterSamples(uint8_t* row, const int16_t* line, int step) const {
        const int take = quarter_ ? 2 * step : step;
        for (int j = 0; j < written_; ++j) Store(row, j, line[take * j]);
    }

    void ScatterLine(uint8_t* row, const int16_t* line) const {
        if (vectors_ && !quarter_) {
            chroma8_.fromYc48(row, line, written_);
        } else {
            ScatterSamples(row, line, 1);
        }
    }

    void ScatterPackedLine(uint8_t* plane, int r, const int16_t* line) const {
        uint8_t* rows[kQuadLanes];
        for (int k = 0; k < kQuadLanes; ++k) rows[k] = Row(plane, r + k);
        if (vectors_ && !quarter_) {
            chroma8_.fromYc48Quad(rows, line, written_);
        } else {
            for (int k = 0; k < kQuadLanes; ++k) ScatterSamples(rows[k], line + k, kQuadLanes);
        }
    }

    ChromaPlanes planes_;
    int n_;            // half-rate samples of a filter row
    size_t step_;      // bytes from a sample to the next
    bool full_;        // 4:4:4
    bool quarter_;     // 4:1:1
    int written_;      // samples of a row written back from the filter
    const int16_t* in_;    // YC48 by code
    const uint16_t* out_;  // code by YC48 value + 32768
    const Chroma8Kernels& chroma8_;
    bool vectors_;
};

template <int Bytes>
void RunPlanes(const ChromaPlanes& planes, int width, const ConversionTables& tables,
               const FilterSettings& settings, const WorkBuffers& buffers,
               const PackedKernels& kernels, const Chroma8Kernels& chroma8) {
    PlaneRows<Bytes> rows(planes, width / 2, tables, chroma8);
    RunRows(buffers, kernels, settings, width, planes.rows, rows);
    rows.RoundTripLastSamples();
}

}  // namespace

bool FilterChromaPlanes(const ChromaPlanes& planes, int width, const ConversionTables& tables,
                        const FilterSettings& settings, WorkBuffers& buffers,
                        const PackedKernels& kernels, const Chroma8Kernels& chroma8) {
    // Sized as for a YC frame whose pitch is the width.
    if (EnsureWorkBuffers(buffers, width) == 0) return false;
    if (planes.bytesPerSample == 1) {
        RunPlanes<1>(planes, width, tables, settings, buffers, kernels, chroma8);
    } else {
        RunPlanes<2>(planes, width, tables, settings, buffers, kernels, chroma8);
    }
    return true;
}

}  // namespace trelvane
