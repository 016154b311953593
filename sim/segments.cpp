#include "sim/segments.h"

#include <algorithm>

namespace ebd::sim {

RequestAssembler::Result RequestAssembler::take(std::span<const uint8_t> segment) {
    if (segment.size() < 2 || segment[0] != kSegmentType) return Result::Ignored;
    const uint8_t number = segment[1];

    if (assembling_ && number == last_) return Result::Ignored;  // the host repeated it
    const bool first = number == 0 || (!assembling_ && number == kLastSegment);
    if (first) {
        if (segment.size() < 6) {
            assembling_ = false;
            return Result::Ignored;
        }
        lengthField_ = static_cast<uint16_t>(segment[2] << 8 | segment[3]);
        commandId_ = static_cast<uint16_t>(segment[4] | segment[5] << 8);
        data_.clear();
        append(segment.subspan(6));
    } else if (!assembling_) {
        return Result::Ignored;
    } else if (number != expected_ && number != kLastSegment) {
        assembling_ = false;
        return Result::Dropped;
    } else {
        append(segment.subspan(2));
    }

    if (number == kLastSegment) {
        assembling_ = false;
        return Result::Complete;
    }
    assembling_ = true;
    last_ = number;
    expected_ = static_cast<uint8_t>(number + 1);
    return Result::Partial;
}

void RequestAssembler::append(std::span<const uint8_t> bytes) {
    const size_t room = kMaxRequestData - std::min(data_.size(), kMaxRequestData);
    bytes = bytes.first(std::min(bytes.size(), room));
    data_.insert(data_.end(), bytes.begin(), bytes.end());
}

std::vector<std::vector<uint8_t>> splitMessage(uint16_t commandId, std::span<const uint8_t> data,
                                               size_t maxData) {
    const size_t firstMax = maxData == 0 ? kFirstSegmentData : std::min(maxData, kFirstSegmentData);
    const size_t nextMax = maxData == 0 ? kNextSegmentData : std::min(maxData, kNextSegmentData);
    const uint16_t lengthField = static_cast<uint16_t>(data.size() + 2);

    std::vector<std::vector<uint8_t>> segments;
    size_t offset = 0;
    uint8_t number = 0;
    do {
        const bool first = segments.empty();
        const size_t take = std::min(data.size() - offset, first ? firstMax : nextMax);
        const bool last = offset + take == data.size();
        std::vector<uint8_t> segment{kSegmentType, last ? kLastSegment : number};
        if (first) {
            segment.push_back(static_cast<uint8_t>(commandId));
            segment.push_back(static_cast<uint8_t>(commandId >> 8));
            segment.push_back(static_cast<uint8_t>(lengthField >> 8));
            segment.push_back(static_cast<uint8_t>(lengthField));
        }
        segment.insert(segment.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                       data.begin() + static_cast<std::ptrdiff_t>(offset + take));
        segments.push_back(std::move(segment));
        offset += take;
        ++number;
    } while (offset < data.size());
    return segments;
}

}  // namespace ebd::sim
