// The scalar low-pass filters: symmetric 19- and 15-tap FIRs over a ChromaLine.
#include "kernels/scalar/chroma_filters.h"

#include "kernels/scalar/fixed_point.h"

namespace trelvane {

namespace {

// Symmetric FIR with Reach taps on either side of the centre. The sum can pass
// the 32-bit range only for inputs near the 16-bit extremes; it is formed in
// wrapping unsigned arithmetic so the stored bits (16..31 of the sum) are
// those of the 32-bit signed sum without overflow.
template <int Reach>
inline void SymmetricLowPass(int16_t* dst, const int16_t* src, int n, const int32_t* taps) {
    for (int i = 0; i < n; ++i) {
        uint32_t acc = 32768u + static_cast<uint32_t>(taps[0] * int32_t{src[i]});
        for (int k = 1; k <= Reach; ++k) {
            const int32_t pair = int32_t{src[i - k]} + src[i + k];
            acc += static_cast<uint32_t>(taps[k] * pair);
        }
        dst[i] = Low16(static_cast<int32_t>(acc) >> 16);
    }
}

}  // namespace

void LowPass640(int16_t* dst, const int16_t* src, int n) {
    SymmetricLowPass<9>(dst, src, n, kLowPass640Taps);
}

void LowPass720(int16_t* dst, const int16_t* src, int n) {
    SymmetricLowPass<9>(dst, src, n, kLowPass720Taps);
}

void WideLowPass(int16_t* dst, const int16_t* src, int n) {
    SymmetricLowPass<7>(dst, src, n, kWideLowPassTaps);
}

}  // namespace trelvane
