// Samples of a y4m plane row: one byte each up to 8 bits, two little-endian
// bytes above; and the YC48-to-code lookup.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane {

template <int Bytes>
inline unsigned LoadSample(const uint8_t* row, int i) {
    if constexpr (Bytes == 1) {
        return row[i];
    } else {
        return static_cast<unsigned>(row[2 * i]) | (static_cast<unsigned>(row[2 * i + 1]) << 8);
    }
}

template <int Bytes>
inline void StoreSample(uint8_t* row, int i, unsigned v) {
    if constexpr (Bytes == 1) {
        row[i] = static_cast<uint8_t>(v);
    } else {
        row[2 * i] = static_cast<uint8_t>(v);
        row[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
}

// The code of a YC48 value from an output table indexed by value + 32768.
inline unsigned OutCode(const uint16_t* table, int v) {
    return table[static_cast<size_t>(v + 32768)];
}

}  // namespace trelvane
