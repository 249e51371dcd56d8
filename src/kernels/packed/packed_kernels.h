// Four-row packed kernels: four consecutive frame rows at once, in saturating
// signed 16-bit lanes.
//
// Lines use the QuadLine interleave: a position is four int16 samples, lane k
// for row k of the group, so one packed operation advances all four rows by one
// sample. An extended QuadLine has 16 edge positions before and after its
// body; plain four-row lines have none. Positions are 8-byte aligned at best.
//
// Counts: the gather, the filters and the interpolation count positions; the
// rotations and blends count 16-bit values (four to a position). Every kernel
// does nothing for a count <= 0.
//
// Each kernel exists in up to three forms with the same results bit for bit:
// a portable lane-by-lane form, an SSE2 form (x86 only) and an AVX2 form
// (x86 outside Windows), whose filters, rotations and blends take twice the
// SSE2 width. The functions below run the form chosen once from the
// processor's features (the widest it supports); tests and benchmarks can
// force another.
#pragma once

#include <cstdint>

#include "plugin/filter_host.h"

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
// positions 0 .. count-1 of two plain four-row lines; y is kept.
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
// the count mod 4 values after them follow the one-row rules.
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

// The forms of the packed kernels.
enum class PackedForm { kPortable, kSse2, kAvx2 };

// One form's kernels, with the signatures of the functions above.
struct PackedKernelTable {
    PackedForm form;
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

// The portable lane-by-lane form, built everywhere.
const PackedKernelTable& PortablePackedKernels();
// The SSE2 form, or null when this build has none (not x86). Its kernels must
// only be called when PackedFormSupported(PackedForm::kSse2).
const PackedKernelTable* Sse2PackedKernels();
// The AVX2 form, or null when this build has none. Its kernels must only be
// called when PackedFormSupported(PackedForm::kAvx2).
const PackedKernelTable* Avx2PackedKernels();
// The table of any form; null when this build has none.
const PackedKernelTable* PackedKernelsOf(PackedForm form);

// Whether this build has the form and the processor can run it.
bool PackedFormSupported(PackedForm form);
// The table the kernels above run: on first use the AVX2 form when
// supported, else the SSE2 form when supported, else the portable one.
const PackedKernelTable& ActivePackedKernels();
PackedForm ActivePackedForm();
// Makes the kernels above run the given form. Returns false, changing
// nothing, when the form is not supported.
bool ForcePackedForm(PackedForm form);
// Returns to the form chosen from the processor's features.
void UseDetectedPackedForm();

}  // namespace trelvane
