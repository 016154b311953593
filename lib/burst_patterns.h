// Burst bit patterns: the training sequences and the generator of the named
// patterns that WSetEbdBurstDataMode sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ebd::burst {

inline constexpr size_t kSymbolsPerBurst = 156;
inline constexpr size_t kTrainingSymbols = 26;
inline constexpr size_t kTrainingSequences = 8;
// Words of a stored burst: 156 bits for GMSK, 3 x 156 for 8PSK.
inline constexpr size_t kGmskWords = 10;
inline constexpr size_t k8pskWords = 30;

// One bit per entry (0 or 1), taken in order.
using GmskSequence = std::array<uint16_t, kTrainingSymbols>;
using EpskSequence = std::array<uint16_t, 3 * kTrainingSymbols>;

const std::array<GmskSequence, kTrainingSequences>& GmskTrainingSequences();
const std::array<EpskSequence, kTrainingSequences>& EpskTrainingSequences();

// Fills `words` (10 words for GMSK, 30 for 8PSK) with the burst of `dataMode`,
// first bit in bit 15 of the first word. Data modes other than 1 to 4 give a
// burst of zeros; tsc is taken modulo 8.
void GenerateBurst(uint8_t dataMode, uint8_t tsc, bool epsk, std::span<uint16_t> words);

// Bit i becomes bit 15 - i.
constexpr uint16_t ReverseBits(uint16_t word) {
    uint16_t reversed = 0;
    for (int i = 0; i < 16; ++i)
        if ((word >> i) & 1u) reversed = static_cast<uint16_t>(reversed | (1u << (15 - i)));
    return reversed;
}

}  // namespace ebd::burst
