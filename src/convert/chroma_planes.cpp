// The chroma planes of a subsampled picture through the frame driver's row loop.
#include "convert/chroma_planes.h"

#include <cstring>

#include "convert/plane_samples.h"
#include "frame/row_loop.h"
#include "kernels/scalar/chroma_rows.h"

namespace trelvane {

namespace {

// The two planes as the row loop's source and sink: codes in, converted to
// YC48 with edge extension; the processed half-rate lines out, converted
// back. 8-bit limited-range chroma takes the vector conversions, every
// other scale the lookup tables.
template <int Bytes>
class PlaneRows {
public:
    PlaneRows(const ChromaPlanes& planes, int n, const ConversionTables& tables,
              const Chroma8Kernels& chroma8)
        : planes_(planes),
          n_(n),
          in_(tables.chromaIn.data()),
          out_(tables.chromaOut.data()),
          chroma8_(chroma8),
          vectors_(Bytes == 1 && tables.scale.depth == 8 && !tables.scale.fullRange) {}

    void GatherScalar(int r, int16_t* crLine, int16_t* cbLine) {
        GatherLine(crLine, Row(planes_.cr, r));
        GatherLine(cbLine, Row(planes_.cb, r));
    }

    void GatherPacked(const PackedKernels&, int r, int16_t* crLine, int16_t* cbLine) {
        GatherPackedLine(crLine, planes_.cr, r);
        GatherPackedLine(cbLine, planes_.cb, r);
    }

    void ScatterScalar(int r, const WorkBuffers& b) {
        ScatterLine(Row(planes_.cr, r), b.lowCr);
        ScatterLine(Row(planes_.cb, r), b.lowCb);
    }

    void ScatterPacked(const PackedKernels&, int r, const WorkBuffers& b) {
        ScatterPackedLine(planes_.cr, r, b.lowCr);
        ScatterPackedLine(planes_.cb, r, b.lowCb);
    }

    // An odd width's last sample keeps its chroma; it still makes the trip
    // to YC48 and back, which deeper samples do not survive unchanged.
    void RoundTripLastSample() {
        if (planes_.samples <= n_) return;
        for (uint8_t* plane : {planes_.cb, planes_.cr}) {
            for (int r = 0; r < planes_.rows; ++r) {
                uint8_t* samples = Row(plane, r);
                StoreSample<Bytes>(samples, n_, OutCode(out_, in_[LoadSample<Bytes>(samples, n_)]));
            }
        }
    }

private:
    uint8_t* Row(uint8_t* plane, int r) const { return plane + static_cast<size_t>(r) * planes_.stride; }

    // A ChromaLine from the first n samples of a plane row: 16 copies of
    // sample 0, the n samples, 16 copies of sample n - 1.
    void GatherLine(int16_t* line, const uint8_t* row) const {
        int16_t* const body = line + kLineEdge;
        if (vectors_) {
            chroma8_.toYc48(body, row, n_);
        } else {
            for (int j = 0; j < n_; ++j) body[j] = in_[LoadSample<Bytes>(row, j)];
        }
        for (int e = 0; e < kLineEdge; ++e) {
            line[e] = body[0];
            body[n_ + e] = body[n_ - 1];
        }
    }

    // A QuadLine from the first n samples of rows r .. r+3 (lane k from row
    // r + k), with 16 edge positions on either side.
    void GatherPackedLine(int16_t* line, uint8_t* plane, int r) const {
        const uint8_t* rows[kQuadLanes];
        for (int k = 0; k < kQuadLanes; ++k) rows[k] = Row(plane, r + k);
        int16_t* const body = line + kQuadLanes * kQuadEdge;
        if (vectors_) {
            chroma8_.toYc48Quad(body, rows, n_);
        } else {
            for (int j = 0; j < n_; ++j) {
                // One 8-byte store per position instead of four 2-byte ones.
                uint64_t position = 0;
                for (int k = 0; k < kQuadLanes; ++k) {
                    const auto sample = static_cast<uint16_t>(in_[LoadSample<Bytes>(rows[k], j)]);
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

    // n samples of a plane row from a half-rate line read every `step`
    // values (1 for a scalar line, 4 for a lane of a packed line).
    template <int Step>
    void ScatterSamples(uint8_t* row, const int16_t* line) const {
        for (int j = 0; j < n_; ++j) StoreSample<Bytes>(row, j, OutCode(out_, line[Step * j]));
    }

    void ScatterLine(uint8_t* row, const int16_t* line) const {
        if (vectors_) {
            chroma8_.fromYc48(row, line, n_);
        } else {
            ScatterSamples<1>(row, line);
        }
    }

    void ScatterPackedLine(uint8_t* plane, int r, const int16_t* line) const {
        uint8_t* rows[kQuadLanes];
        for (int k = 0; k < kQuadLanes; ++k) rows[k] = Row(plane, r + k);
        if (vectors_) {
            chroma8_.fromYc48Quad(rows, line, n_);
        } else {
            for (int k = 0; k < kQuadLanes; ++k) ScatterSamples<kQuadLanes>(rows[k], line + k);
        }
    }

    ChromaPlanes planes_;
    int n_;
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
    rows.RoundTripLastSample();
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
