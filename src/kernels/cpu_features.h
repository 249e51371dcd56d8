// The processor's vector levels as a mask, for building kernel tables.
#pragma once

#include <cstdint>

namespace trelvane {

enum CpuFeature : uint32_t {
    kCpuSse2 = 1u << 0,
    kCpuAvx2 = 1u << 1,  // with the operating system's saving of 256-bit registers
};
// Every level there is: a mask that holds nothing back.
constexpr uint32_t kCpuAll = ~0u;

// The levels this processor runs, found once per process. Tables are built
// from this mask; tests hand the same builders any mask they choose, which
// is narrowed to these levels first.
uint32_t ProcessorCpuFeatures();

}  // namespace trelvane
