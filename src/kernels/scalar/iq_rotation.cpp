// The scalar I/Q rotations and detail blends over whole lines.
#include "kernels/scalar/iq_rotation.h"

namespace trelvane {

void RotateToIQ(int16_t* cr, int16_t* cb, int count) {
    for (int i = 0; i < count; ++i) RotateToIQSample(cr[i], cb[i]);
}

void RotateFromIQ(int16_t* iLine, int16_t* qLine, int count) {
    for (int i = 0; i < count; ++i) RotateFromIQSample(iLine[i], qLine[i]);
}

void BlendDetail(int16_t* f, const int16_t* x, int count, int strength) {
    const int32_t twiceStrength = WrapMul(2, strength);
    for (int i = 0; i < count; ++i) f[i] = BlendSample(f[i], x[i], twiceStrength);
}

void BlendDetailCored(int16_t* f, const int16_t* x, int count, int strength, int noise) {
    const int32_t twiceStrength = WrapMul(2, strength);
    for (int i = 0; i < count; ++i) f[i] = BlendCoredSample(f[i], x[i], twiceStrength, noise);
}

}  // namespace trelvane
