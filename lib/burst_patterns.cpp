// Burst bit patterns of a normal burst: tail bits, data, training sequence,
// data, tail bits and guard period, for GMSK (one bit per symbol) and 8PSK
// (three bits per symbol).
#include "lib/burst_patterns.h"

#include <algorithm>

namespace ebd::burst {

namespace {

// Normal-burst training sequences TSC 0 to 7 of 3GPP TS 45.002.
constexpr std::array<GmskSequence, kTrainingSequences> kGmsk = {{
    {0, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 1},
    {0, 0, 1, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1, 1, 0, 1, 1, 1},
    {0, 1, 0, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 0},
    {0, 1, 0, 0, 0, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, 0},
    {0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1},
    {0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0},
    {1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1},
    {1, 1, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0},
}};

// The 8PSK training sequences follow from the GMSK ones: a 0 becomes the
// symbol 1, 1, 1 and a 1 the symbol 0, 0, 1.
constexpr std::array<EpskSequence, kTrainingSequences> Derive8psk() {
    std::array<EpskSequence, kTrainingSequences> table{};
    for (size_t code = 0; code < kTrainingSequences; ++code) {
        for (size_t i = 0; i < kTrainingSymbols; ++i) {
            const bool one = kGmsk[code][i] != 0;
            table[code][3 * i] = one ? 0 : 1;
            table[code][3 * i + 1] = one ? 0 : 1;
            table[code][3 * i + 2] = 1;
        }
    }
    return table;
}

constexpr std::array<EpskSequence, kTrainingSequences> k8psk = Derive8psk();

// Packs bits into words, first bit in bit 15; bits past the words are dropped.
class BitWriter {
public:
    explicit BitWriter(std::span<uint16_t> words) : words_(words) {}

    void bit(unsigned value) {
        const size_t word = next_ / 16;
        if (value != 0 && word < words_.size())
            words_[word] = static_cast<uint16_t>(words_[word] | (1u << (15 - next_ % 16)));
        ++next_;
    }
    void repeat(unsigned value, size_t count) {
        for (size_t i = 0; i < count; ++i) bit(value);
    }
    // The pair 0, 1, `count` times.
    void pairs(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            bit(0);
            bit(1);
        }
    }
    void sequence(std::span<const uint16_t> bits) {
        for (uint16_t value : bits) bit(value);
    }

private:
    std::span<uint16_t> words_;
    size_t next_ = 0;
};

}  // namespace

const std::array<GmskSequence, kTrainingSequences>& GmskTrainingSequences() {
    return kGmsk;
}

const std::array<EpskSequence, kTrainingSequences>& EpskTrainingSequences() {
    return k8psk;
}

void GenerateBurst(uint8_t dataMode, uint8_t tsc, bool epsk, std::span<uint16_t> words) {
    const size_t c = epsk ? 3 : 1;
    const size_t used = std::min(words.size(), c * kGmskWords);
    std::fill(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(used), 0);
    BitWriter out(words.first(used));
    const size_t code = tsc % kTrainingSequences;
    const std::span<const uint16_t> training =
        epsk ? std::span<const uint16_t>(k8psk[code]) : std::span<const uint16_t>(kGmsk[code]);
    switch (dataMode) {
        case 1:
            out.repeat(1, kSymbolsPerBurst * c);
            break;
        case 2:
            out.repeat(0, 3 * c);
            out.pairs(71 * c);
            out.repeat(0, 3 * c);
            out.repeat(1, 8 * c);
            break;
        case 3:
            out.repeat(0, 3 * c);
            out.repeat(1, 58 * c);
            out.sequence(training);
            out.repeat(1, 58 * c);
            out.repeat(0, 3 * c);
            out.repeat(1, 8 * c);
            break;
        case 4:
            out.repeat(0, 3 * c);
            out.pairs(29 * c);
            out.sequence(training);
            out.pairs(29 * c);
            out.repeat(0, 3 * c);
            out.repeat(1, 8 * c);
            break;
        default:
            // No pattern of that name: the burst stays all zeros.
            break;
    }
}

}  // namespace ebd::burst
