// The one place that chooses which form the four-row kernels run: on first
// use, the widest form this build has and the processor supports (AVX2, then
// SSE2), otherwise the portable one. Nothing here is compiled for SSE2 or AVX2.
#include <atomic>

#include "kernels/packed/packed_kernels.h"

#if defined(_MSC_VER) && (defined(_M_IX86) || defined(_M_X64))
#include <intrin.h>
#endif

namespace trelvane {

namespace {

bool ProcessorHasSse2() {
#if defined(__x86_64__) || defined(_M_X64)
    return true;  // part of the 64-bit instruction set
#elif defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") != 0;
#elif defined(_M_IX86)
    int info[4] = {};
    __cpuid(info, 1);
    return (info[3] & (1 << 26)) != 0;  // CPUID.1:EDX bit 26
#else
    return false;
#endif
}

// AVX2 needs the processor's support and the operating system's saving of
// the 256-bit registers; the compiler's feature test checks both.
bool ProcessorHasAvx2() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

const PackedKernelTable& DetectedKernels() {
    static const PackedKernelTable* const detected =
        PackedFormSupported(PackedForm::kAvx2)   ? Avx2PackedKernels()
        : PackedFormSupported(PackedForm::kSse2) ? Sse2PackedKernels()
                                                 : &PortablePackedKernels();
    return *detected;
}

std::atomic<const PackedKernelTable*> gActive{nullptr};

}  // namespace

const PackedKernelTable* PackedKernelsOf(PackedForm form) {
    switch (form) {
        case PackedForm::kAvx2:
            return Avx2PackedKernels();
        case PackedForm::kSse2:
            return Sse2PackedKernels();
        case PackedForm::kPortable:
            break;
    }
    return &PortablePackedKernels();
}

bool PackedFormSupported(PackedForm form) {
    static const bool sse2 = Sse2PackedKernels() != nullptr && ProcessorHasSse2();
    static const bool avx2 = sse2 && Avx2PackedKernels() != nullptr && ProcessorHasAvx2();
    switch (form) {
        case PackedForm::kAvx2:
            return avx2;
        case PackedForm::kSse2:
            return sse2;
        case PackedForm::kPortable:
            break;
    }
    return true;
}

const PackedKernelTable& ActivePackedKernels() {
    const PackedKernelTable* active = gActive.load(std::memory_order_acquire);
    if (active == nullptr) {
        active = &DetectedKernels();
        gActive.store(active, std::memory_order_release);
    }
    return *active;
}

PackedForm ActivePackedForm() { return ActivePackedKernels().form; }

bool ForcePackedForm(PackedForm form) {
    if (!PackedFormSupported(form)) return false;
    gActive.store(PackedKernelsOf(form), std::memory_order_release);
    return true;
}

void UseDetectedPackedForm() { gActive.store(&DetectedKernels(), std::memory_order_release); }

void GatherChromaQuad(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* first, int count,
                      int pitch) {
    ActivePackedKernels().gatherChromaQuad(crLine, cbLine, first, count, pitch);
}

void ScatterChromaQuad(PIXEL_YC* first, const int16_t* crLine, const int16_t* cbLine, int count,
                       int pitch) {
    ActivePackedKernels().scatterChromaQuad(first, crLine, cbLine, count, pitch);
}

void LowPass640Quad(int16_t* dst, const int16_t* src, int count) {
    ActivePackedKernels().lowPass640Quad(dst, src, count);
}

void LowPass720Quad(int16_t* dst, const int16_t* src, int count) {
    ActivePackedKernels().lowPass720Quad(dst, src, count);
}

void WideLowPassQuad(int16_t* dst, const int16_t* src, int count) {
    ActivePackedKernels().wideLowPassQuad(dst, src, count);
}

void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count) {
    ActivePackedKernels().rotateToIQQuad(crLine, cbLine, count);
}

void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count) {
    ActivePackedKernels().rotateFromIQQuad(iLine, qLine, count);
}

void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength) {
    ActivePackedKernels().blendDetailQuad(f, x, count, strength);
}

void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength, int noise) {
    ActivePackedKernels().blendDetailCoredQuad(f, x, count, strength, noise);
}

void UpsampleChroma2xQuad(int16_t* dst, const int16_t* src, int n) {
    ActivePackedKernels().upsampleChroma2xQuad(dst, src, n);
}

}  // namespace trelvane
