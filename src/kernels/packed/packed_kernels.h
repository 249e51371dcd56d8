// Packed kernels: four consecutive frame rows at once, in saturating
// signed 16-bit lanes.
//
// Lines use the QuadLine interleave: a position is four int16 samples, lane k
// for row k of the group, so one packed operation advances all four rows by one
// sample. An extended QuadLine has 16 edge positions before and after its
// body; plain packed lines have none. Positions are 8-byte aligned at best.
//
// Counts: the gather, the filters and the interpolation count positions; the
// rotations and blends count 16-bit values (four to a position). Every kernel
// does nothing for a count <= 0.
//
// The functions below are the portable lane model: the definition of every
// kernel's results. SIMD forms (SSE2 on x86, AVX2 on x86 outside Windows)
// give the same results bit for bit; the frame driver runs whichever forms a
// PackedKernels table holds.
#pragma once

#include <cstdint>

#include "core/yc_frame.h"

namespace trelvane {

// 16-bit samples per position, and edge positions on either side of a body.
constexpr int kQuadLanes = 4;
constexpr int kQuadEdge = 16;

// Copies cr and cb of pixels 0, 2, ..., 2(count-1) of the four rows starting
// at first, first + pitch, ... into two extended QuadLines (count + 32
// positions written from the start of each buffer; lane k = row k). Only the
// cr and cb of those pixels are read, and copied unchanged.
void GatherChromaQuad(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* first, int count,
                      int pitch);

// Sets cr and cb of pixels 0 .. count-1 of the four rows from lane k of
// positions 0 .. count-1 of two plain packed lines; y is kept.
void ScatterChromaQuad(PIXEL_YC* first, const int16_t* crLine, const int16_t* cbLine, int count,
                       int pitch);

// Symmetric low-pass of every lane: count output positions from position 0 of
// an extended QuadLine (src), read 9 (wide: 7) positions beyond either end.
// Symmetric pairs are folded with a saturating add, products are summed
// exactly in 32 bits from 32768, shifted by 16 and stored saturated.
void LowPass640Quad(int16_t* dst, const int16_t* src, int count);
void LowPass720Quad(int16_t* dst, const int16_t* src, int count);
// The wide detail filter; its centre tap is applied as 16446 times the
// saturated double of the centre sample.
void WideLowPassQuad(int16_t* dst, const int16_t* src, int count);

// In place over count 16-bit values: whole positions get saturated results,
// the count mod 4 values after them follow the scalar rules.
void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count);
void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count);
// f[j] moves toward x[j] by strength/32 of the (saturated) difference.
void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength);
// The same with the difference cored by the noise threshold, in 16 bits.
void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength, int noise);

// Interpolates n half-rate positions to 2n full-rate ones with
// (-1, 9, 9, -1)/16 per lane, end samples standing in beyond either end (so
// the last odd output is (17 s[n-1] - s[n-2] + 8) >> 4), odd outputs
// saturated. dst and src are different buffers.
void UpsampleChroma2xQuad(int16_t* dst, const int16_t* src, int n);

// One realisation of every kernel above, with the same signatures.
struct PackedKernels {
    uint32_t cpuFeatures;  // the levels (kCpuSse2, ...) whose kernels it holds
    decltype(&GatherChromaQuad) gatherChromaQuad;
    decltype(&ScatterChromaQuad) scatterChromaQuad;
    decltype(&LowPass640Quad) lowPass640Quad;
    decltype(&LowPass720Quad) lowPass720Quad;
    decltype(&WideLowPassQuad) wideLowPassQuad;
    decltype(&RotateToIQQuad) rotateToIQQuad;
    decltype(&RotateFromIQQuad) rotateFromIQQuad;
    decltype(&BlendDetailQuad) blendDetailQuad;
    decltype(&BlendDetailCoredQuad) blendDetailCoredQuad;
    decltype(&UpsampleChroma2xQuad) upsampleChroma2xQuad;
};

// The table for a mask of levels: the portable model first, then each level
// of the mask that this build has and this processor runs (SSE2, then AVX2)
// puts in its kernels. PackedKernelsFor(0) is the portable model.
PackedKernels PackedKernelsFor(uint32_t cpuMask);

// The table for every level this processor runs, built once per process.
const PackedKernels& ProcessPackedKernels();

// Each level's half of PackedKernelsFor: puts the level's kernels into the
// table and returns true, or returns false where this build has none.
namespace sse2 {
bool UsePackedKernels(PackedKernels& kernels);
}
namespace avx2 {
bool UsePackedKernels(PackedKernels& kernels);
}

}  // namespace trelvane
