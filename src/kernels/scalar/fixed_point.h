// Fixed-point helpers shared by the scalar kernels.
//
// The scalar kernels define their results as 32-bit two's-complement
// arithmetic with the low 16 bits stored. Sums that can leave the 32-bit range
// for extreme inputs are formed in unsigned arithmetic, which wraps by
// definition, and only then read back as signed: the stored bits are the same
// as the wrapped signed sum's, without signed overflow.
#pragma once

#include <cstdint>

namespace trelvane {

// a * b wrapped to 32 bits.
inline int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// a + b wrapped to 32 bits.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// a - b wrapped to 32 bits.
inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The low 16 bits of a 32-bit value, read as signed.
inline int16_t Low16(int32_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v)));
}

// Clamp to the signed 16-bit range.
inline int16_t Saturate16(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

}  // namespace trelvane
