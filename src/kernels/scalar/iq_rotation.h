// Scalar I/Q rotation and detail restore.
#pragma once

#include <cstdint>

namespace trelvane {

// Q14 rotation matrices: (Cr, Cb) -> (I, Q), and back.
inline constexpr int32_t kIFromCr = 16899, kIFromCb = -7789;
inline constexpr int32_t kQFromCr = 10974, kQFromCb = 11994;
inline constexpr int32_t kCrFromI = 11173, kCrFromQ = 7256;
inline constexpr int32_t kCbFromI = -10223, kCbFromQ = 15741;

// In place: sample i of cr becomes I, of cb becomes Q.
void RotateToIQ(int16_t* cr, int16_t* cb, int count);
// In place: sample i of iLine becomes Cr, of qLine becomes Cb.
void RotateFromIQ(int16_t* iLine, int16_t* qLine, int count);

// f[i] += (2 * strength * (x[i] - f[i])) >> 6, low 16 bits kept.
void BlendDetail(int16_t* f, const int16_t* x, int count, int strength);
// As BlendDetail, with the difference cored by the noise threshold first.
void BlendDetailCored(int16_t* f, const int16_t* x, int count, int strength, int noise);

// One sample of each kernel, shared with the packed kernels' remainder path.
inline void RotateToIQSample(int16_t& a, int16_t& b);
inline void RotateFromIQSample(int16_t& p, int16_t& q);
inline int16_t BlendSample(int16_t f, int16_t x, int32_t twiceStrength);
inline int16_t BlendCoredSample(int16_t f, int16_t x, int32_t twiceStrength, int32_t noise);

}  // namespace trelvane

#include "kernels/scalar/iq_rotation_inl.h"
