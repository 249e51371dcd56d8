// What a DLL built with MinGW-w64 expects of Windows, as far as the plug-in's
// tests reach: a thread block in %fs, and a stand-in for each function and
// variable it imports.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace trelvane::host {

// Points %fs at a thread block (the TEB) for this thread: its own address at
// 0x18, the stack's base and limit at 0x04 and 0x08, the end of the
// exception-handler chain at 0x00 and the TLS array at 0x2C. glibc uses %gs
// on i386, so %fs is free. Returns the TLS array; aborts if the system
// refuses the segment.
uint32_t* InstallThreadBlock();

// The stand-in for dll!name (dll in any case): a function with the import's
// calling convention or a variable; null when there is none. A function the
// plug-in must never reach in these tests stops the process, naming itself.
void* StandInFor(const std::string& dll, const std::string& name);

// The books of the aligned allocator stand-in (_aligned_malloc and
// _aligned_free), the plug-in's one source of memory.
struct AlignedHeap {
    int allocations = 0;  // calls, refused ones included
    int releases = 0;     // calls with a block
    int refuse = 0;       // refuse this many of the next calls
    std::set<void*> live;
};
AlignedHeap& DllAlignedHeap();

}  // namespace trelvane::host
