// Fuzz target: every packed kernel in each SIMD form the processor
// runs (SSE2, AVX2) against the portable form, on random counts, settings and
// data.
//
// Input: one byte picks the kernel, then its count (non-positive ones
// included), pitch, strength and noise, a byte that biases samples toward the
// 16-bit extremes, and the samples themselves (continued from a generator
// seeded by the input once the bytes run out). Every buffer is a block of
// exactly the size the kernel may touch, so AddressSanitizer sees any access
// beyond it; a non-positive count gets null buffers, which nothing may touch.
// Any difference between the forms aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kernels/cpu_features.h"
#include "kernels/packed/packed_kernels.h"

namespace {

using trelvane::kQuadEdge;
using trelvane::kQuadLanes;
using trelvane::PackedKernels;

void Require(bool condition) {
    if (!condition) std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {
        for (size_t i = 0; i < size; ++i) seed_ = (seed_ ^ data[i]) * 0x100000001B3ull;
    }

    uint8_t Byte() {
        if (pos_ < size_) return data_[pos_++];
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 7;
        seed_ ^= seed_ << 17;
        return static_cast<uint8_t>(seed_);
    }
    uint32_t Word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    int16_t Sample(bool extremes) {
        const auto raw = static_cast<int16_t>(Byte() | (Byte() << 8));
        if (!extremes || (raw & 3) != 0) return raw;
        static constexpr int16_t kEdges[] = {-32768, -32767, 32767, 0};
        return kEdges[(raw >> 2) & 3];
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint64_t seed_ = 0xCBF29CE484222325ull;
};

// A count from -4 up to limit - 5: mostly small, where the edges and the
// odd tails of the forms are.
int Count(Input& in, int limit) {
    const int raw = (in.Byte() << 8) | in.Byte();
    return raw % limit - 4;
}

// A setting as the host may pass it: mostly in range, sometimes any int.
int Setting(Input& in) {
    const uint8_t selector = in.Byte();
    if (selector < 192) return selector % 140;
    return static_cast<int>(in.Word());
}

// One buffer per kernel argument, each in a block of its exact size (null
// for an empty one).
struct Buffers {
    std::vector<std::vector<int16_t>> lines;

    int16_t* operator[](size_t i) { return lines[i].empty() ? nullptr : lines[i].data(); }
};

std::vector<int16_t> Samples(Input& in, size_t count, bool extremes) {
    std::vector<int16_t> v(count);
    for (int16_t& s : v) s = in.Sample(extremes);
    return v;
}

size_t Size(int positions) { return positions > 0 ? kQuadLanes * static_cast<size_t>(positions) : 0; }
size_t Values(int count) { return count > 0 ? static_cast<size_t>(count) : 0; }

enum Kernel { kGather, kScatter, kLowPass640, kLowPass720, kWide, kToIQ, kFromIQ, kBlend, kCored, kUpsample, kKernels };

// What a kernel's frame rows look like: four rows `pitch` pixels apart, the
// last one `lastRow` pixels long.
struct Rows {
    int pitch = 0;
    int lastRow = 0;
    size_t Pixels() const { return lastRow > 0 ? 3 * static_cast<size_t>(pitch) + lastRow : 0; }
};

// The kernel on its own copy of the inputs; every line and the frame as
// they are afterwards.
struct Outcome {
    Buffers lines;
    std::vector<PIXEL_YC> frame;
};

Outcome Run(const PackedKernels& t, Kernel kernel, const Buffers& inputs, const std::vector<PIXEL_YC>& frame,
            int count, const Rows& rows, int strength, int noise) {
    Outcome o{inputs, frame};
    PIXEL_YC* pixels = o.frame.empty() ? nullptr : o.frame.data();
    Buffers& l = o.lines;
    switch (kernel) {
        case kGather: t.gatherChromaQuad(l[0], l[1], pixels, count, rows.pitch); break;
        case kScatter: t.scatterChromaQuad(pixels, l[0], l[1], count, rows.pitch); break;
        case kLowPass640: t.lowPass640Quad(l[0], l[1] == nullptr ? nullptr : l[1] + kQuadLanes * 9, count); break;
        case kLowPass720: t.lowPass720Quad(l[0], l[1] == nullptr ? nullptr : l[1] + kQuadLanes * 9, count); break;
        case kWide: t.wideLowPassQuad(l[0], l[1] == nullptr ? nullptr : l[1] + kQuadLanes * 7, count); break;
        case kToIQ: t.rotateToIQQuad(l[0], l[1], count); break;
        case kFromIQ: t.rotateFromIQQuad(l[0], l[1], count); break;
        case kBlend: t.blendDetailQuad(l[0], l[1], count, strength); break;
        case kCored: t.blendDetailCoredQuad(l[0], l[1], count, strength, noise); break;
        case kUpsample: t.upsampleChroma2xQuad(l[0], l[1], count); break;
        case kKernels: break;
    }
    return o;
}

bool SameFrame(const std::vector<PIXEL_YC>& a, const std::vector<PIXEL_YC>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(PIXEL_YC)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const auto kernel = static_cast<Kernel>(in.Byte() % kKernels);
    const bool positions = kernel == kGather || kernel == kScatter || kernel == kLowPass640 ||
                           kernel == kLowPass720 || kernel == kWide || kernel == kUpsample;
    // Positions hold four values each, so value counts reach four times as far.
    const int count = Count(in, positions ? 200 : 800);
    const int pitchExtra = in.Byte() % 8;
    const int strength = Setting(in);
    const int noise = Setting(in);
    const bool extremes = (in.Byte() & 1) != 0;

    Buffers inputs;
    std::vector<PIXEL_YC> frame;
    Rows rows;
    switch (kernel) {
        case kGather:
            // Reads pixels 0, 2, ..., 2 (count - 1) of each row; writes count + 32 positions.
            rows.lastRow = count > 0 ? 2 * count - 1 : 0;
            rows.pitch = rows.lastRow + pitchExtra;
            inputs.lines = {std::vector<int16_t>(Size(count > 0 ? count + 2 * kQuadEdge : 0)),
                            std::vector<int16_t>(Size(count > 0 ? count + 2 * kQuadEdge : 0))};
            break;
        case kScatter:
            rows.lastRow = count > 0 ? count : 0;
            rows.pitch = rows.lastRow + pitchExtra;
            inputs.lines = {Samples(in, Size(count), extremes), Samples(in, Size(count), extremes)};
            break;
        case kLowPass640:
        case kLowPass720:
        case kWide: {
            const int reach = kernel == kWide ? 7 : 9;
            inputs.lines = {std::vector<int16_t>(Size(count)),
                            Samples(in, Size(count > 0 ? count + 2 * reach : 0), extremes)};
            break;
        }
        case kToIQ:
        case kFromIQ:
        case kBlend:
        case kCored:
            inputs.lines = {Samples(in, Values(count), extremes), Samples(in, Values(count), extremes)};
            break;
        case kUpsample:
            inputs.lines = {std::vector<int16_t>(Size(count > 0 ? 2 * count : 0)), Samples(in, Size(count), extremes)};
            break;
        case kKernels:
            return 0;
    }
    frame.resize(rows.Pixels());
    for (PIXEL_YC& p : frame) p = {in.Sample(extremes), in.Sample(extremes), in.Sample(extremes)};

    const Outcome model = Run(trelvane::PackedKernelsFor(0), kernel, inputs, frame, count, rows, strength, noise);
    // The scatter sets cr and cb of the first count pixels of each row and
    // nothing else: luma everywhere and the pixels between the rows stay.
    for (size_t i = 0; i < frame.size(); ++i) {
        Require(model.frame[i].y == frame[i].y);
        if (static_cast<int>(i % static_cast<size_t>(rows.pitch)) >= count) {
            Require(std::memcmp(&model.frame[i], &frame[i], sizeof(PIXEL_YC)) == 0);
        }
    }

    for (const uint32_t mask : {uint32_t{trelvane::kCpuSse2}, trelvane::kCpuSse2 | trelvane::kCpuAvx2}) {
        const PackedKernels kernels = trelvane::PackedKernelsFor(mask);
        if (kernels.cpuFeatures != mask) continue;
        const Outcome simd = Run(kernels, kernel, inputs, frame, count, rows, strength, noise);
        for (size_t i = 0; i < inputs.lines.size(); ++i) Require(simd.lines.lines[i] == model.lines.lines[i]);
        Require(SameFrame(simd.frame, model.frame));
    }
    return 0;
}
