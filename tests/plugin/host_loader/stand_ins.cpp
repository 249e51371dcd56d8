// The stand-ins for what the DLL imports from Windows, and the thread block.
#include "plugin/host_loader/stand_ins.h"

#include <asm/ldt.h>
#include <pthread.h>
#include <strings.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace trelvane::host {

namespace {

// Windows code promises callees only a 4-byte aligned stack, so the host
// side realigns too. KERNEL32's functions remove their own arguments.
#define HOST_WINAPI __attribute__((stdcall, force_align_arg_pointer))
#define HOST_CDECL __attribute__((cdecl, force_align_arg_pointer))

// Ends the test at once: the plug-in's code is running and cannot be
// returned to in a useful state.
[[noreturn]] void Stop(const char* why) {
    std::fprintf(stderr, "host loader: %s\n", why);
    std::fflush(stderr);
    _exit(3);
}

// A compile-time name for each stand-in that must never run.
template <size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
};
template <Name What>
[[noreturn]] HOST_CDECL void Never() {
    std::fprintf(stderr, "host loader: the plug-in called %s, which these tests never expect it to reach\n", What.text);
    std::fflush(stderr);
    _exit(3);
}

// The thread block and its TLS array.
alignas(16) uint32_t gThreadBlock[1024];
uint32_t gTlsSlots[64];

// The aligned allocator: the plug-in's work buffers.
AlignedHeap gAlignedHeap;

HOST_CDECL void* AlignedMalloc(size_t bytes, size_t alignment) {
    ++gAlignedHeap.allocations;
    if (gAlignedHeap.refuse > 0) {
        --gAlignedHeap.refuse;
        return nullptr;
    }
    void* block = nullptr;
    if (posix_memalign(&block, std::max(alignment, sizeof(void*)), bytes) != 0) return nullptr;
    gAlignedHeap.live.insert(block);
    return block;
}

HOST_CDECL void AlignedFree(void* block) {
    if (block == nullptr) return;
    ++gAlignedHeap.releases;
    if (gAlignedHeap.live.erase(block) == 0) Stop("_aligned_free on a block _aligned_malloc never handed out");
    std::free(block);
}

// Critical sections: the host has one thread, so entering never waits; the
// books catch a leave without an enter and a deletion while held. The
// record is the 24-byte CRITICAL_SECTION; RecursionCount (the third field)
// is the only one these use.
struct CriticalSection {
    uint32_t debugInfo, lockCount, recursionCount, owningThread, lockSemaphore, spinCount;
};

HOST_WINAPI void InitializeCriticalSection(CriticalSection* cs) { *cs = CriticalSection{0, ~0u, 0, 0, 0, 0}; }

HOST_WINAPI void EnterCriticalSection(CriticalSection* cs) { ++cs->recursionCount; }

HOST_WINAPI void LeaveCriticalSection(CriticalSection* cs) {
    if (cs->recursionCount == 0) Stop("LeaveCriticalSection on a section not entered");
    --cs->recursionCount;
}

HOST_WINAPI void DeleteCriticalSection(CriticalSection* cs) {
    if (cs->recursionCount != 0) Stop("DeleteCriticalSection on a section still entered");
}

// No other module is loaded (the runtime asks for a shared libgcc, and
// falls back on the one linked in).
HOST_WINAPI void* GetModuleHandleA(const char* name) {
    if (name == nullptr) Stop("GetModuleHandleA for the program itself");
    return nullptr;
}

// Semaphores (behind the runtime's mutexes): with one thread no mutex is ever
// contended, so nothing waits on or releases one; each only needs a handle
// of its own until it is closed.
std::set<void*> gSemaphores;

HOST_WINAPI void* CreateSemaphoreW(void* /*attributes*/, long /*initial*/, long /*maximum*/, const wchar_t* name) {
    if (name != nullptr) Stop("CreateSemaphoreW for a named semaphore");
    return *gSemaphores.insert(new char).first;
}

HOST_WINAPI int CloseHandle(void* handle) {
    if (gSemaphores.erase(handle) == 0) Stop("CloseHandle on a handle that is not open");
    delete static_cast<char*>(handle);
    return 1;
}

HOST_WINAPI uint32_t GetCurrentThreadId() { return gThreadBlock[0x24 / 4]; }

// The C runtime's numbered locks (its exit-function table): one thread, so
// only the pairing is checked.
int gCrtLocksHeld = 0;
HOST_CDECL void CrtLock(int /*lock*/) { ++gCrtLocksHeld; }
HOST_CDECL void CrtUnlock(int /*lock*/) {
    if (gCrtLocksHeld-- == 0) Stop("_unlock without _lock");
}

// The runtime's own small blocks (not the plug-in's buffers).
HOST_CDECL void* Malloc(size_t bytes) { return std::malloc(bytes); }
HOST_CDECL void* Calloc(size_t count, size_t bytes) { return std::calloc(count, bytes); }
HOST_CDECL void Free(void* block) { std::free(block); }

// Runs the initialisers in [first, last), skipping empty entries.
using Initialiser = void (*)();
HOST_CDECL void Initterm(const Initialiser* first, const Initialiser* last) {
    for (; first < last; ++first) {
        if (*first != nullptr) (*first)();
    }
}

HOST_CDECL void* Memset(void* dst, int value, size_t bytes) { return std::memset(dst, value, bytes); }

// msvcrt's variables: the three standard streams (FILE is 32 bytes there) and
// the longest multibyte character of the C locale.
uint8_t gIob[3 * 32];
int gMbCurMax = 1;

struct StandIn {
    const char* dll;
    const char* name;
    void* address;
};

#define NEVER(dll, fn) {dll, fn, reinterpret_cast<void*>(&Never<dll "!" fn>)}
#define K32_NEVER(fn) NEVER("KERNEL32.dll", fn)
#define CRT_NEVER(fn) NEVER("msvcrt.dll", fn)
#define K32(fn, address) {"KERNEL32.dll", fn, reinterpret_cast<void*>(address)}
#define CRT(fn, address) {"msvcrt.dll", fn, reinterpret_cast<void*>(address)}

const StandIn kStandIns[] = {
    K32("CloseHandle", &CloseHandle),
    K32("CreateSemaphoreW", &CreateSemaphoreW),
    K32("DeleteCriticalSection", &DeleteCriticalSection),
    K32("EnterCriticalSection", &EnterCriticalSection),
    K32_NEVER("FreeLibrary"),
    K32("GetCurrentThreadId", &GetCurrentThreadId),
    K32_NEVER("GetLastError"),
    K32("GetModuleHandleA", &GetModuleHandleA),
    K32_NEVER("GetModuleHandleW"),
    K32_NEVER("GetProcAddress"),
    K32("InitializeCriticalSection", &InitializeCriticalSection),
    K32_NEVER("IsDBCSLeadByteEx"),
    K32("LeaveCriticalSection", &LeaveCriticalSection),
    K32_NEVER("LoadLibraryA"),
    K32_NEVER("MultiByteToWideChar"),
    K32_NEVER("ReleaseSemaphore"),
    K32_NEVER("SetLastError"),
    K32_NEVER("Sleep"),
    K32_NEVER("TlsAlloc"),
    K32_NEVER("TlsFree"),
    K32_NEVER("TlsGetValue"),
    K32_NEVER("TlsSetValue"),
    K32_NEVER("VirtualProtect"),
    K32_NEVER("VirtualQuery"),
    K32_NEVER("WaitForSingleObject"),
    K32_NEVER("WideCharToMultiByte"),
    CRT("__mb_cur_max", &gMbCurMax),
    CRT_NEVER("__setusermatherr"),
    CRT("_aligned_free", &AlignedFree),
    CRT("_aligned_malloc", &AlignedMalloc),
    CRT_NEVER("_amsg_exit"),
    CRT_NEVER("_errno"),
    CRT("_initterm", &Initterm),
    CRT("_iob", gIob),
    CRT("_lock", &CrtLock),
    CRT("_unlock", &CrtUnlock),
    CRT_NEVER("abort"),
    CRT_NEVER("atoi"),
    CRT("calloc", &Calloc),
    CRT_NEVER("fputc"),
    CRT_NEVER("fputs"),
    CRT("free", &Free),
    CRT_NEVER("fwrite"),
    CRT_NEVER("localeconv"),
    CRT("malloc", &Malloc),
    CRT_NEVER("memcpy"),
    CRT("memset", &Memset),
    CRT_NEVER("realloc"),
    CRT_NEVER("setlocale"),
    CRT_NEVER("strchr"),
    CRT_NEVER("strcmp"),
    CRT_NEVER("strerror"),
    CRT_NEVER("strlen"),
    CRT_NEVER("strncmp"),
    CRT_NEVER("vfprintf"),
    CRT_NEVER("wcslen"),
};

}  // namespace

uint32_t* InstallThreadBlock() {
    static bool installed = false;
    if (installed) return gTlsSlots;
    pthread_attr_t attr;
    void* stackLow = nullptr;
    size_t stackSize = 0;
    if (pthread_getattr_np(pthread_self(), &attr) != 0 || pthread_attr_getstack(&attr, &stackLow, &stackSize) != 0) {
        Stop("cannot read the bounds of the stack");
    }
    pthread_attr_destroy(&attr);
    const auto address = [](const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
    gThreadBlock[0x00 / 4] = 0xFFFFFFFFu;  // no exception handler registered
    gThreadBlock[0x04 / 4] = address(static_cast<char*>(stackLow) + stackSize);
    gThreadBlock[0x08 / 4] = address(stackLow);
    gThreadBlock[0x18 / 4] = address(gThreadBlock);
    gThreadBlock[0x20 / 4] = static_cast<uint32_t>(getpid());
    gThreadBlock[0x24 / 4] = static_cast<uint32_t>(syscall(SYS_gettid));
    gThreadBlock[0x2C / 4] = address(gTlsSlots);

    user_desc segment{};
    segment.entry_number = ~0u;  // any free slot
    segment.base_addr = address(gThreadBlock);
    segment.limit = sizeof gThreadBlock - 1;
    segment.seg_32bit = 1;
    segment.useable = 1;
    if (syscall(SYS_set_thread_area, &segment) != 0) Stop("set_thread_area refused the thread block's segment");
    const uint16_t selector = static_cast<uint16_t>(segment.entry_number << 3 | 3);  // GDT, ring 3
    asm volatile("movw %0, %%fs" : : "r"(selector));
    installed = true;
    return gTlsSlots;
}

void* StandInFor(const std::string& dll, const std::string& name) {
    for (const StandIn& s : kStandIns) {
        if (strcasecmp(s.dll, dll.c_str()) == 0 && name == s.name) return s.address;
    }
    return nullptr;
}

AlignedHeap& DllAlignedHeap() { return gAlignedHeap; }

}  // namespace trelvane::host
