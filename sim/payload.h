// Little-endian reading and writing of message payloads for the module double.
// Reads past the end give 0, so a short request can never be read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace ebd::sim {

inline uint8_t get8(std::span<const uint8_t> data, size_t offset) {
    return offset < data.size() ? data[offset] : 0;
}

inline uint16_t get16le(std::span<const uint8_t> data, size_t offset) {
    return static_cast<uint16_t>(get8(data, offset) | get8(data, offset + 1) << 8);
}

inline uint32_t get32le(std::span<const uint8_t> data, size_t offset) {
    return static_cast<uint32_t>(get16le(data, offset)) | static_cast<uint32_t>(get16le(data, offset + 2))
                                                              << 16;
}

// Builds a payload field by field, in wire order.
class PayloadWriter {
public:
    PayloadWriter& put8(uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    PayloadWriter& put16le(uint16_t value) {
        put8(static_cast<uint8_t>(value));
        return put8(static_cast<uint8_t>(value >> 8));
    }
    PayloadWriter& put32le(uint32_t value) {
        put16le(static_cast<uint16_t>(value));
        return put16le(static_cast<uint16_t>(value >> 16));
    }
    PayloadWriter& putBytes(std::span<const uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // The text and a NUL.
    PayloadWriter& putText(std::string_view text) {
        for (char c : text) put8(static_cast<uint8_t>(c));
        return put8(0);
    }
    // A text area of fixed size: the text cut to the area, NUL-filled behind it.
    PayloadWriter& putTextArea(std::string_view text, size_t area) {
        for (size_t i = 0; i < area; ++i) put8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        return *this;
    }
    PayloadWriter& pad(size_t count = 1) {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }
    // Pads with zeros up to `size` bytes; never shortens.
    PayloadWriter& padTo(size_t size) {
        if (bytes_.size() < size) bytes_.resize(size, 0);
        return *this;
    }

    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace ebd::sim
