// Payload records: explicit little-endian put and get helpers over byte areas.
// Records are byte images with their pad bytes; nothing is ever cast to a struct.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ebd::msg {

inline void Put8(uint8_t* p, size_t offset, uint8_t v) { p[offset] = v; }
inline void Put16(uint8_t* p, size_t offset, uint16_t v) {
    p[offset] = static_cast<uint8_t>(v & 0xFF);
    p[offset + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, size_t offset, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) p[offset + i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
}
inline uint8_t Get8(const uint8_t* p, size_t offset) { return p[offset]; }
inline uint16_t Get16(const uint8_t* p, size_t offset) {
    return static_cast<uint16_t>(p[offset] | (p[offset + 1] << 8));
}
inline uint32_t Get32(const uint8_t* p, size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[offset + i]) << (8 * i);
    return v;
}

// Size of the AT command text area in requests and confirms 93/94.
inline constexpr size_t kAtTextArea = 128;
inline constexpr size_t kAtRecord = 2 + kAtTextArea;

}  // namespace ebd::msg
