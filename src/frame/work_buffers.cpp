// The work buffers: sized for a pitch, 16-byte aligned, replaced and released.
#include "frame/work_buffers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace trelvane {

namespace {

constexpr size_t kAlignment = 16;

void* DefaultAlignedAlloc(size_t bytes, size_t alignment) {
#if defined(_WIN32)
    return _aligned_malloc(bytes, alignment);
#else
    void* block = nullptr;
    return posix_memalign(&block, alignment, bytes) == 0 ? block : nullptr;
#endif
}

void DefaultAlignedFree(void* block) {
#if defined(_WIN32)
    _aligned_free(block);
#else
    std::free(block);
#endif
}

AlignedAllocFn gAllocate = DefaultAlignedAlloc;
AlignedFreeFn gRelease = DefaultAlignedFree;

WorkBuffers gProcessBuffers;

// 8p + extra bytes, or 0 when p is negative or the size overflows size_t.
size_t BufferBytes(int pitch, size_t extra) {
    if (pitch < 0) return 0;
    const uint64_t bytes = 8 * static_cast<uint64_t>(pitch) + extra;
    if (bytes > SIZE_MAX) return 0;
    return static_cast<size_t>(bytes);
}

int16_t* AllocateZeroed(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* block = gAllocate(bytes, kAlignment);
    // Zero-filled so that no stage ever reads memory nothing wrote: the
    // packed rotations and blends of an odd-width frame touch two values
    // just past the line, which no stage of a group writes first.
    if (block != nullptr) std::memset(block, 0, bytes);
    return static_cast<int16_t*>(block);
}

void ReleaseOne(int16_t*& block) {
    if (block != nullptr) {
        gRelease(block);
        block = nullptr;
    }
}

}  // namespace

size_t PadBufferBytes(int pitch) {
    return BufferBytes(pitch, 256);
}

size_t LowBufferBytes(int pitch) {
    // A pitch of 0 still gets a small block, so that a 0-wide frame is not
    // mistaken for an allocation failure.
    return pitch == 0 ? kAlignment : BufferBytes(pitch, 0);
}

int EnsureWorkBuffers(WorkBuffers& buffers, int pitch) {
    if (pitch == buffers.allocatedPitch && buffers.padCr != nullptr && buffers.padCb != nullptr &&
        buffers.lowCr != nullptr && buffers.lowCb != nullptr) {
        return 1;
    }
    ReleaseWorkBuffers(buffers);
    const size_t padBytes = PadBufferBytes(pitch);
    const size_t lowBytes = LowBufferBytes(pitch);
    // A pitch whose sizes do not fit is a failure like any other: no buffer
    // smaller than the pitch needs may ever be handed out.
    if (padBytes == 0 || lowBytes == 0) return 0;
    // All four are attempted even after a failure, in this order.
    buffers.padCr = AllocateZeroed(padBytes);
    buffers.padCb = AllocateZeroed(padBytes);
    buffers.lowCr = AllocateZeroed(lowBytes);
    buffers.lowCb = AllocateZeroed(lowBytes);
    if (buffers.padCr != nullptr && buffers.padCb != nullptr && buffers.lowCr != nullptr &&
        buffers.lowCb != nullptr) {
        buffers.allocatedPitch = pitch;
        return 1;
    }
    ReleaseWorkBuffers(buffers);
    return 0;
}

void ReleaseWorkBuffers(WorkBuffers& buffers) {
    ReleaseOne(buffers.padCr);
    ReleaseOne(buffers.padCb);
    ReleaseOne(buffers.lowCr);
    ReleaseOne(buffers.lowCb);
}

WorkBuffers& ProcessWorkBuffers() {
    return gProcessBuffers;
}

int EnsureWorkBuffers(int pitch) {
    return EnsureWorkBuffers(gProcessBuffers, pitch);
}

void SetWorkBufferAllocator(AlignedAllocFn allocate, AlignedFreeFn release) {
    gAllocate = allocate != nullptr ? allocate : DefaultAlignedAlloc;
    gRelease = release != nullptr ? release : DefaultAlignedFree;
}

}  // namespace trelvane
