// Maps a 32-bit PE DLL as the Windows loader does: sections, relocations, imports, TLS.
#include "plugin/host_loader/pe_image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace trelvane::host {

namespace {

// Field offsets of the PE format (32-bit images).
constexpr uint32_t kOptionalHeader = 24;  // from the "PE\0\0" signature
constexpr uint32_t kSectionHeaderSize = 40;
enum Directory { kExports = 0, kImports = 1, kBaseRelocations = 5, kTls = 9 };
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint32_t kPage = 4096;

uint32_t Read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t Read16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

uint32_t PageRound(uint32_t n) { return (n + kPage - 1) & ~(kPage - 1); }

}  // namespace

PeImage::~PeImage() {
    if (base_ != nullptr) munmap(base_, size_);
}

bool PeImage::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool PeImage::Load(const std::string& path, const ImportResolver& resolve, uint32_t* tlsSlots) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail("cannot open " + path);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return Fail(path + ": not an MZ file");
    const uint32_t nt = Read32(&file[0x3C]);
    if (nt > file.size() - 248 || std::memcmp(&file[nt], "PE\0\0", 4) != 0) return Fail(path + ": no PE header");
    const uint8_t* header = &file[nt];
    const uint8_t* optional = header + kOptionalHeader;
    if (Read16(header + 4) != 0x14C || Read16(optional) != 0x10B) return Fail(path + ": not a 32-bit x86 image");
    const uint16_t sections = Read16(header + 6);
    const uint32_t sectionTable = nt + kOptionalHeader + Read16(header + 20);
    if (sectionTable + sections * kSectionHeaderSize > file.size()) return Fail(path + ": section table cut off");
    entryPoint_ = Read32(optional + 16);
    preferredBase_ = Read32(optional + 28);
    size_ = PageRound(Read32(optional + 56));
    const uint32_t headerBytes = Read32(optional + 60);
    const auto directory = [&](Directory d, uint32_t field) {
        return d < Read32(optional + 92) ? Read32(optional + 96 + 8 * d + 4 * field) : 0;
    };

    // Anywhere the system puts it: never at the preferred base in practice,
    // so the relocations are always exercised.
    void* mapped = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return Fail("cannot map " + std::to_string(size_) + " bytes");
    base_ = static_cast<uint8_t*>(mapped);
    if (headerBytes > size_ || headerBytes > file.size()) return Fail(path + ": headers too large");
    std::memcpy(base_, file.data(), headerBytes);
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* s = &file[sectionTable + i * kSectionHeaderSize];
        const uint32_t rva = Read32(s + 12);
        const uint32_t raw = std::min(Read32(s + 16), Read32(s + 8) != 0 ? Read32(s + 8) : Read32(s + 16));
        const uint32_t offset = Read32(s + 20);
        if (rva > size_ || raw > size_ - rva || offset > file.size() || raw > file.size() - offset) {
            return Fail(path + ": section " + std::to_string(i) + " outside the file or the image");
        }
        std::memcpy(base_ + rva, &file[offset], raw);  // the rest of the section stays zero
    }

    exportRva_ = directory(kExports, 0);
    if (!Relocate(directory(kBaseRelocations, 0), directory(kBaseRelocations, 1))) return false;
    if (!BindImports(directory(kImports, 0), resolve)) return false;
    if (!SetUpTls(directory(kTls, 0), tlsSlots)) return false;

    // Each section gets the access its header asks for (every section can be
    // read); the headers stay read-only.
    mprotect(base_, PageRound(headerBytes), PROT_READ);
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* s = &file[sectionTable + i * kSectionHeaderSize];
        const uint32_t flags = Read32(s + 36);
        const int access = PROT_READ | ((flags & kSectionWrite) != 0 ? PROT_WRITE : 0) |
                           ((flags & kSectionExecute) != 0 ? PROT_EXEC : 0);
        const uint32_t length = PageRound(std::max(Read32(s + 8), Read32(s + 16)));
        if (mprotect(base_ + Read32(s + 12), std::min(length, size_ - Read32(s + 12)), access) != 0) {
            return Fail("cannot set the access of section " + std::to_string(i));
        }
    }
    return true;
}

// Adds the distance from the preferred base to every 32-bit address the
// relocation blocks list (type 3, HIGHLOW; type 0 only pads a block).
bool PeImage::Relocate(uint32_t rva, uint32_t size) {
    const uint32_t delta = base() - preferredBase_;
    if (size == 0) return delta == 0 ? true : Fail("the image has no base relocations and cannot move");
    for (uint32_t block = rva; block < rva + size;) {
        const uint32_t page = Read32(At<uint8_t>(block));
        const uint32_t blockSize = Read32(At<uint8_t>(block + 4));
        if (blockSize < 8 || blockSize > rva + size - block) return Fail("malformed relocation block");
        for (uint32_t e = 8; e + 2 <= blockSize; e += 2) {
            const uint16_t entry = Read16(At<uint8_t>(block + e));
            const uint32_t target = page + (entry & 0xFFF);
            if (entry >> 12 == 0) continue;
            if (entry >> 12 != 3) return Fail("unsupported relocation type " + std::to_string(entry >> 12));
            if (target > size_ - 4) return Fail("relocation outside the image");
            const uint32_t value = Read32(At<uint8_t>(target)) + delta;
            std::memcpy(At<uint8_t>(target), &value, 4);
        }
        block += blockSize;
    }
    return true;
}

// Fills each import address table slot with its stand-in, the address of a
// function or of a variable. Every import without one is named.
bool PeImage::BindImports(uint32_t rva, const ImportResolver& resolve) {
    std::string missing;
    for (uint32_t d = rva; rva != 0 && Read32(At<uint8_t>(d + 12)) != 0; d += 20) {
        const std::string dll = At<const char>(Read32(At<uint8_t>(d + 12)));
        const uint32_t names = Read32(At<uint8_t>(d)) != 0 ? Read32(At<uint8_t>(d)) : Read32(At<uint8_t>(d + 16));
        uint32_t slot = Read32(At<uint8_t>(d + 16));
        for (uint32_t n = names; Read32(At<uint8_t>(n)) != 0; n += 4, slot += 4) {
            const uint32_t hintName = Read32(At<uint8_t>(n));
            if ((hintName & 0x80000000u) != 0) {
                missing.append(" ").append(dll).append("!#").append(std::to_string(hintName & 0xFFFF));
                continue;
            }
            const std::string name = At<const char>(hintName + 2);
            const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(resolve(dll, name)));
            if (address == 0) missing.append(" ").append(dll).append("!").append(name);
            std::memcpy(At<uint8_t>(slot), &address, 4);
        }
    }
    return missing.empty() ? true : Fail("imports without a stand-in:" + missing);
}

// The image's static TLS: its index is 0 and slot 0 of the thread block's
// TLS array holds a fresh copy of the template (plus the zero fill). The
// callbacks are kept for the caller to run before the entry point.
bool PeImage::SetUpTls(uint32_t rva, uint32_t* tlsSlots) {
    if (rva == 0) return true;
    const uint8_t* dir = At<uint8_t>(rva);
    const auto* start = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(Read32(dir)));
    const auto* end = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(Read32(dir + 4)));
    tlsBlock_.assign(start, end);
    tlsBlock_.resize(tlsBlock_.size() + Read32(dir + 16) + 4, 0);  // + 4: never empty, always an address
    const uint32_t index = 0;
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(Read32(dir + 8))), &index, 4);
    tlsSlots[index] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tlsBlock_.data()));
    for (uint32_t a = Read32(dir + 12); a != 0; a += 4) {
        const uint32_t callback = Read32(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(a)));
        if (callback == 0) break;
        tlsCallbacks_.push_back(callback);
    }
    return true;
}

uint32_t PeImage::Export(const std::string& name) const {
    if (exportRva_ == 0) return 0;
    const uint8_t* dir = At<uint8_t>(exportRva_);
    for (uint32_t i = 0; i < Read32(dir + 24); ++i) {
        if (name != At<const char>(Read32(At<uint8_t>(Read32(dir + 32) + 4 * i)))) continue;
        const uint16_t ordinal = Read16(At<uint8_t>(Read32(dir + 36) + 2 * i));
        return base() + Read32(At<uint8_t>(Read32(dir + 28) + 4 * ordinal));
    }
    return 0;
}

}  // namespace trelvane::host
