// The four work buffers every row's chroma passes through.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane {

// Sized for a row pitch p (pixels): padCr and padCb hold 8p + 256 bytes,
// lowCr and lowCb 8p bytes, all 16-byte aligned. That covers the packed
// extended lines (n + 32 positions of 8 bytes) and full-rate lines (2n
// positions) for any width up to the pitch. A pointer is null while its
// buffer does not exist.
struct WorkBuffers {
    int16_t* padCr = nullptr;
    int16_t* padCb = nullptr;
    int16_t* lowCr = nullptr;
    int16_t* lowCb = nullptr;
    int32_t allocatedPitch = -1;  // pitch of the last successful allocation
};

// Byte sizes for a pitch; 0 when the pitch is negative or the size would not
// fit the allocator's size type.
size_t PadBufferBytes(int pitch);
size_t LowBufferBytes(int pitch);

// Makes the four buffers exist for pitch p: reuses them when p equals the
// allocated pitch, otherwise replaces all four. Returns 1 on success; on any
// failed allocation releases all four (every pointer null, allocatedPitch
// kept) and returns 0. New buffers are zero-filled.
int EnsureWorkBuffers(WorkBuffers& buffers, int pitch);

// Frees the existing buffers and nulls their pointers; allocatedPitch is kept.
void ReleaseWorkBuffers(WorkBuffers& buffers);

// The process-wide buffers the plug-in works in (one host thread, one frame
// at a time), and EnsureWorkBuffers on them.
WorkBuffers& ProcessWorkBuffers();
int EnsureWorkBuffers(int pitch);

// The aligned allocator behind the buffers, replaceable so that tests can make
// a chosen allocation fail. Passing nulls restores the default.
using AlignedAllocFn = void* (*)(size_t bytes, size_t alignment);
using AlignedFreeFn = void (*)(void* block);
void SetWorkBufferAllocator(AlignedAllocFn allocate, AlignedFreeFn release);

}  // namespace trelvane
