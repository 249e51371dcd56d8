// Per-sample rules of the scalar rotation and blends (32-bit arithmetic, low
// 16 bits stored). Settings arrive as the host passes them and may lie outside
// the declared ranges, so every product and sum that involves them wraps.
#pragma once

#include "kernels/scalar/fixed_point.h"

namespace trelvane {

inline void RotateToIQSample(int16_t& a, int16_t& b) {
    const int32_t cr = a;
    const int32_t cb = b;
    a = Low16((kIFromCr * cr + kIFromCb * cb + 8192) >> 14);
    b = Low16((kQFromCr * cr + kQFromCb * cb + 8192) >> 14);
}

inline void RotateFromIQSample(int16_t& p, int16_t& q) {
    const int32_t i = p;
    const int32_t qv = q;
    p = Low16((kCrFromI * i + kCrFromQ * qv + 8192) >> 14);
    q = Low16((kCbFromQ * qv + kCbFromI * i + 8192) >> 14);
}

inline int16_t BlendSample(int16_t f, int16_t x, int32_t twiceStrength) {
    const int32_t d = int32_t{x} - f;
    return Low16(WrapAdd(f, WrapMul(d, twiceStrength) >> 6));
}

// Cores d: magnitudes up to 4t/5 give 0, up to t are ramped in with slope 5,
// t or more pass whole.
inline int32_t CoreDifference(int32_t d, int32_t noise) {
    if (d > 0) {
        if (d >= noise) return d;
        const int32_t ramp = WrapSub(WrapMul(5, d), WrapMul(4, noise));
        return ramp > 0 ? ramp : 0;
    }
    // No difference stays none, also for a noise so large that 4t wraps.
    if (d == 0) return 0;
    if (int64_t{d} <= -int64_t{noise}) return d;
    const int32_t ramp = WrapAdd(WrapMul(5, d), WrapMul(4, noise));
    return ramp < 0 ? ramp : 0;
}

inline int16_t BlendCoredSample(int16_t f, int16_t x, int32_t twiceStrength, int32_t noise) {
    const int32_t e = CoreDifference(int32_t{x} - f, noise);
    return Low16(WrapAdd(f, WrapMul(e, twiceStrength) >> 6));
}

}  // namespace trelvane
