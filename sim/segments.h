// Segments: every frame payload is one segment of a message. The module puts
// the host's request segments back together and cuts its own confirms up.
//
// Request, first segment:  D6 nr lenHi lenLo idLo idHi data...
// Confirm, first segment:  D6 nr idLo idHi lenHi lenLo data...
// Any following segment:   D6 nr data...
// The segment numbers run 0, 1, 2, ...; the last (or only) segment carries 0xFF.
// The length field counts the data bytes plus the two bytes of the command id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ebd::sim {

inline constexpr uint8_t kSegmentType = 0xD6;
inline constexpr uint8_t kLastSegment = 0xFF;
inline constexpr size_t kFirstSegmentData = 249;
inline constexpr size_t kNextSegmentData = 253;
// Longest request the module takes in; further bytes are dropped.
inline constexpr size_t kMaxRequestData = 4096;

class RequestAssembler {
public:
    enum class Result {
        Partial,   // taken; more segments to come
        Complete,  // the request is complete: see commandId(), data()
        Ignored,   // not a request segment, or a repeat of the last one
        Dropped,   // out of sequence: the request being assembled is lost
    };

    Result take(std::span<const uint8_t> segment);
    void reset() { assembling_ = false; }

    uint16_t commandId() const { return commandId_; }
    uint16_t lengthField() const { return lengthField_; }
    const std::vector<uint8_t>& data() const { return data_; }

private:
    void append(std::span<const uint8_t> bytes);

    bool assembling_ = false;
    uint8_t expected_ = 0;
    uint8_t last_ = 0;
    uint16_t commandId_ = 0;
    uint16_t lengthField_ = 0;
    std::vector<uint8_t> data_;
};

// Cuts a message of the module into segment payloads. `maxData` is the number
// of data bytes per segment; 0 fills each segment up to 255 bytes. Segment
// numbers are 8-bit: a message of more than 255 segments repeats them.
std::vector<std::vector<uint8_t>> splitMessage(uint16_t commandId, std::span<const uint8_t> data,
                                               size_t maxData = 0);

}  // namespace ebd::sim
