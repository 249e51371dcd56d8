// A 32-bit PE DLL mapped from its file the way the Windows loader maps it,
// for a test host running on i386 Linux: sections at their addresses, base
// relocations applied, every import bound to a stand-in, the TLS directory
// set up. Running its code is the caller's business (see call_at_offset.S).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trelvane::host {

// Address of the stand-in for dll!name (dll in any case), or null when
// there is none.
using ImportResolver = std::function<void*(const std::string& dll, const std::string& name)>;

class PeImage {
public:
    PeImage() = default;
    PeImage(const PeImage&) = delete;
    PeImage& operator=(const PeImage&) = delete;
    ~PeImage();

    // Maps the file. On failure returns false with error() saying why; an
    // import without a stand-in is named as "DLL!name", every one of them.
    // tlsSlots is the thread block's TLS array: the image gets index 0 and
    // slot 0 receives a fresh copy of its TLS template.
    bool Load(const std::string& path, const ImportResolver& resolve, uint32_t* tlsSlots);

    const std::string& error() const { return error_; }
    uint32_t base() const { return reinterpret_cast<uintptr_t>(base_); }
    uint32_t preferredBase() const { return preferredBase_; }
    uint32_t entryPoint() const { return entryPoint_; }
    // The TLS callbacks in the order the directory lists them.
    const std::vector<uint32_t>& tlsCallbacks() const { return tlsCallbacks_; }
    // Address of a function exported by name, 0 when there is none.
    uint32_t Export(const std::string& name) const;

private:
    template <typename T>
    T* At(uint32_t rva) const { return reinterpret_cast<T*>(base_ + rva); }
    bool Fail(const std::string& why);
    bool Relocate(uint32_t rva, uint32_t size);
    bool BindImports(uint32_t rva, const ImportResolver& resolve);
    bool SetUpTls(uint32_t rva, uint32_t* tlsSlots);

    uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
    uint32_t preferredBase_ = 0;
    uint32_t entryPoint_ = 0;
    uint32_t exportRva_ = 0;
    std::vector<uint32_t> tlsCallbacks_;
    std::vector<uint8_t> tlsBlock_;
    std::string error_;
};

}  // namespace trelvane::host
